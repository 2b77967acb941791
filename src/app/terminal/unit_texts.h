#pragma once

#include "app/terminal/terminal_texts.h"
#include "app/terminal/unit_record.h"

namespace fwup {

// The short word a person reads for what became of a unit, on the station's
// board and in history.
const TerminalText& UnitOutcomeText(UnitOutcome outcome);

}  // namespace fwup
