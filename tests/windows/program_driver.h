#pragma once

// Drives a real program from outside, as a user would: starts it, finds its
// dialog and the boxes it owns, reads their texts and takes screenshots.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace fwup::test {

constexpr DWORD kPatienceMs = 10000;

// The test program's own options, --name=value, past those GoogleTest took.
class Options {
public:
    Options(int argc, char** argv) : arguments_(argv + 1, argv + argc) {}
    std::optional<std::string> Value(const std::string& name) const {
        const std::string start = "--" + name + "=";
        for (const std::string& argument : arguments_)
            if (argument.rfind(start, 0) == 0) return argument.substr(start.size());
        return std::nullopt;
    }
    std::string Text(const std::string& name) const { return Value(name).value_or(""); }
    unsigned long Number(const std::string& name) const {
        return std::stoul(Value(name).value_or("0"));
    }

private:
    std::vector<std::string> arguments_;
};

inline std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// The text the system keeps for a window, read without a message to its
// thread: it answers even while the program is busy in a command.
inline std::wstring StoredTextOf(HWND window) {
    wchar_t text[512] = {};
    InternalGetWindowText(window, text, 512);
    return text;
}

// The texts a window shows, from `from` (what it showed before the action
// that changes it) until one of `finals`, or until the patience runs out.
// Read without a message to the window's thread, which may be busy.
inline std::vector<std::wstring> WatchText(HWND window, std::wstring from,
                                           const std::vector<std::wstring>& finals,
                                           DWORD patienceMs = 30000) {
    std::vector<std::wstring> seen;
    std::wstring last = std::move(from);
    for (DWORD waited = 0; waited < patienceMs; waited += 5) {
        const std::wstring now = StoredTextOf(window);
        if (now != last) seen.push_back(last = now);
        for (const std::wstring& final : finals)
            if (!seen.empty() && seen.back() == final) return seen;
        Sleep(5);
    }
    return seen;
}

struct DialogSearch {
    DWORD processId;
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK VisitForDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (processId != search->processId || std::strcmp(className, "#32770") != 0 ||
        !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != search->owner)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The visible top-level dialog of the process with this owner (none for the
// program's own dialog), if one is up now.
inline HWND VisibleDialogNow(DWORD processId, HWND owner) {
    DialogSearch search{processId, owner, nullptr};
    EnumWindows(VisitForDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The program, started in the test's own prefix and locale.
class Program {
public:
    // showCommand: the show command the program is started with (SW_...),
    // or none: the platform's default.
    explicit Program(const std::string& path, const std::string& arguments = "",
                     std::optional<WORD> showCommand = std::nullopt) {
        std::string commandLine = "\"" + path + "\"";
        if (!arguments.empty()) commandLine += " " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (showCommand) {
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = *showCommand;
        }
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process_) != FALSE;
        if (!started_) return;
        WaitForInputIdle(process_.hProcess, kPatienceMs);
        dialog_ = FindDialog(nullptr);
    }

    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }

    HWND Dialog() const { return dialog_; }
    HANDLE Process() const { return process_.hProcess; }
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }

    // The exit code, or 259 (still running) after the patience runs out.
    DWORD ExitCode() const {
        WaitForSingleObject(process_.hProcess, kPatienceMs);
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // A box the dialog shows and owns (its question), once it is visible.
    HWND OwnedBox() const { return FindDialog(dialog_); }

    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }

private:
    HWND FindDialog(HWND owner) const {
        HWND found = nullptr;
        for (DWORD waited = 0; waited < kPatienceMs && found == nullptr; waited += 20) {
            found = VisibleDialogNow(process_.dwProcessId, owner);
            if (found != nullptr || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0)
                break;  // found, or the program has ended without one
            Sleep(20);
        }
        return found;
    }

    bool started_ = false;
    PROCESS_INFORMATION process_{};
    HWND dialog_ = nullptr;
};

// A window as it is on screen, caption included, as a BMP file.
// A window that is busy in a command cannot repaint on request: it is taken
// as it stands (`repaint` false).
inline bool SaveScreenshot(HWND window, const std::string& path, bool repaint = true) {
    if (repaint)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(repaint ? 300 : 50);
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

}  // namespace fwup::test
