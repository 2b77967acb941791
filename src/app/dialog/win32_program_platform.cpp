#include "app/dialog/program_platform.h"
#include "platform/windows/win32_scsi_drives.h"
#include "platform/windows/win32_usb_link.h"

namespace fwup {

UsbLink& ProgramUsbLink() {
    static Win32UsbLink link;
    return link;
}

ScsiDrives& ProgramScsiDrives() {
    static Win32ScsiDrives drives;
    return drives;
}

bool ProgramSpeaksToRealDevices() {
    return true;
}

}  // namespace fwup
