#pragma once

#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/device_run.h"
#include "app/terminal/outcome_table.h"
#include "image/image_description.h"

namespace fwup {

// Why a command stopped before any device was touched.
enum class EarlyFailure { Usage, ImageUnreadable, ImageRefused, BadEnvironment };

struct EarlyError {
    EarlyFailure failure = EarlyFailure::Usage;
    std::string message;  // as the person was told it, in the chosen language
};

// The --json document, schema 2: the command, the image, one object per
// device, the error (null), the exit status. Its field names are stable.
std::string JsonReport(FrontEndCommand command, const ImageDescription& image,
                       const std::vector<DeviceRun>& runs, ExitCode exit);

// The document of a command that stopped before any device: no devices, and
// the error's code and message; its exit status is wrong usage.
std::string JsonErrorReport(FrontEndCommand command, const ImageDescription& image,
                            const EarlyError& error);

}  // namespace fwup
