// firmware-updater for Linux: the three steps of the Windows dialog as
// commands of a terminal program, over libusb and SG_IO.

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "app/linux/embedded_image.h"
#include "app/linux/front_end.h"
#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "platform/simulation/scenario.h"

namespace fwup {
namespace {

constexpr int kDefaultColumns = 80;

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

// The simulation's devices stand as the command expects to meet them: in
// storage mode for clear and info, already re-plugged in vendor mode for update.
Scenario ScenarioFor(FrontEndCommand command, std::FILE* err) {
    std::vector<std::string> problems;
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    for (const std::string& problem : problems) std::fprintf(err, "%s\n", problem.c_str());
    scenario.startInVendorMode = command == FrontEndCommand::Update;
    return scenario;
}

int Run(int argc, char** argv) {
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    const Language language = LanguageFromEnvironment(
        std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    auto run = [&](UsbLink& usb, ScsiDrives& drives, bool realHardware) {
        FrontEnd frontEnd{commandLine, language, usb, drives, EmbeddedFirmwareImage(),
                          realHardware, stdout, stderr, stdin, isatty(STDIN_FILENO) != 0,
                          isatty(STDOUT_FILENO) != 0, TerminalColumns()};
        return static_cast<int>(RunFrontEnd(frontEnd));
    };
    if (commandLine.simulate) {
        Simulation simulation(ScenarioFor(commandLine.command, stderr));
        return run(simulation, simulation, false);
    }
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
    return run(usb, drives, true);
}

}  // namespace
}  // namespace fwup

int main(int argc, char** argv) {
    return fwup::Run(argc, argv);
}
