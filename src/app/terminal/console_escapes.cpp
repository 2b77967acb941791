#include "app/terminal/console_escapes.h"

namespace fwup {

std::vector<ConsoleAction> ReadConsoleEscapes(const std::string& utf8) {
    std::vector<ConsoleAction> actions;
    std::string text;
    auto flush = [&] {
        if (!text.empty()) actions.push_back({ConsoleStep::Text, text, 0});
        text.clear();
    };
    for (std::size_t at = 0; at < utf8.size();) {
        if (utf8[at] != '\x1b' || at + 1 >= utf8.size() || utf8[at + 1] != '[') {
            text.push_back(utf8[at++]);
            continue;
        }
        // ESC [ parameters final: the final byte is the first in @ to ~.
        std::size_t end = at + 2;
        while (end < utf8.size() && (utf8[end] < '@' || utf8[end] > '~')) ++end;
        if (end == utf8.size()) break;  // cut short: nothing of it is shown
        const std::string parameters = utf8.substr(at + 2, end - at - 2);
        const bool plain = parameters.find_first_not_of("0123456789") == std::string::npos;
        const int count = plain && !parameters.empty() && parameters.size() < 6
                              ? std::stoi(parameters) : 1;
        flush();
        switch (plain ? utf8[end] : '\0') {
        case 'K': actions.push_back({ConsoleStep::EraseLine, {}, 0}); break;
        case 'J': actions.push_back({ConsoleStep::EraseBelow, {}, 0}); break;
        case 'H': actions.push_back({ConsoleStep::Home, {}, 0}); break;
        case 'A': actions.push_back({ConsoleStep::Up, {}, count}); break;
        default: break;
        }
        at = end + 1;
    }
    flush();
    return actions;
}

}  // namespace fwup
