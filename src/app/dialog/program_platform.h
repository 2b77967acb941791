#pragma once

#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// The backends the program's commands run on. Each program defines them in a
// file of its own: the Windows program over the Windows calls
// (windows/win32_program_platform.cpp); the demonstration program links the
// simulation in its place (simulation/demo_program_platform.cpp) and changes
// nothing else.
UsbLink& ProgramUsbLink();
ScsiDrives& ProgramScsiDrives();

// True where the backends reach real hardware: a program that carries the
// stand-in image then changes no device.
bool ProgramSpeaksToRealDevices();

}  // namespace fwup
