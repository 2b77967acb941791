#include "platform/program_platform.h"
#include "platform/win32_drive_platform.h"
#include "platform/win32_usb_platform.h"

namespace fwup {

UsbPlatform& ProgramUsbPlatform() {
    static Win32UsbPlatform platform;
    return platform;
}

DrivePlatform& ProgramDrivePlatform() {
    static Win32DrivePlatform platform;
    return platform;
}

}  // namespace fwup
