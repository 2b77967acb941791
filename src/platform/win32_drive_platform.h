#pragma once

#include "platform/drive_platform.h"

namespace fwup {

// The drive seam over KERNEL32: GetDriveTypeA, CreateFileA on the raw volume
// path, DeviceIoControl with IOCTL_SCSI_PASS_THROUGH_DIRECT, CloseHandle.
class Win32DrivePlatform final : public DrivePlatform {
public:
    DriveType DriveTypeOf(char letter) override;
    PlatformHandle OpenVolume(char letter) override;
    bool PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) override;
    void CloseVolume(PlatformHandle volume) override;
};

}  // namespace fwup
