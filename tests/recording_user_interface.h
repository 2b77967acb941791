#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/dialog/user_interface.h"

namespace fwup::test {

// The dialog as the commands see it: a status line that starts with an earlier
// text and keeps every text written to it, in turn, and a question box that
// gives the answer it was told to.
struct RecordingUserInterface : UserInterface {
    std::string status = "earlier text";
    std::vector<std::string> statusTexts;  // every text written, in order
    int statusWrites = 0;
    bool answer = true;
    std::vector<std::pair<std::string, std::string>> questions;  // text, caption

    void SetStatusText(const char* text) override {
        status = text;
        statusTexts.emplace_back(text);
        ++statusWrites;
    }
    bool AskYesNo(const char* text, const char* caption) override {
        questions.emplace_back(text, caption);
        return answer;
    }
};

}  // namespace fwup::test
