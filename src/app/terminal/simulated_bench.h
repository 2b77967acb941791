#pragma once

#include "app/terminal/command_line.h"
#include "app/terminal/program_platform.h"

namespace fwup {

// --simulate: the station over the simulated bench that the FWUP_DEMO_*
// settings describe, its devices standing as the command expects to meet
// them: in storage mode, but already re-plugged in vendor mode for update.
// With FWUP_DEMO_UNITS, for station and for run --confirm, each port serves
// units that re-plug themselves and come back at the image's version.
int RunOverSimulation(const CommandLine& line, const StationOver& station);

}  // namespace fwup
