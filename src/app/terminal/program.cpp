#include "app/terminal/program.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/terminal/console.h"
#include "app/terminal/front_end.h"
#include "app/terminal/program_platform.h"

namespace fwup {
namespace {

// Set from a signal handler or the system's console handler: lives as long
// as the process.
std::atomic<bool> interrupted{false};
std::atomic<bool> draining{false};

}  // namespace

int RunTerminalProgram(int argc, char** argv, Language language, const FirmwareImage& image) {
    const Console console = DescribeConsole();
    const CommandLine commandLine = ParseCommandLine(argc, argv, language);
    // Only the bench drains: for one command the first request stops it.
    CatchInterrupts(interrupted,
                    commandLine.command == FrontEndCommand::Station ? &draining : nullptr);
    return RunOverBackends(commandLine, [&](UsbLink& usb, ScsiDrives& drives, DeviceLocks& locks,
                                            bool realHardware,
                                            const std::vector<std::string>& settingProblems) {
        FrontEnd frontEnd{commandLine, language, usb, drives, image,
                          realHardware, stdout, stderr, stdin};
        frontEnd.inIsTerminal = console.inIsTerminal;
        frontEnd.drawProgress = console.drawProgress;
        const char* noColour = std::getenv("NO_COLOR");
        frontEnd.colour = console.drawProgress && (noColour == nullptr || *noColour == '\0');
        frontEnd.columns = console.columns;
        frontEnd.rows = console.rows;
        frontEnd.resized = ConsoleResized;
        frontEnd.codeset = console.codeset;
        frontEnd.writeConsole = WriteToConsole;
        frontEnd.encode = EncodeText;
        frontEnd.decodeTyped = DecodeTypedText;
        frontEnd.interrupted = &interrupted;
        frontEnd.settingProblems = settingProblems;
        // The simulated bench re-plugs its units itself, faster than a hand.
        if (commandLine.simulate) frontEnd.pollMs = 100;
        frontEnd.locks = &locks;
        frontEnd.draining = &draining;
        // Units of the simulated bench never mix with the real ones.
        frontEnd.recordPath =
            DefaultRecordPath(commandLine.simulate ? "simulated-units.jsonl" : "units.jsonl");
        frontEnd.hostName = HostName();
        frontEnd.openFile = OpenFileUtf8;
        frontEnd.syncFile = SyncToDisk;
        return static_cast<int>(RunFrontEnd(frontEnd));
    });
}

}  // namespace fwup
