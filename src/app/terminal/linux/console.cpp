// The Linux console: the locale's character set through nl_langinfo and
// iconv, the terminal's size and whether it takes escape codes.
#include "app/terminal/console.h"

#include <iconv.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fwup {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;

volatile std::sig_atomic_t windowChanged = 0;

void OnWindowChange(int) { windowChanged = 1; }

// The window standard error is shown in, as columns and rows; the defaults
// where it says nothing.
void MeasureTerminal(int& columns, int& rows) {
    winsize size{};
    const bool known = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0;
    columns = known && size.ws_col > 0 ? size.ws_col : kDefaultColumns;
    rows = known && size.ws_row > 0 ? size.ws_row : kDefaultRows;
}

// A change of the window's size is noted; a read of the question's answer
// goes on undisturbed.
void WatchWindow() {
    struct sigaction action {};
    action.sa_handler = OnWindowChange;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

// Escape codes only for a terminal that takes them.
bool DrawsProgress() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) != 0 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

// The terminal's character set: the locale's, or where that locale is not
// installed here, what its name says ("zh_CN.GB18030"); UTF-8 when it says
// nothing.
std::string TerminalCodeset(bool localeInstalled) {
    if (localeInstalled) return nl_langinfo(CODESET);
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        const char* dot = std::strchr(value, '.');
        if (dot == nullptr) break;
        std::string codeset(dot + 1);
        return codeset.substr(0, codeset.find('@'));
    }
    return "UTF-8";
}

}  // namespace

Console DescribeConsole() {
    const bool localeInstalled = std::setlocale(LC_ALL, "") != nullptr;
    Console console;
    console.inIsTerminal = isatty(STDIN_FILENO) != 0;
    console.drawProgress = DrawsProgress();
    MeasureTerminal(console.columns, console.rows);
    if (console.drawProgress) WatchWindow();
    console.codeset = TerminalCodeset(localeInstalled);
    return console;
}

bool ConsoleResized(int& columns, int& rows) {
    if (windowChanged == 0) return false;
    windowChanged = 0;
    MeasureTerminal(columns, rows);
    return true;
}

namespace {

// The text from one character set into another, what does not convert as
// "?"; the text as it is where iconv knows either set by no such name.
std::string Convert(const std::string& text, const char* from, const char* to) {
    iconv_t convert = iconv_open(to, from);
    if (convert == reinterpret_cast<iconv_t>(-1)) return text;
    const bool fromUtf8 = std::strcmp(from, "UTF-8") == 0;
    std::string encoded;
    std::vector<char> input(text.begin(), text.end());
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outAt = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(convert, &in, &inLeft, &outAt, &outLeft);
        encoded.append(buffer, static_cast<std::size_t>(outAt - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character the other set lacks, or a broken sequence: skip
            // it (a UTF-8 one whole).
            encoded.push_back('?');
            ++in, --inLeft;
            while (fromUtf8 && inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80)
                ++in, --inLeft;
        }
    }
    iconv_close(convert);
    return encoded;
}

}  // namespace

std::string EncodeText(const std::string& utf8, const std::string& codeset) {
    return Convert(utf8, "UTF-8", codeset.c_str());
}

std::string DecodeTypedText(const std::string& typed, const std::string& codeset) {
    return Convert(typed, codeset.c_str(), "UTF-8");
}

// A terminal takes the bytes in its character set.
bool WriteToConsole(std::FILE*, const std::string&) {
    return false;
}

}  // namespace fwup
