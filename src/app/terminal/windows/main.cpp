// firmware-updater-cli for Windows: the terminal program's commands over
// SetupAPI and the vendor driver's pipes, drive letters and SCSI
// pass-through, beside the dialog, for one device or a bench of them.

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/embedded_image.h"
#include "app/terminal/program.h"
#include "app/terminal/windows/wide_text.h"

namespace {

// The command line in UTF-8: the narrow one the runtime would give holds
// only what the ANSI code page can say.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(fwup::Utf8Of(argv[i]));
    return arguments;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A file or a pipe gets the bytes as they are, lines ending as on Linux:
    // the same JSON for the same scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> utf8Argv;
    for (std::string& argument : arguments) utf8Argv.push_back(argument.data());
    utf8Argv.push_back(nullptr);
    // The dialog's rule: Chinese texts for a user whose language is Chinese (PRC).
    return fwup::RunTerminalProgram(static_cast<int>(arguments.size()), utf8Argv.data(),
                                    fwup::LanguageFromLangId(GetUserDefaultLangID()),
                                    fwup::EmbeddedFirmwareImage());
}
