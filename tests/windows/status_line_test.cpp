// The commands' view of the dialog on Windows: texts given as GBK bytes reach
// the screen as the right characters whatever the ANSI code page, the status
// line is drawn before the command goes on, and the question box is owned by
// the dialog and answers Yes or No.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/dialog/win32_user_interface.h"

namespace fwup::test {
namespace {

// "正在更新固件, 请等候......" as GBK bytes and as UTF-16.
constexpr char kWaitTextGbk[] =
    "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE, \xC7\xEB\xB5\xC8\xBA\xF2......";
constexpr wchar_t kWaitTextUtf16[] =
    L"\u6B63\u5728\u66F4\u65B0\u56FA\u4EF6, \u8BF7\u7B49\u5019......";

class StatusLine : public testing::Test {
protected:
    void SetUp() override {
        // The case this guards against: an ANSI code page that is not GBK.
        ASSERT_NE(GetACP(), 936u) << "run this test under a locale whose code page is not 936";
        dialog_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  400, 120, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(dialog_, nullptr);
        status_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_BORDER,
                                  10, 10, 360, 24, dialog_, nullptr, nullptr, nullptr);
        ASSERT_NE(status_, nullptr);
        UpdateWindow(dialog_);
    }
    void TearDown() override {
        if (dialog_ != nullptr) DestroyWindow(dialog_);
    }

    std::wstring TextOf(HWND window) {
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        return text;
    }

    HWND dialog_ = nullptr;
    HWND status_ = nullptr;
};

TEST_F(StatusLine, GbkTextIsShownAsItsCharactersAndDrawnAtOnce) {
    // A plain text change leaves the control waiting for the message loop to
    // draw it (some systems draw the text itself at once, but not what else
    // is waiting to be drawn).
    InvalidateRect(status_, nullptr, TRUE);
    SetWindowTextW(status_, L"before");
    ASSERT_TRUE(GetUpdateRect(status_, nullptr, FALSE));

    Win32UserInterface userInterface(dialog_, status_);
    userInterface.SetStatusText(kWaitTextGbk);
    EXPECT_EQ(TextOf(status_), kWaitTextUtf16);
    EXPECT_FALSE(GetUpdateRect(status_, nullptr, FALSE));  // no message loop has run

    InvalidateRect(status_, nullptr, TRUE);
    userInterface.SetStatusText("Update the firmware successfully");
    EXPECT_EQ(TextOf(status_), L"Update the firmware successfully");
    EXPECT_FALSE(GetUpdateRect(status_, nullptr, FALSE));
}

// Finds the question box owned by the window, reads it and presses a button.
struct QuestionBoxAnswerer {
    QuestionBoxAnswerer(HWND ownerWindow, int buttonId) : owner(ownerWindow), button(buttonId) {}

    HWND owner;
    int button;
    std::wstring caption, text;
    bool hadCancel = true;
    std::atomic<bool> found{false};

    void Run() {
        for (int tries = 0; tries < 500 && !found; ++tries) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            if (!found) Sleep(20);
        }
    }

    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        auto* answerer = reinterpret_cast<QuestionBoxAnswerer*>(self);
        if (GetWindow(window, GW_OWNER) != answerer->owner || !IsWindowVisible(window)) return TRUE;
        answerer->Read(window);
        return FALSE;
    }

    void Read(HWND box) {
        wchar_t buffer[256] = {};
        GetWindowTextW(box, buffer, 256);
        caption = buffer;
        GetDlgItemTextW(box, 0xFFFF, buffer, 256);
        text = buffer;
        hadCancel = GetDlgItem(box, IDCANCEL) != nullptr;
        found = true;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    }
};

TEST_F(StatusLine, QuestionBoxIsOwnedByTheDialogAndAnswersYesOrNo) {
    // "当前版本为V2.40, 是否更新？" with its full-width question mark, and "提示".
    const char question[] = "\xB5\xB1\xC7\xB0\xB0\xE6\xB1\xBE\xCE\xAA" "V2.40, "
                            "\xCA\xC7\xB7\xF1\xB8\xFC\xD0\xC2\xA3\xBF";
    const char caption[] = "\xCC\xE1\xCA\xBE";
    for (int button : {IDYES, IDNO}) {
        SCOPED_TRACE(button);
        QuestionBoxAnswerer answerer(dialog_, button);
        std::thread answering([&] { answerer.Run(); });
        Win32UserInterface userInterface(dialog_, status_);
        const bool yes = userInterface.AskYesNo(question, caption);
        answering.join();
        ASSERT_TRUE(answerer.found);
        EXPECT_EQ(yes, button == IDYES);
        EXPECT_EQ(answerer.caption, L"\u63D0\u793A");
        EXPECT_EQ(answerer.text, L"\u5F53\u524D\u7248\u672C\u4E3AV2.40, \u662F\u5426\u66F4\u65B0\uFF1F");
        EXPECT_FALSE(answerer.hadCancel);  // Yes and No only
    }
}

}  // namespace
}  // namespace fwup::test
