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
// closed pipe never ends the program. Given draining, the first request sets
// that flag alone (the bench takes no new unit and lets those in flight
// finish) and the second sets interrupted.
void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<bool>* draining = nullptr);

// Where the units' record (the file of that name) lies unless --record names
// another file: for root a folder of the system's, for anyone else one of the
// user's own.
std::string DefaultRecordPath(const std::string& fileName);

// Writes what the file holds through to the disk: a record line survives a
// power cut once this returns true.
bool SyncToDisk(std::FILE* file);

// Opens a file by its UTF-8 path, as std::fopen does.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// This computer's name, as the record keeps it.
std::string HostName();

// Runs the station over the system's own backends, or with --simulate over
// the simulated bench that the environment describes. locks: the system's
// device locks, or the bench's own; realHardware: the system's own;
// settingProblems: the settings of the bench not understood, as NAME=value.
using StationOver =
    std::function<int(UsbLink& usb, ScsiDrives& drives, DeviceLocks& locks, bool realHardware,
                      const std::vector<std::string>& settingProblems)>;
int RunOverBackends(const CommandLine& line, const StationOver& station);

}  // namespace fwup
