#include "platform/windows/win32_scsi_drives.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>

#include "platform/windows/device_location.h"
#include "platform/windows/pass_through.h"
#include "platform/windows/present_interfaces.h"

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

// A volume or disk opened for queries alone: no rights needed, no command
// reaches the drive.
HANDLE OpenForQueries(const char* path) {
    return CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

bool DeviceNumberOf(HANDLE opened, STORAGE_DEVICE_NUMBER& number) {
    DWORD returned = 0;
    std::memset(&number, 0, sizeof number);
    return DeviceIoControl(opened, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                           sizeof number, &returned, nullptr) &&
           returned >= sizeof number;
}

// The vendor and product the drive gave the system when it attached.
std::string DescriptionOf(HANDLE volume) {
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::uint8_t answer[1024] = {};
    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer,
                         sizeof answer, &returned, nullptr))
        return {};
    return StorageDescription(answer, returned);
}

// The device node of the disk (or CD-ROM drive) with the volume's device
// number, in *node; false where there is none.
bool FindDiskNode(const STORAGE_DEVICE_NUMBER& volume, DEVINST* node) {
    bool found = false;
    ForEachPresentInterface(
        volume.DeviceType == FILE_DEVICE_CD_ROM ? kGuidDevinterfaceCdrom : kGuidDevinterfaceDisk,
        [&](HDEVINFO, const char* path, SP_DEVINFO_DATA& device) {
            const HANDLE disk = OpenForQueries(path);
            if (disk == INVALID_HANDLE_VALUE) return true;
            STORAGE_DEVICE_NUMBER number;
            found = DeviceNumberOf(disk, number) && number.DeviceType == volume.DeviceType &&
                    number.DeviceNumber == volume.DeviceNumber;
            if (found) *node = device.DevInst;
            CloseHandle(disk);
            return !found;
        });
    return found;
}

// The hub port and serial number of the USB device a disk sits on, into the
// volume: up the device tree from the disk to the first USB device (past its
// interface, on a composite device), whose instance ID holds its serial.
void FindUsbDeviceOf(DEVINST disk, VolumeCandidate& volume) {
    DEVINST node = disk;
    for (int depth = 0; depth < 4 && CM_Get_Parent(&node, node, 0) == CR_SUCCESS; ++depth) {
        char instance[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDA(node, instance, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return;
        if (!IsUsbDeviceInstance(instance)) continue;
        volume.usbSerial = SerialOfInstanceId(instance);
        char location[256] = {};
        ULONG size = sizeof location - 1;
        if (CM_Get_DevNode_Registry_PropertyA(node, CM_DRP_LOCATION_INFORMATION, nullptr,
                                              location, &size, 0) == CR_SUCCESS)
            volume.usbPort = UsbLocationId(location);
        return;
    }
}

// What the system knows of a drive letter's volume, asking the drive nothing.
VolumeCandidate DescribeVolume(char letter) {
    VolumeCandidate volume{DriveName(letter), {}, {}};
    const HANDLE opened = OpenForQueries(RawVolumePath(letter).c_str());
    if (opened == INVALID_HANDLE_VALUE) return volume;
    volume.description = DescriptionOf(opened);
    STORAGE_DEVICE_NUMBER number;
    const bool numbered = DeviceNumberOf(opened, number);
    CloseHandle(opened);
    DEVINST disk = 0;
    if (numbered && FindDiskNode(number, &disk)) FindUsbDeviceOf(disk, volume);
    return volume;
}

}  // namespace

std::vector<VolumeCandidate> Win32ScsiDrives::FindCandidateVolumes() {
    std::vector<VolumeCandidate> volumes;
    for (char letter : CandidateDriveLetters(DriveTypeOf)) volumes.push_back(DescribeVolume(letter));
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
