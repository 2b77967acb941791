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

#include "app/dialog_logic.h"

namespace fwup::test {
namespace {

int expectedLanguage = 0;
unsigned expectedCodePage = 0;
std::string shotName;

constexpr DWORD kPatienceMs = 10000;

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

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// The program, started in the test's own prefix and locale.
class Program {
public:
    explicit Program(const std::string& arguments = "") {
        std::string commandLine = "\"" PROGRAM_PATH "\"";
        if (!arguments.empty()) commandLine += " " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
        if (!started_) return;
        WaitForInputIdle(process_.hProcess, kPatienceMs);
        dialog_ = FindDialog();
    }

    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }

    // The exit code, or 259 (still running) after the patience runs out.
    DWORD ExitCode() const {
        WaitForSingleObject(process_.hProcess, kPatienceMs);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }

private:
    struct Search {
        DWORD processId;
        HWND found;
    };

    // The visible top-level dialog of the process that has no owner.
    HWND FindDialog() const {
        Search search{process_.dwProcessId, nullptr};
        for (DWORD waited = 0; waited < kPatienceMs && search.found == nullptr; waited += 20) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
            if (search.found == nullptr) Sleep(20);
        }
        return search.found;
    }

    static BOOL CALLBACK Visit(HWND window, LPARAM context) {
        auto* search = reinterpret_cast<Search*>(context);
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        char className[16] = {};
        GetClassNameA(window, className, sizeof className);
        if (processId != search->processId || std::strcmp(className, "#32770") != 0 ||
            !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr)
            return TRUE;
        search->found = window;
        return FALSE;
    }

    bool started_ = false;
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
};

// The dialog as it is on screen, caption included, as a BMP file.
bool SaveScreenshot(HWND window, const std::string& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD imageSize = static_cast<DWORD>((width * 3 + 3) / 4 * 4 * height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    bool saved = false;
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        saved = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                std::fwrite(bits, imageSize, 1, out) == 1;
        saved = std::fclose(out) == 0 && saved;
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

TEST(Locale, IsTheOneThisRunNames) {
    EXPECT_EQ(GetUserDefaultLangID(), expectedLanguage);
    EXPECT_EQ(GetACP(), expectedCodePage);
}

TEST(Dialog, ShowsEveryTextInTheUsersLanguageCentredWithUpdateFocused) {
    Program program;
    ASSERT_NE(program.Dialog(), nullptr);
    for (const ExpectedText& text : kTexts)
        EXPECT_EQ(TextOf(program.Control(text.controlId)), Expected(text)) << text.controlId;
    EXPECT_EQ(TextOf(program.Dialog()), kCaption);
    EXPECT_EQ(program.Focus(), program.Control(kUpdateButtonId));

    RECT outer{};
    RECT work{};
    GetWindowRect(program.Dialog(), &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const ScreenPoint centred = CenterDialog({work.left, work.top, work.right, work.bottom},
                                             outer.right - outer.left, outer.bottom - outer.top);
    EXPECT_EQ(outer.left, centred.x);
    EXPECT_EQ(outer.top, centred.y);

    if (!shotName.empty()) {
        EXPECT_TRUE(SaveScreenshot(program.Dialog(), ARTIFACT_DIR "/dialog-" + shotName + ".bmp"));
    }

    PostMessageW(program.Control(kCancelButtonId), BM_CLICK, 0, 0);
    EXPECT_EQ(program.ExitCode(), 2u);
}

// No USB device and no drive answers under Wine: each command writes the
// open-failure text only. That Update never writes the wait text first is
// shown by its own tests, which record every text (Wine reports no text
// changes to another process); Clear asks no question without a device, so
// the click returns.
TEST(Dialog, UpdateAndClearWithoutADeviceShowTheOpenFailure) {
    for (std::uint16_t button : {kUpdateButtonId, kClearButtonId}) {
        SCOPED_TRACE(button);
        Program program;
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
    for (wchar_t letter : {L'l', L'u'}) {
        SCOPED_TRACE(static_cast<char>(letter));
        Program program;
        ASSERT_NE(program.Dialog(), nullptr);
        PressMnemonic(program, letter);
        // No drive and no USB device answers under Wine: both commands end in
        // the same open-failure text.
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
        Program program;
        ASSERT_NE(program.Dialog(), nullptr);
        ASSERT_NE(program.Focus(), nullptr);
        way.close(program);
        EXPECT_EQ(program.ExitCode(), 2u);
    }
}

TEST(Dialog, CommandLineArgumentsChangeNothing) {
    Program program("/S --clear E: update.bin");
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
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument.rfind("--language=", 0) == 0)
            fwup::test::expectedLanguage = std::stoi(argument.substr(11));
        else if (argument.rfind("--codepage=", 0) == 0)
            fwup::test::expectedCodePage = static_cast<unsigned>(std::stoul(argument.substr(11)));
        else if (argument.rfind("--shot=", 0) == 0)
            fwup::test::shotName = argument.substr(7);
    }
    return RUN_ALL_TESTS();
}
