#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "app/linux/command_line.h"
#include "download/firmware_image.h"
#include "platform/drive_platform.h"
#include "platform/usb_platform.h"

namespace fwup {

// Why the link to the device in vendor mode did not work, as far as the
// platform knows.
struct UsbFacts {
    bool unavailable = false;      // USB cannot be reached at all
    std::string accessDeniedNode;  // the node that may not be opened
    std::string busyNode;          // the node whose interface someone else holds
    bool deviceWentAway = false;   // during the last transfer that failed
    bool deviceStoppedAnswering = false;
};

// What the front end needs of the platform beyond the seams: names for the
// messages, and why a device could not be reached.
class PlatformFacts {
public:
    virtual ~PlatformFacts() = default;
    virtual UsbFacts Usb() = 0;
    // The first device path on which commands were refused for want of rights.
    virtual std::string DriveAccessDeniedPath() = 0;
    // Where an open volume is, for a person: "/dev/sdc (VENDOR MODEL)".
    virtual std::string DescribeVolume(PlatformHandle volume) = 0;
};

struct FrontEnd {
    CommandLine commandLine;
    LanguageFlag languageFlag = 1;
    UsbPlatform& usb;
    DrivePlatform& drives;
    PlatformFacts& facts;
    FirmwareImage image;
    std::FILE* out;
    std::FILE* err;
    std::FILE* in;
    bool inIsTerminal = false;   // a person can answer the question
    bool outIsTerminal = false;  // the progress bar can be drawn
    int columns = 80;
};

// Runs the command the command line names and returns the exit status.
ExitCode RunFrontEnd(FrontEnd& frontEnd);

// The path of the first present device in vendor mode, as the Update
// command's search would find it.
std::optional<std::string> FindVendorModeDevice(UsbPlatform& usb);

}  // namespace fwup
