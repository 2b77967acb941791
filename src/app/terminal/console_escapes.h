#pragma once

#include <string>
#include <vector>

namespace fwup {

// The escape codes the progress line and the board draw with, read back
// into steps for a console that is driven by calls instead (Windows: its
// own console, which older systems and Wine do not drive by escape codes).
enum class ConsoleStep {
    Text,        // text: written as it is ("\r" and "\n" included)
    EraseLine,   // ESC[K: from the cursor to the end of its line
    EraseBelow,  // ESC[J: from the cursor to the end of the window
    Home,        // ESC[H: the window's top left corner
    Up,          // ESC[nA: count lines up, no further than the window's top
};
struct ConsoleAction {
    ConsoleStep step = ConsoleStep::Text;
    std::string text;
    int count = 0;
};

// A sequence of any other kind is dropped whole, never shown.
std::vector<ConsoleAction> ReadConsoleEscapes(const std::string& utf8);

}  // namespace fwup
