// The Linux program platform: signals, and the backends over libusb and
// SG_IO, or the simulation.
#include "app/terminal/program_platform.h"

#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"
#include "platform/simulation/scenario.h"

namespace fwup {
namespace {

std::atomic<bool>* interruptFlag = nullptr;

void OnInterrupt(int) {
    if (interruptFlag != nullptr) *interruptFlag = true;
}

// The simulation's devices stand as the command expects to meet them: in
// storage mode, but already re-plugged in vendor mode for update.
Scenario ScenarioFor(FrontEndCommand command, std::vector<std::string>& problems) {
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    scenario.startInVendorMode = command == FrontEndCommand::Update;
    scenario.keepTraffic = false;
    return scenario;
}

}  // namespace

// Ctrl-C, a request to end and a hang-up (an ssh session dropping) all ask
// the command to stop: between two commands, or by calling back a transfer
// the device leaves waiting; a read of the question's answer returns at
// once. A closed pipe never kills a flash.
void CatchInterrupts(std::atomic<bool>& interrupted) {
    interruptFlag = &interrupted;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read of the answer ends
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int RunOverBackends(const CommandLine& line, const StationOver& station) {
    if (line.simulate) {
        std::vector<std::string> problems;
        Simulation simulation(ScenarioFor(line.command, problems));
        return station(simulation, simulation, false, problems);
    }
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
    return station(usb, drives, true, {});
}

}  // namespace fwup
