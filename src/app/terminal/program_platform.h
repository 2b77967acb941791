#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "platform/device_locks.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// What the terminal program needs of the system beyond its console: a
// request to stop, and the backends it runs over. Each system's program
// implements these (linux/program_platform.cpp).

// Ctrl-C, a request to end and a hang-up set the flag, which the station
// reads between two commands and the USB link while a transfer waits; a
// closed pipe never ends the program.
void CatchInterrupts(std::atomic<bool>& interrupted);

// Runs the station over the system's own backends, or with --simulate over
// the simulated bench that the environment describes. locks: the system's
// device locks, or the bench's own; realHardware: the system's own;
// settingProblems: the settings of the bench not understood, as NAME=value.
using StationOver =
    std::function<int(UsbLink& usb, ScsiDrives& drives, DeviceLocks& locks, bool realHardware,
                      const std::vector<std::string>& settingProblems)>;
int RunOverBackends(const CommandLine& line, const StationOver& station);

}  // namespace fwup
