#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/outcome_table.h"
#include "app/terminal/progress_line.h"
#include "app/terminal/terminal_output.h"
#include "image/firmware_image.h"
#include "platform/device_locks.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// The system's file calls for the units' record: an open by UTF-8 path, and
// a write through to the disk.
using FileOpener = std::FILE* (*)(const std::string& path, const char* mode);
using FileSync = bool (*)(std::FILE* file);

// The terminal program, whatever system it runs on: its command line, the
// backends it runs over, and the console as the system describes it.
struct FrontEnd {
    CommandLine commandLine;
    Language language = Language::English;
    UsbLink& usb;
    ScsiDrives& drives;
    FirmwareImage image;        // the image the program carries
    bool realHardware = true;   // false over the simulation
    std::FILE* out;
    std::FILE* err;
    std::FILE* in;
    bool inIsTerminal = false;  // a person can answer the question
    bool drawProgress = false;  // standard error is a terminal that takes escape codes
    bool colour = false;        // and colour is welcome there (NO_COLOR is not set)
    int columns = 80;
    int rows = 24;
    SizeCheck resized = nullptr;                     // the window's new size, once changed
    std::string codeset = "UTF-8";                   // the terminal's character set
    ConsoleWriter writeConsole = nullptr;            // a console written the system's own way
    TextEncoder encode = nullptr;                    // into it; none: UTF-8 as it is
    TextDecoder decodeTyped = nullptr;               // the answer typed; none: UTF-8 as it is
    const std::atomic<bool>* interrupted = nullptr;  // set by Ctrl-C
    std::uint32_t pollMs = 500;  // run: how often to look for the re-plugged device
    std::vector<std::string> settingProblems = {};  // --simulate: NAME=value not understood
    DeviceLocks* locks = nullptr;  // one holder a device among processes; none: no lock taken
    const std::atomic<bool>* draining = nullptr;  // station: the first request to stop
    std::string recordPath = {};    // the units' record unless --record names another
    std::string hostName = {};      // this computer, as the record names it
    FileOpener openFile = nullptr;  // none: std::fopen
    FileSync syncFile = nullptr;    // none: the record is flushed, not synced
};

// Runs the command the command line names and returns the exit status.
ExitCode RunFrontEnd(FrontEnd& frontEnd);

// Where the front end writes, in its console's character set; json: standard
// output holds the JSON document alone.
TerminalOutput OutputOf(const FrontEnd& frontEnd, bool json);

}  // namespace fwup
