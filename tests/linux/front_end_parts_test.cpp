// The pieces of the Linux front end: command line, language, text
// conversion, answers, and the progress it shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/linux/command_line.h"
#include "app/linux/download_progress.h"
#include "app/linux/terminal_user_interface.h"
#include "platform/gbk_to_utf8.h"
#include "storage/clear_command.h"
#include "test_images.h"

namespace fwup::test {
namespace {

TEST(CommandLine, OptionsAnywhereOneCommandHelpAndVersionWin) {
    struct Case {
        std::vector<const char*> words;
        FrontEndCommand command;
        bool simulate;
        bool yes;
        const char* unknown;
    };
    const std::vector<Case> cases{
        {{"clear"}, FrontEndCommand::Clear, false, false, ""},
        {{"--simulate", "update"}, FrontEndCommand::Update, true, false, ""},
        {{"clear", "--yes", "--simulate"}, FrontEndCommand::Clear, true, true, ""},
        {{"-y", "clear"}, FrontEndCommand::Clear, false, true, ""},
        {{"info"}, FrontEndCommand::Info, false, false, ""},
        {{}, FrontEndCommand::None, false, false, ""},
        {{"Clear"}, FrontEndCommand::None, false, false, "Clear"},
        {{"clear", "info"}, FrontEndCommand::Clear, false, false, "info"},
        {{"update", "--force"}, FrontEndCommand::Update, false, false, "--force"},
        {{"--force", "--help"}, FrontEndCommand::Help, false, false, "--force"},
        {{"update", "--version", "-h"}, FrontEndCommand::Help, false, false, ""},
        {{"--version", "clear"}, FrontEndCommand::Version, false, false, ""},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"firmware-updater"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        const CommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        const std::string where = c.words.empty() ? "(none)" : c.words[0];
        EXPECT_EQ(line.command, c.command) << where;
        EXPECT_EQ(line.simulate, c.simulate) << where;
        EXPECT_EQ(line.assumeYes, c.yes) << where;
        EXPECT_EQ(line.unknown, c.unknown) << where;
    }
}

TEST(Language, TheFirstSetLocaleVariableDecidesChineseOnlyForZhCn) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        LanguageFlag flag;
    };
    const std::vector<Case> cases{
        {nullptr, nullptr, "zh_CN.UTF-8", 0},
        {nullptr, nullptr, "zh_CN.GBK", 0},
        {nullptr, nullptr, "zh_TW.UTF-8", 1},
        {nullptr, nullptr, "en_US.UTF-8", 1},
        {nullptr, nullptr, nullptr, 1},
        {"", "", "zh_CN.UTF-8", 0},                  // empty ones do not count
        {"C", nullptr, "zh_CN.UTF-8", 1},            // LC_ALL first
        {nullptr, "zh_CN.UTF-8", "en_GB.UTF-8", 0},  // then LC_MESSAGES
        {"zh_CN", "en_US.UTF-8", nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageFromEnvironment(c.lcAll, c.lcMessages, c.lang), c.flag)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
}

TEST(GbkToUtf8, ConvertsTheCommandsTextsAndSurvivesBadBytes) {
    EXPECT_EQ(GbkToUtf8(kOpenDriverFailedText.chinese),
              "\xE6\x89\x93\xE5\xBC\x80\xE9\xA9\xB1\xE5\x8A\xA8\xE5\xA4\xB1\xE8\xB4\xA5");  // 打开驱动失败
    EXPECT_EQ(GbkToUtf8(kQuestionAfter.english), ", whether to update \xEF\xBC\x9F");  // ？
    EXPECT_EQ(GbkToUtf8(kQuestionCaption), "\xE6\x8F\x90\xE7\xA4\xBA");                // 提示
    EXPECT_EQ(GbkToUtf8("plain ASCII"), "plain ASCII");
    EXPECT_EQ(GbkToUtf8(""), "");
    // A lone lead byte at the end, and a byte that starts no GBK character.
    EXPECT_EQ(GbkToUtf8("a\xB4"), "a\xEF\xBF\xBD");
    EXPECT_EQ(GbkToUtf8("\xFF" "b"), "\xEF\xBF\xBD" "b");
    const std::string longText(1000, '\xB4');  // 500 times the same character
    EXPECT_EQ(GbkToUtf8(std::string(1000, 'x')).size(), 1000u);
    EXPECT_GT(GbkToUtf8(longText).size(), 1000u);
}

TEST(Answer, OnlyAnExplicitYesIsYes) {
    for (const char* yes : {"y", "Y", "yes", "YES", " yes \n", "\xE6\x98\xAF\n"})
        EXPECT_TRUE(IsExplicitYes(yes)) << yes;
    for (const char* no : {"", "\n", "n", "no", "yess", "ye", "y es", "ok", "1", "\xE5\x90\xA6"})
        EXPECT_FALSE(IsExplicitYes(no)) << no;
}

// What the progress bar counts towards must be what a download really moves.
TEST(DownloadTraffic, MatchesWhatTheDeviceReceives) {
    const std::vector<Bytes> images{
        EmbeddedImage(),
        SmallImage(),
        MakeImage({{0x1000, Pattern(4096)}, {0x3000, Pattern(4097)}, {0x9000, Pattern(1)}}),
        Bytes{0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4, 0, 0},  // no segment: the begin command alone
    };
    for (const Bytes& image : images) {
        SimulatedDevice device;
        ASSERT_EQ(DownloadTo(device, image), DownloadResult::Ok);
        DownloadTotals received;
        for (const PipeTransfer& transfer : device.Traffic()) {
            if (transfer.isWrite) received.bytes += transfer.bytes.size();
            else ++received.commands;
        }
        const DownloadTotals computed = DownloadTraffic(View(image));
        EXPECT_EQ(computed.bytes, received.bytes) << image.size();
        EXPECT_EQ(computed.commands, received.commands) << image.size();
    }
    EXPECT_EQ(DownloadTraffic(View(Bytes{1, 2, 3, 4, 5, 6, 7, 8})).commands, 0u);
    EXPECT_EQ(DownloadTraffic(FirmwareImage{}).bytes, 0u);
}

TEST(ProgressBar, RedrawsAtMostTenTimesASecondAndAlwaysTheFinalState) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    ProgressBar::Clock::time_point now{};
    ProgressBar bar(out, DownloadTotals{1000, 10}, 1, 80, [&] { return now; });

