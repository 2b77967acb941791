#pragma once

#include "app/terminal/front_end.h"
#include "image/image_description.h"

namespace fwup {

// station: serves every port (or the ports --device names) until stopped
// or --units have been served, each port in its own thread; a board with a
// line per port, the units' record, and with --json events on standard
// output. Exit status 0 when every unit ended confirmed or up to date, 1
// when any failed, 130 when stopped at once.
ExitCode RunBench(FrontEnd& frontEnd, const ImageDescription& image);

}  // namespace fwup
