#include "app/terminal/simulated_bench.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "platform/simulation/scenario.h"

namespace fwup {

int RunOverSimulation(const CommandLine& line, const StationOver& station) {
    std::vector<std::string> problems;
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    scenario.startInVendorMode = line.command == FrontEndCommand::Update;
    scenario.keepTraffic = false;
    // A command that waits for the updated unit to come back meets a bench
    // whose units re-plug themselves.
    const bool waitsForTheReturn = line.command == FrontEndCommand::Station ||
                                   (line.command == FrontEndCommand::Run && line.confirm);
    if (scenario.units == 0 && waitsForTheReturn) scenario.units = 1;
    scenario.imageVersion = line.imageVersion.value_or(kUpdatedFirmwareVersion);
    Simulation simulation(scenario);
    // The bench's own locks: the devices live in this process alone, and a
    // port's lock released lets the person take the unit out.
    return station(simulation, simulation, simulation.Locks(), false, problems);
}

}  // namespace fwup