    // 1000 transfers over two seconds.
    for (int i = 1; i <= 1000; ++i) {
        bar.Update(LinkCount{static_cast<std::uint64_t>(i), static_cast<std::uint32_t>(i / 100)});
        now += std::chrono::milliseconds(2);
    }
    EXPECT_GE(bar.Draws(), 19);
    EXPECT_LE(bar.Draws(), 21);
    const int beforeFinish = bar.Draws();
    bar.Finish();
    EXPECT_EQ(bar.Draws(), beforeFinish + 1);
    std::fclose(out);
    const std::string drawn = text;
    std::free(text);
    const std::string finalLine = drawn.substr(drawn.rfind('\r') + 1);
    EXPECT_EQ(finalLine, "[" + std::string(32, '#') +
                             "] 100% 1000/1000 bytes, 10/10 commands\x1b[K\n");
}

TEST(ProgressBar, FitsNarrowAndWideTerminals) {
    ProgressBar narrow(stdout, DownloadTotals{200, 2}, 1, 20);
    EXPECT_EQ(narrow.Render(LinkCount{100, 1}), "[#####.....]  50% 100/200 bytes, 1/2 commands");
    ProgressBar wide(stdout, DownloadTotals{200, 2}, 1, 300);
    EXPECT_EQ(wide.Render(LinkCount{0, 0}).find(']'), 41u);  // 40 columns of bar at most
    ProgressBar empty(stdout, DownloadTotals{}, 1, 80);
    EXPECT_EQ(empty.Render(LinkCount{}).substr(33), "]   0% 0/0 bytes, 0/0 commands");
}

}  // namespace
}  // namespace fwup::test
