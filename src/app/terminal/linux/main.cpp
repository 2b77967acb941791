// firmware-updater for Linux: the three steps of the Windows dialog as
// commands of a terminal program, over libusb and SG_IO, for one device or
// a bench of them.

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/terminal/console.h"
#include "app/terminal/embedded_image.h"
#include "app/terminal/front_end.h"
#include "app/terminal/program_platform.h"

namespace fwup {
namespace {

std::atomic<bool> interrupted{false};

int Run(int argc, char** argv) {
    const Console console = DescribeConsole();
    CatchInterrupts(interrupted);
    const Language language =
        LanguageFromEnvironment(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                std::getenv("LANG"), std::getenv("LANGUAGE"));
    const CommandLine commandLine = ParseCommandLine(argc, argv, language);
    return RunOverBackends(commandLine, [&](UsbLink& usb, ScsiDrives& drives, bool realHardware,
                                            const std::vector<std::string>& settingProblems) {
        FrontEnd frontEnd{commandLine, language, usb, drives, EmbeddedFirmwareImage(),
                          realHardware, stdout, stderr, stdin};
        frontEnd.inIsTerminal = console.inIsTerminal;
        frontEnd.drawProgress = console.drawProgress;
        frontEnd.columns = console.columns;
        frontEnd.rows = console.rows;
        frontEnd.resized = ConsoleResized;
        frontEnd.codeset = console.codeset;
        frontEnd.encode = EncodeText;
        frontEnd.interrupted = &interrupted;
        frontEnd.settingProblems = settingProblems;
        return static_cast<int>(RunFrontEnd(frontEnd));
    });
}

}  // namespace
}  // namespace fwup

int main(int argc, char** argv) {
    return fwup::Run(argc, argv);
}
