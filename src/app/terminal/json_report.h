#pragma once

#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/device_run.h"
#include "app/terminal/outcome_table.h"
#include "image/image_description.h"

namespace fwup {

// The --json document, schema 1: the command, the image, one object per
// device, the exit status. Its field names are stable.
std::string JsonReport(FrontEndCommand command, const ImageDescription& image,
                       const std::vector<DeviceRun>& runs, ExitCode exit);

}  // namespace fwup
