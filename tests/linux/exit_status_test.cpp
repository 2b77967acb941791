#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/terminal/command_line.h"
#include "app/terminal/outcome_table.h"

namespace fwup {
namespace {

std::string FileText(const char* path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The numbers a pattern's first group matches, in order.
std::vector<int> Numbers(const std::string& text, const std::regex& pattern) {
    std::vector<int> numbers;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
        numbers.push_back(std::stoi((*it)[1]));
    return numbers;
}

// The text from the first line that starts with begin up to the first line
// after it that starts with end.
std::string Section(const std::string& text, const std::string& begin, const std::string& end) {
    const std::size_t from = text.find("\n" + begin);
    if (from == std::string::npos) return {};
    const std::size_t to = text.find("\n" + end, from + 1);
    return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// --help, the man page and the README list exactly the exit statuses that the
// program has, in order.
TEST(ExitStatus, HelpManPageAndReadmeListEveryStatusOfTheEnum) {
    std::vector<int> expected;
    for (ExitCode code : AllExitCodes()) expected.push_back(static_cast<int>(code));
    ASSERT_EQ(expected.size(), 11u);

    const std::regex listed(R"((\d+) [^\d,，.。]+)");
    for (Language language : {Language::English, Language::Chinese}) {
        char program[] = "firmware-updater";
        char help[] = "--help";
        char* argv[] = {program, help};
        const std::string text = ParseCommandLine(2, argv, language).help;
        const std::size_t at = text.find(Say(kExitStatusOpening, language));
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(Numbers(text.substr(at), listed), expected);
    }
    const std::string man = Section(FileText(MAN_PAGE_PATH), ".SH EXIT STATUS", ".PP");
    EXPECT_EQ(Numbers(man, std::regex(R"(\n\.B (\d+)\n)")), expected) << man;
    const std::string readme = Section(FileText(README_PATH), "Exit status:", "`");
    EXPECT_EQ(Numbers(readme, std::regex(R"((\d+) [a-z])")), expected) << readme;
}

}  // namespace
}  // namespace fwup
