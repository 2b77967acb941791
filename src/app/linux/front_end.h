#pragma once

#include <cstdio>
#include <string>

#include "app/linux/command_line.h"
#include "app/linux/outcome_table.h"
#include "download/firmware_image.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

struct FrontEnd {
    CommandLine commandLine;
    Language language = Language::English;
    UsbLink& usb;
    ScsiDrives& drives;
    FirmwareImage image;
    bool realHardware = true;  // false over the simulation
    std::FILE* out;
    std::FILE* err;
    std::FILE* in;
    bool inIsTerminal = false;   // a person can answer the question
    bool outIsTerminal = false;  // the progress line can be drawn
    int columns = 80;
};

// Whether a typed answer is an explicit yes ("y", "yes" or "是", as UTF-8).
bool IsExplicitYes(std::string answer);

// Runs the command the command line names and returns the exit status.
ExitCode RunFrontEnd(FrontEnd& frontEnd);

}  // namespace fwup
