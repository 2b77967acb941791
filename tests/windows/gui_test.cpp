// Drives the real program as a user would: starts it, reads its dialog,
// presses its buttons and keys, and reads its exit code.
//
// usage: firmware_updater_gui_test --language=ID --codepage=CP --shot=NAME
// The language id and code page say what the run's locale is meant to give;
// the test checks them first, so that each run tests the case it names.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog/dialog_logic.h"
#include "program_driver.h"
#include "vendor_device_presence.h"

namespace fwup::test {
namespace {

int expectedLanguage = 0;
unsigned expectedCodePage = 0;
std::string shotName;

// The caption, the same in both languages: "厂商:Pelora 充电电流1.0A".
const std::wstring kCaption = L"\u5382\u5546:Pelora \u5145\u7535\u7535\u6D41" L"1.0A";

struct ExpectedText {
    int controlId;
    const wchar_t* english;
    const wchar_t* chinese;
};
const ExpectedText kTexts[] = {
    {1004, L"Update version to 2.40", L"\u66F4\u65B0\u5230\u7248\u672C" L"2.40"},
    {1005, L"Step 1.Run [Clear], Clear the original firmware",
     L"\u6B65\u9AA4" L"1.\u8FD0\u884C[\u6E05\u9664], \u6E05\u9664\u539F\u56FA\u4EF6"},
    {1006, L"Step 2.Re-plug the device , install the USB driver",
     L"\u6B65\u9AA4" L"2.\u91CD\u65B0\u63D2\u62D4\u8BBE\u5907, \u5B89\u88C5USB\u9A71\u52A8"},
    {1007, L"Step 3.Run [Update], Update the firmware",
     L"\u6B65\u9AA4" L"3.\u8FD0\u884C[\u66F4\u65B0], \u66F4\u65B0\u56FA\u4EF6"},
    {1003, L"Clear(&L)", L"\u6E05\u9664(&L)"},
    {1, L"Update(&U)", L"\u66F4\u65B0(&U)"},
    {2, L"Cancel(&C)", L"\u53D6\u6D88(&C)"},
    {1002, L"", L""},
};
// "打开驱动失败"
const ExpectedText kOpenFailed{1002, L"Open the driver failed",
                               L"\u6253\u5F00\u9A71\u52A8\u5931\u8D25"};

bool Chinese() {
    return expectedLanguage == 2052;
}

std::wstring Expected(const ExpectedText& text) {
    return Chinese() ? text.chinese : text.english;
}

// Where a window of this size belongs: centred on the work area.
ScreenPoint CentredOnWorkArea(const RECT& outer) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return CenterDialog({work.left, work.top, work.right, work.bottom}, outer.right - outer.left,
                        outer.bottom - outer.top);
}

TEST(Locale, IsTheOneThisRunNames) {
    EXPECT_EQ(GetUserDefaultLangID(), expectedLanguage);
    EXPECT_EQ(GetACP(), expectedCodePage);
}

TEST(Dialog, ShowsEveryTextInTheUsersLanguageCentredWithUpdateFocused) {
    Program program(PROGRAM_PATH);
    ASSERT_NE(program.Dialog(), nullptr);
    for (const ExpectedText& text : kTexts)
        EXPECT_EQ(TextOf(program.Control(text.controlId)), Expected(text)) << text.controlId;
    EXPECT_EQ(TextOf(program.Dialog()), kCaption);
    EXPECT_EQ(program.Focus(), program.Control(kUpdateButtonId));

    RECT outer{};
    GetWindowRect(program.Dialog(), &outer);
    const ScreenPoint centred = CentredOnWorkArea(outer);
    EXPECT_EQ(outer.left, centred.x);
    EXPECT_EQ(outer.top, centred.y);

    if (!shotName.empty()) {
        EXPECT_TRUE(SaveScreenshot(program.Dialog(), ARTIFACT_DIR "/dialog-" + shotName + ".bmp"));
    }

    PostMessageW(program.Control(kCancelButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(program.ExitCode(), 2u);
}

// No USB device in vendor mode (any the prefix held is removed first) and no
// drive answers under Wine: each command writes the open-failure text only.
// That Update never writes the wait text first is shown by its own tests,
// which record every text (Wine reports no text changes to another process);
// Clear asks no question without a device, so the click returns.
TEST(Dialog, UpdateAndClearWithoutADeviceShowTheOpenFailure) {
    ASSERT_TRUE(UnplugVendorDevices());
    for (std::uint16_t button : {kUpdateButtonId, kClearButtonId}) {
        SCOPED_TRACE(button);
        Program program(PROGRAM_PATH);
        ASSERT_NE(program.Dialog(), nullptr);
        SendMessageW(program.Control(button), BM_CLICK, 0, 0);
        EXPECT_EQ(TextOf(program.Control(kStatusLineId)), Expected(kOpenFailed));
        PostMessageW(program.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(program.ExitCode(), 2u);
    }
}

// Alt and a letter, as the keyboard delivers it to the focused control.
void PressMnemonic(const Program& program, wchar_t letter) {
    PostMessageW(program.Focus(), WM_SYSCHAR, letter, 1 | (1 << 29));
}

TEST(Dialog, MnemonicsPressClearAndUpdate) {
    ASSERT_TRUE(UnplugVendorDevices());
    for (wchar_t letter : {L'l', L'u'}) {
        SCOPED_TRACE(static_cast<char>(letter));
        Program program(PROGRAM_PATH);
        ASSERT_NE(program.Dialog(), nullptr);
        PressMnemonic(program, letter);
        // No drive and no USB device answers: both commands end in the same
        // open-failure text.
        std::wstring status;
        for (int tries = 0; tries < 250 && status.empty(); ++tries) {
            Sleep(20);
            status = TextOf(program.Control(kStatusLineId));
        }
        EXPECT_EQ(status, Expected(kOpenFailed));
        PostMessageW(program.Control(kCancelButtonId), BM_CLICK, 0, 0);
        EXPECT_EQ(program.ExitCode(), 2u);
    }
}

TEST(Dialog, EveryWayOfClosingEndsWithExitCode2) {
    struct Way {
        const char* name;
        void (*close)(const Program&);
    };
    const Way ways[] = {
        {"Cancel button",
         [](const Program& p) { PostMessageW(p.Control(kCancelButtonId), BM_CLICK, 0, 0); }},
        {"Esc",
         [](const Program& p) {
             PostMessageW(p.Focus(), WM_KEYDOWN, VK_ESCAPE, 1);
             PostMessageW(p.Focus(), WM_KEYUP, VK_ESCAPE, 1 | (3u << 30));
         }},
        {"close box",
         [](const Program& p) { PostMessageW(p.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4",
         [](const Program& p) { PostMessageW(p.Focus(), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29)); }},
        {"Alt+C", [](const Program& p) { PressMnemonic(p, L'c'); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        Program program(PROGRAM_PATH);
        ASSERT_NE(program.Dialog(), nullptr);
        ASSERT_NE(program.Focus(), nullptr);
        way.close(program);
        EXPECT_EQ(program.ExitCode(), 2u);
    }
}

// Started minimised, the dialog is shown minimised; it was centred before it
// was shown, so that it is restored to the middle of the work area.
TEST(Start, MinimisedShowsTheDialogMinimisedAfterCentringIt) {
    Program program(PROGRAM_PATH, "", SW_SHOWMINNOACTIVE);
    ASSERT_NE(program.Dialog(), nullptr);
    EXPECT_TRUE(IsIconic(program.Dialog()));
    PostMessageW(program.Dialog(), WM_SYSCOMMAND, SC_RESTORE, 0);
    for (int tries = 0; tries < 250 && IsIconic(program.Dialog()); ++tries) Sleep(20);
    RECT outer{};
    GetWindowRect(program.Dialog(), &outer);
    const ScreenPoint centred = CentredOnWorkArea(outer);
    EXPECT_EQ(outer.left, centred.x);
    EXPECT_EQ(outer.top, centred.y);
    PostMessageW(program.Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.ExitCode(), 2u);
}

// A program whose dialog cannot be created (here: no template 129) shows
// nothing and ends with exit code 0.
TEST(Start, DialogThatCannotBeCreatedEndsWithExitCode0) {
    Program program(NO_DIALOG_PROGRAM_PATH);
    EXPECT_EQ(program.Dialog(), nullptr);
    EXPECT_EQ(program.ExitCode(), 0u);
}

TEST(Dialog, CommandLineArgumentsChangeNothing) {
    Program program(PROGRAM_PATH, "/S --clear E: update.bin");
    ASSERT_NE(program.Dialog(), nullptr);
    EXPECT_EQ(TextOf(program.Dialog()), kCaption);
    EXPECT_EQ(TextOf(program.Control(1004)), Expected(kTexts[0]));
    EXPECT_EQ(TextOf(program.Control(kStatusLineId)), L"");
    PostMessageW(program.Control(kCancelButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(program.ExitCode(), 2u);
}

}  // namespace
}  // namespace fwup::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const fwup::test::Options options(argc, argv);
    fwup::test::expectedLanguage = static_cast<int>(options.Number("language"));
    fwup::test::expectedCodePage = static_cast<unsigned>(options.Number("codepage"));
    fwup::test::shotName = options.Text("shot");
    return RUN_ALL_TESTS();
}
