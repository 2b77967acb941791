// firmware-updater-cli for Windows: the terminal program's commands over
// SetupAPI and the vendor driver's pipes, drive letters and SCSI
// pass-through, beside the dialog, for one device or a bench of them.

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/embedded_image.h"
#include "app/terminal/program.h"

namespace {

// The command line as the user typed it, in UTF-8: the narrow one the
// runtime gives holds only what the ANSI code page can say.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(size > 0 ? size : 1, '\0');
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), size, nullptr, nullptr);
        argument.resize(argument.size() - 1);  // the terminating zero
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace

int main() {
    // A file or a pipe gets the bytes as they are, lines ending as on Linux:
    // the same JSON for the same scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments = Utf8Arguments();
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The dialog's rule: Chinese texts for a user whose language is Chinese (PRC).
    return fwup::RunTerminalProgram(static_cast<int>(arguments.size()), argv.data(),
                                    fwup::LanguageFromLangId(GetUserDefaultLangID()),
                                    fwup::EmbeddedFirmwareImage());
}
