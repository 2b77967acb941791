#include "platform/windows/win32_scsi_drives.h"

#include <windows.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>

#include "platform/windows/pass_through.h"

namespace fwup {
namespace {

// The portable record's Length must be the real record's size: 44 bytes in the
// 32-bit program (56 in a 64-bit build), or the driver refuses every request.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == kScsiPassThroughDirectLength);
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44);
#endif
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == 0x4D014);
static_assert(SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn);
static_assert(SCSI_IOCTL_DATA_UNSPECIFIED == kScsiIoctlDataUnspecified);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb) == kPassThroughCdbFieldSize);

HANDLE AsHandle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

DriveType DriveTypeOf(char letter) {
    switch (GetDriveTypeA(DriveName(letter).c_str())) {
    case DRIVE_REMOVABLE: return DriveType::Removable;
    case DRIVE_CDROM: return DriveType::CdRom;
    default: return DriveType::Other;  // fixed, remote, RAM disk, unknown, no volume
    }
}

}  // namespace

std::vector<VolumeCandidate> Win32ScsiDrives::FindCandidateVolumes() {
    std::vector<VolumeCandidate> volumes;
    for (char letter : CandidateDriveLetters(DriveTypeOf))
        volumes.push_back(VolumeCandidate{DriveName(letter), {}, {}});
    return volumes;
}

PlatformHandle Win32ScsiDrives::OpenVolume(const VolumeCandidate& volume, DriveStatus* why) {
    const HANDLE opened = volume.id.size() == 2
        ? CreateFileA(RawVolumePath(volume.id[0]).c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
        : INVALID_HANDLE_VALUE;
    if (why != nullptr)
        *why = opened != INVALID_HANDLE_VALUE        ? DriveStatus::Ok
               : GetLastError() == ERROR_ACCESS_DENIED ? DriveStatus::NoPermission
                                                       : DriveStatus::Failed;
    // INVALID_HANDLE_VALUE has all bits set, as kInvalidHandleValue has.
    return reinterpret_cast<PlatformHandle>(opened);
}

ScsiResult Win32ScsiDrives::Execute(PlatformHandle volume, const ScsiCommand& command) {
    const ScsiPassThroughDirect record = BuildPassThroughRecord(command);
    // The sense buffer follows the record in the one request the platform fills.
    struct RequestWithSense {
        SCSI_PASS_THROUGH_DIRECT request;
        UCHAR sense[kSenseBytes];
    } withSense;
    static_assert(offsetof(RequestWithSense, sense) == kScsiPassThroughDirectLength);
    std::memset(&withSense, 0, sizeof withSense);
    SCSI_PASS_THROUGH_DIRECT& request = withSense.request;
    request.Length = record.Length;
    request.ScsiStatus = record.ScsiStatus;
    request.PathId = record.PathId;
    request.TargetId = record.TargetId;
    request.Lun = record.Lun;
    request.CdbLength = record.CdbLength;
    request.SenseInfoLength = record.SenseInfoLength;
    request.DataIn = record.DataIn;
    request.DataTransferLength = record.DataTransferLength;
    request.TimeOutValue = record.TimeOutValue;
    request.DataBuffer = record.DataBuffer;
    request.SenseInfoOffset = record.SenseInfoOffset;
    std::memcpy(request.Cdb, record.Cdb, sizeof request.Cdb);

    DWORD returned = 0;
    const BOOL carriedOut =
        DeviceIoControl(AsHandle(volume), IOCTL_SCSI_PASS_THROUGH_DIRECT, &withSense,
                        sizeof withSense, &withSense, sizeof withSense, &returned, nullptr);
    ScsiPassThroughDirect answered = record;
    answered.ScsiStatus = request.ScsiStatus;
    answered.DataTransferLength = request.DataTransferLength;
    answered.SenseInfoLength = request.SenseInfoLength;
    ScsiResult result = PassThroughResult(carriedOut != FALSE, answered,
                                          record.DataTransferLength, withSense.sense);
    if (!carriedOut && GetLastError() == ERROR_ACCESS_DENIED) result.status = DriveStatus::NoPermission;
    return result;
}

void Win32ScsiDrives::CloseVolume(PlatformHandle volume) {
    CloseHandle(AsHandle(volume));
}

}  // namespace fwup
