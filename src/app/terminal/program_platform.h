#pragma once

#include <atomic>
#include <cstdio>
#include <functional>

#include "app/terminal/command_line.h"
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
// the simulated bench that the environment describes (its problems said on
// err). realHardware: the system's own.
using StationOver = std::function<int(UsbLink& usb, ScsiDrives& drives, bool realHardware)>;
int RunOverBackends(const CommandLine& line, std::FILE* err, const StationOver& station);

}  // namespace fwup
