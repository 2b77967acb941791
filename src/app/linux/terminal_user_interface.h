#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace fwup {

// The commands' status line and question on a terminal: each status text is
// a line of its own, printed in UTF-8. The question is asked on the terminal
// and only an explicit yes ("y", "yes", or "是") counts as Yes; --yes answers
// it in advance; without a terminal to ask on it counts as No.
class TerminalUserInterface : public UserInterface {
public:
    // canAsk: in is a terminal a person answers on.
    TerminalUserInterface(std::FILE* out, std::FILE* in, bool canAsk, bool assumeYes,
                          LanguageFlag languageFlag);

    void SetStatusText(const char* text) override;
    bool AskYesNo(const char* text, const char* caption) override;

    // A line of the front end's own, already in UTF-8.
    void PrintLine(const std::string& utf8);

    // Run around each status text, for whatever else shares the terminal.
    std::function<void(const char* text)> beforeStatus;
    std::function<void(const char* text)> afterStatus;

    const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
    bool Asked() const { return asked_; }
    bool CouldNotAsk() const { return couldNotAsk_; }  // no terminal and no --yes

private:
    std::FILE* out_;
    std::FILE* in_;
    bool canAsk_;
    bool assumeYes_;
    LanguageFlag languageFlag_;
    std::vector<std::string> statusTexts_;
    bool asked_ = false;
    bool couldNotAsk_ = false;
};

// Whether a typed answer is an explicit yes. The answer is UTF-8, as typed.
bool IsExplicitYes(std::string answer);

}  // namespace fwup
