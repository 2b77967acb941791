#include "app/terminal/simulated_bench.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/simulation/in_process_locks.h"
#include "platform/simulation/scenario.h"

namespace fwup {

int RunOverSimulation(const CommandLine& line, const StationOver& station) {
    std::vector<std::string> problems;
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    scenario.startInVendorMode = line.command == FrontEndCommand::Update;
    scenario.keepTraffic = false;
    Simulation simulation(scenario);
    InProcessDeviceLocks locks;  // the bench's devices live in this process alone
    return station(simulation, simulation, locks, false, problems);
}

}  // namespace fwup
