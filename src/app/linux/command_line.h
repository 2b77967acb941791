#pragma once

#include <string>

#include "app/linux/terminal_texts.h"

namespace fwup {

enum class FrontEndCommand { None, Clear, Update, Info, Help, Version };

struct CommandLine {
    FrontEndCommand command = FrontEndCommand::None;
    bool simulate = false;   // --simulate: the simulated device instead of the hardware
    bool assumeYes = false;  // --yes: the question of clear is answered Yes
    std::string unknown;     // the first argument that is no command or option
};

// Options may stand anywhere; one command at most. --help and --version win
// over everything else, wrong usage included.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Chinese texts for a zh_CN locale, English otherwise. The first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty decides, as for any program
// that prints messages.
Language LanguageFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang);

}  // namespace fwup
