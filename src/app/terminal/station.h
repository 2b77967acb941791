#pragma once

#include <string>

#include "app/terminal/front_end.h"
#include "app/terminal/json_report.h"
#include "image/image_description.h"

namespace fwup {

// The station's work for list, info, clear, update and run: the devices the
// command line chooses (one, or --all at once), what is said of each, the
// JSON document, the exit status.
ExitCode RunStation(FrontEnd& frontEnd, const ImageDescription& image);

// A failure before any device was touched: the message, and under --json a
// document without devices that holds the error. Wrong usage.
ExitCode ReportUsage(FrontEnd& frontEnd, const ImageDescription& image, const EarlyError& error);

}  // namespace fwup
