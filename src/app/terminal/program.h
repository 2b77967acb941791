#pragma once

#include "app/terminal/terminal_texts.h"
#include "image/firmware_image.h"

namespace fwup {

// The terminal program from start to exit status, whatever system it runs
// on: the console, the request to stop, the command line (UTF-8), the
// backends the system's program platform gives, the station, with the image
// the program carries.
int RunTerminalProgram(int argc, char** argv, Language language, const FirmwareImage& image);

}  // namespace fwup
