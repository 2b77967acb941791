// Walks through the demonstration program's three steps on a display nobody
// watches: Clear (answering Yes), then Update. Prints each text the program
// shows, in UTF-8, and saves a screenshot of each step as a BMP file.
//
// usage: demo-walkthrough DEMO.EXE SHOT-FOLDER

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "app/dialog/dialog_logic.h"
#include "app/dialog/dialog_texts.h"
#include "program_driver.h"

namespace {

using fwup::test::Program;

void Say(const char* what, const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    std::printf("%-14s %s\n", what, utf8.c_str());
    std::fflush(stdout);
}

void Shoot(HWND window, const std::string& folder, const char* name, bool repaint = true) {
    const std::string path = folder + "\\walkthrough-" + name + ".bmp";
    if (!fwup::test::SaveScreenshot(window, path, repaint)) std::printf("(no screenshot %s)\n", path.c_str());
}

// The status line's next text, once it differs from `last` (which it
// becomes); empty after a minute without a change.
std::wstring NextStatus(HWND status, std::wstring& last) {
    for (DWORD waited = 0; waited < 60000; waited += 5) {
        const std::wstring now = fwup::test::StoredTextOf(status);
        if (now != last) return last = now;
        Sleep(5);
    }
    return {};
}

std::wstring FromGbk(const char* text) {
    wchar_t wide[256] = {};
    MultiByteToWideChar(936, 0, text, -1, wide, 256);
    return wide;
}

bool IsWaitText(const std::wstring& text) {
    return text == FromGbk(fwup::kUpdateWaitText.english) ||
           text == FromGbk(fwup::kUpdateWaitText.chinese);
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 bytes and plain line ends
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo-walkthrough DEMO.EXE SHOT-FOLDER\n");
        return 2;
    }
    const std::string folder = argv[2];
    Program program(argv[1]);
    HWND dialog = program.Dialog();
    if (dialog == nullptr) {
        std::fprintf(stderr, "demo-walkthrough: the demo's dialog did not appear\n");
        return 1;
    }
    HWND status = program.Control(fwup::kStatusLineId);
    Say("caption:", fwup::test::TextOf(dialog));
    Shoot(dialog, folder, "0-start");

    std::printf("-- Step 1: Clear\n");
    std::wstring last = fwup::test::StoredTextOf(status);
    PostMessageW(program.Control(fwup::kClearButtonId), BM_CLICK, 0, 0);
    if (HWND box = program.OwnedBox()) {
        Say("question:", fwup::test::TextOf(GetDlgItem(box, 0xFFFF)));
        Say("its caption:", fwup::test::TextOf(box));
        Shoot(box, folder, "1-clear-question");
        std::printf("answer:        Yes\n");
        PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
    }
    Say("status:", NextStatus(status, last));
    Shoot(dialog, folder, "1-clear-outcome");

    std::printf("-- Step 2: the device is re-plugged and comes up in vendor mode\n");
    std::printf("-- Step 3: Update\n");
    PostMessageW(program.Control(fwup::kUpdateButtonId), BM_CLICK, 0, 0);
    const std::wstring first = NextStatus(status, last);
    Say("status:", first);
    if (IsWaitText(first)) {  // the download runs; its outcome follows
        Shoot(dialog, folder, "3-update-waiting", false);  // busy downloading
        Say("status:", NextStatus(status, last));
    }
    Shoot(dialog, folder, "3-update-outcome");

    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::printf("exit code:     %lu\n", program.ExitCode());
    return 0;
}
