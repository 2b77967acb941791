#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/terminal/device_run.h"
#include "app/terminal/terminal_texts.h"

namespace fwup {

// The terminal's one table: what each result prints, the status line as the
// dialog words it, then what to do next. Any may be absent.
struct Said {
    const TerminalText* status = nullptr;
    const TerminalText* hint = nullptr;
    const TerminalText* then = nullptr;
};

// The texts, with the status line's one number (a user id, the seconds
// waited) and the device the hints name.
struct Told {
    Said said;
    unsigned number = 0;
    std::string deviceId;
};

Told TextsFor(const CommandResult& result);

// What the terminal says of a device's result, line by line, in UTF-8.
std::vector<std::string> OutcomeLines(const CommandResult& result, Language language);

}  // namespace fwup
