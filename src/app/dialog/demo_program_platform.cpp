// The demonstration program's backends: the simulation, set up from the
// FWUP_DEMO_* environment variables, in place of the Windows calls. The rest
// of the program is the same.

#include <cstdlib>

#include "app/dialog/program_platform.h"
#include "platform/simulation/scenario.h"

namespace fwup {
namespace {

Simulation& TheSimulation() {
    // Settings that cannot be read keep their defaults: the demo has nowhere
    // to report them but the README's list of variables.
    static std::vector<std::string> problems;
    static Simulation simulation(
        ReadScenario([](const char* name) { return std::getenv(name); }, problems));
    return simulation;
}

}  // namespace

UsbLink& ProgramUsbLink() {
    return TheSimulation();
}

ScsiDrives& ProgramScsiDrives() {
    return TheSimulation();
}

bool ProgramSpeaksToRealDevices() {
    return false;
}

}  // namespace fwup
