#include "app/terminal/simulated_bench.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/simulation/scenario.h"

namespace fwup {

int RunOverSimulation(const CommandLine& line, const StationOver& station) {
    std::vector<std::string> problems;
    Scenario scenario = ReadScenario([](const char* name) { return std::getenv(name); }, problems);
    scenario.startInVendorMode = line.command == FrontEndCommand::Update;
    scenario.keepTraffic = false;
    Simulation simulation(scenario);
    return station(simulation, simulation, false, problems);
}

}  // namespace fwup
