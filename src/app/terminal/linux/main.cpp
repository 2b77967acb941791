// firmware-updater for Linux: the three steps of the Windows dialog as
// commands of a terminal program, over libusb and SG_IO, for one device or
// a bench of them.

#include <cstdlib>

#include "app/terminal/command_line.h"
#include "app/terminal/embedded_image.h"
#include "app/terminal/program.h"

int main(int argc, char** argv) {
    using fwup::LanguageFromEnvironment;
    return fwup::RunTerminalProgram(
        argc, argv,
        LanguageFromEnvironment(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                std::getenv("LANG"), std::getenv("LANGUAGE")),
        fwup::EmbeddedFirmwareImage());
}
