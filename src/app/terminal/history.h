#pragma once

#include "app/terminal/front_end.h"

namespace fwup {

// firmware-updater history: the units the record holds (--record FILE, or
// the default one), newest first, those the --device and --since options
// choose, and a summary; under --json one document. Touches no device.
ExitCode RunHistory(FrontEnd& frontEnd);

}  // namespace fwup
