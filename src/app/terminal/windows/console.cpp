// The Windows console: written as UTF-16, whatever its code page, and drawn
// on by its own calls; its size. A file or a pipe gets UTF-8, so that
// --json is always UTF-8.
#include "app/terminal/console.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "app/terminal/console_escapes.h"
#include "app/terminal/windows/wide_text.h"

namespace fwup {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;

bool IsConsole(DWORD stream) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != 0;
}

// The console window's visible columns and rows, as standard error sees them.
void MeasureConsole(int& columns, int& rows) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const bool known = GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0;
    columns = known ? info.srWindow.Right - info.srWindow.Left + 1 : kDefaultColumns;
    rows = known ? info.srWindow.Bottom - info.srWindow.Top + 1 : kDefaultRows;
    if (columns <= 0) columns = kDefaultColumns;
    if (rows <= 0) rows = kDefaultRows;
}

void WriteWide(HANDLE console, const std::string& utf8) {
    const std::wstring wide = Utf16Of(utf8);
    // A console takes a long text in parts.
    for (std::size_t at = 0; at < wide.size();) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
        if (!WriteConsoleW(console, wide.data() + at, part, &written, nullptr) || written == 0)
            return;
        at += written;
    }
}

// What an escape code of the board would do, done by the console's calls.
void Act(HANDLE console, const ConsoleAction& action) {
    if (action.step == ConsoleStep::Text) {
        WriteWide(console, action.text);
        return;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console, &info)) return;
    COORD cursor = info.dwCursorPosition;
    const DWORD restOfLine = static_cast<DWORD>(info.dwSize.X - cursor.X);
    DWORD done = 0;
    switch (action.step) {
    case ConsoleStep::EraseLine:
        FillConsoleOutputCharacterW(console, L' ', restOfLine, cursor, &done);
        break;
    case ConsoleStep::EraseBelow: {
        const int linesBelow = info.srWindow.Bottom > cursor.Y ? info.srWindow.Bottom - cursor.Y : 0;
        FillConsoleOutputCharacterW(console, L' ', restOfLine + static_cast<DWORD>(linesBelow * info.dwSize.X),
                                    cursor, &done);
        break;
    }
    case ConsoleStep::Home:
        SetConsoleCursorPosition(console, COORD{info.srWindow.Left, info.srWindow.Top});
        break;
    case ConsoleStep::Up:
        cursor.Y = static_cast<SHORT>(std::max<int>(info.srWindow.Top, cursor.Y - action.count));
        SetConsoleCursorPosition(console, cursor);
        break;
    case ConsoleStep::Text: break;
    }
}

int knownColumns = kDefaultColumns;
int knownRows = kDefaultRows;

}  // namespace

Console DescribeConsole() {
    Console console;
    console.inIsTerminal = IsConsole(STD_INPUT_HANDLE);
    // The progress is drawn by console calls (WriteToConsole): every
    // console takes them, where escape codes need Windows 10 (and Wine
    // takes the mode for them but not the codes).
    console.drawProgress = IsConsole(STD_ERROR_HANDLE);
    MeasureConsole(console.columns, console.rows);
    knownColumns = console.columns;
    knownRows = console.rows;
    // A console is written as UTF-16 (WriteToConsole), a file or a pipe
    // takes UTF-8: no stream needs another character set.
    console.codeset = "UTF-8";
    return console;
}

// The console sends no signal when its window changes: the board asks.
bool ConsoleResized(int& columns, int& rows) {
    int nowColumns = 0, nowRows = 0;
    MeasureConsole(nowColumns, nowRows);
    if (nowColumns == knownColumns && nowRows == knownRows) return false;
    columns = knownColumns = nowColumns;
    rows = knownRows = nowRows;
    return true;
}

std::string EncodeText(const std::string& utf8, const std::string&) {
    return utf8;
}

// The console hands the answer over in its input code page (936 on a Chinese
// Windows), whatever the output's way.
std::string DecodeTypedText(const std::string& typed, const std::string&) {
    const UINT page = GetConsoleCP();
    if (page == 0 || page == CP_UTF8 || typed.empty()) return typed;
    const int size = static_cast<int>(typed.size());
    const int wideSize = MultiByteToWideChar(page, 0, typed.data(), size, nullptr, 0);
    if (wideSize <= 0) return "?";
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(page, 0, typed.data(), size, wide.data(), wideSize);
    const int utf8Size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(utf8Size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), utf8Size, nullptr, nullptr);
    return utf8;
}

// The console shows the text whatever its code page: Chinese on a console
// whose code page is 936, or 437, alike; the board's escape codes become the
// console's own calls. The stream's own buffer goes first.
bool WriteToConsole(std::FILE* stream, const std::string& utf8) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    std::fflush(stream);
    for (const ConsoleAction& action : ReadConsoleEscapes(utf8)) Act(handle, action);
    return true;
}

}  // namespace fwup
