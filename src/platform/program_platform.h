#pragma once

#include "platform/drive_platform.h"
#include "platform/usb_platform.h"

namespace fwup {

// The platforms the program's commands run on. Each program defines them in a
// file of its own: the Windows program over the Windows calls
// (win32_program_platform.cpp); a demonstration build can link the simulated
// device in its place and change nothing else.
UsbPlatform& ProgramUsbPlatform();
DrivePlatform& ProgramDrivePlatform();

}  // namespace fwup
