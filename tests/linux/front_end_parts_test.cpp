// The pieces of the Linux front end: command line, language, answers, and
// the progress it shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <type_traits>

#include "app/terminal/command_line.h"
#include "app/terminal/console_escapes.h"
#include "app/terminal/device_view.h"
#include "app/terminal/image_loading.h"
#include "app/terminal/progress_line.h"
#include "app/terminal/text_format.h"
#include "test_images.h"

namespace fwup::test {
namespace {

// A loaded image's description points into the bytes it holds: a copy or a
// move would leave it pointing into the bytes left behind.
static_assert(!std::is_copy_constructible_v<LoadedImage> && !std::is_copy_assignable_v<LoadedImage> &&
              !std::is_move_constructible_v<LoadedImage> && !std::is_move_assignable_v<LoadedImage>);

CommandLine Parse(std::vector<const char*> words) {
    words.insert(words.begin(), "firmware-updater");
    return ParseCommandLine(static_cast<int>(words.size()), words.data(), Language::English);
}

TEST(CommandLine, OptionsOnEitherSideOfTheCommandAndWhatWins) {
    struct Case {
        std::vector<const char*> words;
        FrontEndCommand command;
        const char* usageError;  // "" for none
        std::size_t notes = 0;   // options the command does not take
    };
    const std::vector<Case> cases{
        {{"clear"}, FrontEndCommand::Clear, ""},
        {{"--simulate", "update"}, FrontEndCommand::Update, ""},
        {{"clear", "--yes", "--simulate"}, FrontEndCommand::Clear, ""},
        {{"-y", "clear"}, FrontEndCommand::Clear, ""},
        {{"--device", "X", "update"}, FrontEndCommand::Update, ""},
        {{"--all", "run", "-y", "--wait", "30"}, FrontEndCommand::Run, ""},
        {{"list", "--json", "-vv"}, FrontEndCommand::List, ""},
        {{}, FrontEndCommand::None, ""},
        {{"Clear"}, FrontEndCommand::None, "Unknown command or option: Clear"},
        {{"clear", "info"}, FrontEndCommand::Clear, "One command at a time: info"},
        {{"update", "--force", "sim-1"}, FrontEndCommand::Update,
         "Unknown command or option: --force sim-1"},
        {{"update", "--device"}, FrontEndCommand::Update, "--device needs a value"},
        {{"--device", "a", "clear", "--device", "b"}, FrontEndCommand::Clear,
         "--device is given more than once"},
        {{"list", "--device", "1-1"}, FrontEndCommand::List, "", 1},  // list takes no device
        {{"--yes", "--wait", "9", "update"}, FrontEndCommand::Update, "", 2},
        {{"clear", "--all"}, FrontEndCommand::Clear, "clear and run with --all ask no question: add --yes"},
        {{"update", "--all", "--device", "1-1"}, FrontEndCommand::Update,
         "--device and --all exclude each other"},
        {{"run", "--wait", "0"}, FrontEndCommand::Run, "--wait 0: give a number of seconds from 1 to 86400"},
        {{"--wait", "5s", "run"}, FrontEndCommand::Run, "--wait 5s: give a number of seconds from 1 to 86400"},
        {{"--force", "--help"}, FrontEndCommand::Help, ""},
        {{"update", "--version", "-h"}, FrontEndCommand::Help, ""},
        {{"-V", "clear"}, FrontEndCommand::Version, ""},
    };
    for (const Case& c : cases) {
        std::string where;
        for (const char* word : c.words) where += std::string(word) + " ";
        const CommandLine line = Parse(c.words);
        if (line.command != FrontEndCommand::None) {
            EXPECT_EQ(line.command, c.command) << where;
        }
        EXPECT_EQ(line.usageError, c.usageError) << where;
        EXPECT_EQ(line.notes.size(), c.notes) << where;
    }
    // An option the command does not take leaves its value unused.
    EXPECT_TRUE(Parse({"list", "--device", "1-1"}).device.empty());
    const CommandLine run = Parse({"run", "--device", "/dev/sdb", "--image", "x.bin", "-y", "-vv"});
    EXPECT_EQ(run.device, "/dev/sdb");
    EXPECT_EQ(run.image, "x.bin");
    EXPECT_TRUE(run.assumeYes);
    EXPECT_EQ(run.verbosity, 2);
    EXPECT_EQ(run.waitSeconds, 120);
    // The help names every option, short forms too.
    for (const char* option : {"--device", "--all", "-y, --yes", "--wait", "--image", "--json",
                               "-v, --verbose", "--simulate", "-h, --help", "-V, --version"})
        EXPECT_NE(Parse({"--help"}).help.find(option), std::string::npos) << option;
    // In 80 columns, in either language; the parser's words in Chinese too.
    for (const Language language : {Language::English, Language::Chinese}) {
        const char* words[] = {"firmware-updater", "--bogus"};
        const CommandLine line = ParseCommandLine(2, words, language);
        std::istringstream help(line.help);
        for (std::string text; std::getline(help, text);) EXPECT_LT(DisplayWidth(text), 80) << text;
        if (language == Language::Chinese) {
            EXPECT_EQ(line.usageError, "未知的命令或选项：--bogus");
        }
    }
}

TEST(Language, TheFirstSetLocaleVariableDecidesChineseOnlyForZhCn) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language language;
        const char* languageList = nullptr;
    };
    const Language zh = Language::Chinese;
    const Language en = Language::English;
    const std::vector<Case> cases{
        {nullptr, nullptr, "zh_CN.UTF-8", zh},
        {nullptr, nullptr, "zh_CN.GBK", zh},
        {nullptr, nullptr, "zh_TW.UTF-8", en},
        {nullptr, nullptr, "en_US.UTF-8", en},
        {nullptr, nullptr, nullptr, en},
        {"", "", "zh_CN.UTF-8", zh},                  // empty ones do not count
        {"C", nullptr, "zh_CN.UTF-8", en},            // LC_ALL first
        {nullptr, "zh_CN.UTF-8", "en_GB.UTF-8", zh},  // then LC_MESSAGES
        {"zh_CN", "en_US.UTF-8", nullptr, zh},
        // LANGUAGE, as gettext reads it: first choice first, never under C.
        {nullptr, nullptr, "en_US.UTF-8", zh, "zh_CN:en"},
        {nullptr, nullptr, "zh_CN.UTF-8", en, "fr:en_GB:zh_CN"},
        {nullptr, nullptr, "zh_CN.UTF-8", zh, "fr"},
        {"C", nullptr, nullptr, en, "zh_CN"},
        {nullptr, nullptr, nullptr, en, "zh_CN"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageFromEnvironment(c.lcAll, c.lcMessages, c.lang, c.languageList), c.language)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
}

TEST(Answer, OnlyAnExplicitYesIsYes) {
    for (const char* yes : {"y", "Y", "yes", "YES", " yes \n", "\xE6\x98\xAF\n"})
        EXPECT_TRUE(IsExplicitYes(yes)) << yes;
    for (const char* no : {"", "\n", "n", "no", "yess", "ye", "y es", "ok", "1", "\xE5\x90\xA6"})
        EXPECT_FALSE(IsExplicitYes(no)) << no;
}

// What the board draws, as a console driven by calls does it; no code of
// another kind, and none cut short, reaches the screen.
TEST(ConsoleEscapes, TheBoardsCodesBecomeStepsAndNoOtherIsShown) {
    const auto steps = [](const std::string& text) {
        std::string said;
        for (const ConsoleAction& action : ReadConsoleEscapes(text)) {
            switch (action.step) {
            case ConsoleStep::Text: said.append("[").append(action.text).append("]"); break;
            case ConsoleStep::EraseLine: said += "K"; break;
            case ConsoleStep::EraseBelow: said += "J"; break;
            case ConsoleStep::Home: said += "H"; break;
            case ConsoleStep::Up: said.append("U").append(std::to_string(action.count)); break;
            }
        }
        return said;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"\x1b[3A\rsim-1 [##] 50%\x1b[K\n\x1b[J", "U3[\rsim-1 [##] 50%]K[\n]J"},
        {"\x1b[H\x1b[J设备", "HJ[设备]"},
        {"\x1b[A", "U1"},
        {"a\x1b[?25lb\x1b[1;2Hc\x1b[31md", "[a][b][c][d]"},
        {"left\x1b[12", "[left]"},
        {"\x1b", "[\x1b]"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(steps(text), expected);
}

TEST(ProgressLine, RedrawsAtMostTenTimesASecondAndAlwaysTheFinalState) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ProgressLine::Clock::time_point now{};
    TerminalOutput output(out, out, false, "UTF-8");
    ProgressLine line(output, Language::English, 80, [&] { return now; });

    // 1000 accepted commands over two seconds.
    for (int i = 1; i <= 1000; ++i) {
        line.Update(Progress{Step::Download, static_cast<std::uint64_t>(i), 1000});
        now += std::chrono::milliseconds(2);
    }
    EXPECT_GE(line.Draws(), 19);
    EXPECT_LE(line.Draws(), 21);
    const int beforeFinish = line.Draws();
    line.Finish();
    EXPECT_EQ(line.Draws(), beforeFinish + 1);
    std::fclose(out);
    const std::string drawn = text;
    std::free(text);
    const std::string finalLine = drawn.substr(drawn.rfind('\r') + 1);
    EXPECT_EQ(finalLine, "[" + std::string(40, '#') + "] 100% 1000/1000 bytes\x1b[K\n");
}

TEST(ProgressLine, NeverWiderThanTheTerminalNorMoreThanWasAccepted) {
    struct Case {
        int columns;
        Language language;
        Progress progress;
        const char* drawn;
    };
    const Case cases[] = {
        {80, Language::English, {Step::Download, 0, 0}, "]   0% 0/0 bytes"},
        {40, Language::English, {Step::Download, 100, 200}, "[#########.........]  50% 100/200 bytes"},
        {40, Language::Chinese, {Step::Download, 100, 200}, "[#########..........]  50% 100/200 字节"},
        {20, Language::English, {Step::Download, 45592, 45592}, "100%"},
        // A count past the total is shown as the total.
        {40, Language::English, {Step::Download, 300, 200}, "] 100% 200/200 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.drawn);
        const std::string line = RenderProgress(c.progress, c.language, c.columns);
        EXPECT_NE(line.find(c.drawn), std::string::npos) << line;
        int width = 0;
        for (unsigned char byte : line) width += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xE0 ? 2 : 1;
        EXPECT_LT(width, c.columns) << line;
    }
}

}  // namespace
}  // namespace fwup::test
