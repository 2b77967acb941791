#pragma once

#include <string>
#include <vector>

#include "app/terminal/device_run.h"
#include "app/terminal/terminal_texts.h"

namespace fwup {

// The terminal's one table: what each outcome of each command prints, the
// status line as the dialog words it, then what to do next. Any may be
// absent.
struct Said {
    const TerminalText* status = nullptr;
    const TerminalText* hint = nullptr;
    const TerminalText* then = nullptr;
};

Said TextsFor(Texts command, const Outcome& outcome);

// What the terminal says of a device's outcome, line by line, in UTF-8.
// waitSeconds: run's --wait, for a device that did not come back.
std::vector<std::string> OutcomeLines(const DeviceRun& run, int waitSeconds, Language language);

}  // namespace fwup
