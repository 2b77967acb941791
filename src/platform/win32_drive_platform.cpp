#include "platform/win32_drive_platform.h"

#include <windows.h>
#include <ntddscsi.h>

#include <cstring>

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
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb) == kPassThroughCdbFieldSize);

HANDLE AsHandle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

DriveType Win32DrivePlatform::DriveTypeOf(char letter) {
    switch (GetDriveTypeA(DriveRootText(letter).c_str())) {
    case DRIVE_REMOVABLE: return DriveType::Removable;
    case DRIVE_CDROM: return DriveType::CdRom;
    default: return DriveType::Other;  // fixed, remote, RAM disk, unknown, no volume
    }
}

PlatformHandle Win32DrivePlatform::OpenVolume(char letter) {
    const HANDLE volume = CreateFileA(RawVolumePath(letter).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    // INVALID_HANDLE_VALUE has all bits set, as kInvalidHandleValue has.
    return reinterpret_cast<PlatformHandle>(volume);
}

bool Win32DrivePlatform::PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) {
    SCSI_PASS_THROUGH_DIRECT request;
    std::memset(&request, 0, sizeof request);
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
        DeviceIoControl(AsHandle(volume), IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof request,
                        &request, sizeof request, &returned, nullptr);
    // What the platform wrote back, for whoever wants to look.
    record.ScsiStatus = request.ScsiStatus;
    record.SenseInfoLength = request.SenseInfoLength;
    record.DataTransferLength = request.DataTransferLength;
    return carriedOut != FALSE;
}

void Win32DrivePlatform::CloseVolume(PlatformHandle volume) {
    CloseHandle(AsHandle(volume));
}

}  // namespace fwup
