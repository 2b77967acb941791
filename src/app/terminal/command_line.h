#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/terminal/terminal_texts.h"

namespace fwup {

enum class FrontEndCommand { None, List, Info, Clear, Update, Run, Station, History, Help, Version };

struct CommandLine {
    FrontEndCommand command = FrontEndCommand::None;
    std::string device;      // --device ID: the device to work on (the first given)
    std::vector<std::string> devices;  // station, history: every --device given
    bool all = false;        // --all: every device found, in parallel
    bool assumeYes = false;  // -y, --yes: the question of clear is answered Yes
    int waitSeconds = 120;   // --wait: how long run waits for the re-plugged device
    std::string image;       // --image FILE: this image instead of the built-in one
    std::optional<std::uint16_t> imageVersion;  // --image-version X.YY: that file's version
    bool confirm = false;    // run --confirm: the version read back after the update
    int units = 0;           // station --units N: stop after N units; 0: until stopped
    std::string record;      // --record FILE: the units' record instead of the default one
    std::string since;       // history --since: the units that started then or later
    bool json = false;       // --json: one JSON document on standard output
    int verbosity = 0;       // -v: each exchange; -vv: with hex dumps
    bool simulate = false;   // --simulate: simulated devices instead of the hardware
    std::string usageError;  // what is wrong with the command line, for the user
    std::vector<std::string> notes;  // options given that the command does not take
    std::string help;        // the --help text
};

// "2.40" -> 0x0240: one or two hexadecimal digits, a full stop and two
// more, as the device's versions are written; none for anything else.
std::optional<std::uint16_t> ReadVersionText(const std::string& text);

// The command line as the user typed it; wrong usage is said in usageError,
// in the user's language. --help and --version win over everything else.
CommandLine ParseCommandLine(int argc, const char* const* argv, Language language);

// The word that names a device command ("list" … "run"), from the table the
// parser reads; null for none.
const char* CommandWord(FrontEndCommand command);

// Chinese texts for a zh_CN locale, English otherwise, as gettext chooses:
// the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty names
// the locale; unless that is C or POSIX, LANGUAGE (a list of languages in
// order of preference) decides first.
Language LanguageFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang,
                                 const char* language = nullptr);

// The language for a Windows user's default language ID: Chinese for
// Chinese (PRC), 2052, as the dialog chooses; English for any other.
Language LanguageFromLangId(std::uint16_t langId);

}  // namespace fwup
