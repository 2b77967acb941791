#include "app/linux/terminal_user_interface.h"

#include <algorithm>
#include <cctype>

#include "app/linux/front_end_texts.h"
#include "platform/gbk_to_utf8.h"

namespace fwup {

namespace {

constexpr char kChineseYes[] = "\xE6\x98\xAF";  // 是, in UTF-8 as typed

std::string Trimmed(std::string text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool IsExplicitYes(std::string answer) {
    answer = Trimmed(std::move(answer));
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return answer == "y" || answer == "yes" || answer == kChineseYes;
}

TerminalUserInterface::TerminalUserInterface(std::FILE* out, std::FILE* in, bool canAsk,
                                             bool assumeYes, LanguageFlag languageFlag)
    : out_(out), in_(in), canAsk_(canAsk), assumeYes_(assumeYes), languageFlag_(languageFlag) {}

void TerminalUserInterface::PrintLine(const std::string& utf8) {
    std::fprintf(out_, "%s\n", utf8.c_str());
    std::fflush(out_);
}

void TerminalUserInterface::SetStatusText(const char* text) {
    if (beforeStatus) beforeStatus(text);
    statusTexts_.emplace_back(text);
    PrintLine(GbkToUtf8(text));
    if (afterStatus) afterStatus(text);
}

bool TerminalUserInterface::AskYesNo(const char* text, const char* caption) {
    asked_ = true;
    const std::string question = GbkToUtf8(caption) + ": " + GbkToUtf8(text);
    if (assumeYes_) {
        std::fprintf(out_, "%s %s\n", question.c_str(),
                     GbkToUtf8(Choose(kAnsweredYes, languageFlag_)).c_str());
        std::fflush(out_);
        return true;
    }
    if (!canAsk_) {
        std::fprintf(out_, "%s\n", question.c_str());
        std::fflush(out_);
        couldNotAsk_ = true;
        return false;
    }
    std::fprintf(out_, "%s [y/N] ", question.c_str());
    std::fflush(out_);
    char answer[64] = {};
    // No answer at all (end of input) is no Yes either.
    if (std::fgets(answer, sizeof answer, in_) == nullptr) {
        std::fputc('\n', out_);
        return false;
    }
    return IsExplicitYes(answer);
}

}  // namespace fwup
