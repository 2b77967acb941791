// firmware-updater for Linux: the three steps of the Windows dialog as
// commands of a terminal program, over libusb and SG_IO, for one device or
// a bench of them.

#include <langinfo.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/terminal/embedded_image.h"
#include "app/terminal/front_end.h"
#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "platform/simulation/scenario.h"

namespace fwup {
namespace {

constexpr int kDefaultColumns = 80;

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
    interrupted = true;
}

// Ctrl-C asks the command to stop between two transfers; a read of the
// question's answer returns at once. A closed pipe never kills a flash.
void SetUpSignals() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read of the answer ends
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

// Escape codes only for a terminal that takes them.
bool DrawsProgress() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) != 0 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

// The simulation's devices stand as the command expects to meet them: in
// storage mode, but already re-plugged in vendor mode for update.
Scenario ScenarioFor(FrontEndCommand command, std::FILE* err) {
    std::vector<std::string> problems;
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    for (const std::string& problem : problems) std::fprintf(err, "%s\n", problem.c_str());
    scenario.startInVendorMode = command == FrontEndCommand::Update;
    scenario.keepTraffic = false;
    return scenario;
}

// The terminal's character set: the locale's, or where that locale is not
// installed here, what its name says ("zh_CN.GB18030"); UTF-8 when it says
// nothing.
std::string TerminalCodeset(bool localeInstalled) {
    if (localeInstalled) return nl_langinfo(CODESET);
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        const char* dot = std::strchr(value, '.');
        if (dot == nullptr) break;
        std::string codeset(dot + 1);
        return codeset.substr(0, codeset.find('@'));
    }
    return "UTF-8";
}

int Run(int argc, char** argv) {
    const bool localeInstalled = std::setlocale(LC_ALL, "") != nullptr;
    SetUpSignals();
    const Language language =
        LanguageFromEnvironment(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                std::getenv("LANG"), std::getenv("LANGUAGE"));
    const CommandLine commandLine = ParseCommandLine(argc, argv, language);
    auto run = [&](UsbLink& usb, ScsiDrives& drives, bool realHardware) {
        FrontEnd frontEnd{commandLine, language, usb, drives, EmbeddedFirmwareImage(),
                          realHardware, stdout, stderr, stdin};
        frontEnd.inIsTerminal = isatty(STDIN_FILENO) != 0;
        frontEnd.drawProgress = DrawsProgress();
        frontEnd.columns = TerminalColumns();
        frontEnd.codeset = TerminalCodeset(localeInstalled);
        frontEnd.interrupted = &interrupted;
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
