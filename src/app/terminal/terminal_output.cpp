#include "app/terminal/terminal_output.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace fwup {
namespace {

bool IsUtf8(const std::string& codeset) {
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8" || codeset == "utf-8";
}

}  // namespace

TerminalOutput::TerminalOutput(std::FILE* out, std::FILE* err, bool json, std::string codeset)
    : out_(out), err_(err), json_(json), codeset_(std::move(codeset)) {}

std::string TerminalOutput::Encode(const std::string& utf8) const {
    if (codeset_.empty() || IsUtf8(codeset_)) return utf8;
    iconv_t convert = iconv_open(codeset_.c_str(), "UTF-8");
    if (convert == reinterpret_cast<iconv_t>(-1)) return utf8;
    std::string encoded;
    std::vector<char> input(utf8.begin(), utf8.end());
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outAt = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t done = iconv(convert, &in, &inLeft, &outAt, &outLeft);
        encoded.append(buffer, static_cast<std::size_t>(outAt - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character the character set lacks, or a broken sequence: skip it whole.
            encoded.push_back('?');
            ++in, --inLeft;
            while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) ++in, --inLeft;
        }
    }
    iconv_close(convert);
    return encoded;
}

void TerminalOutput::Write(std::FILE* to, const std::string& utf8, bool line) {
    std::lock_guard<std::mutex> hold(lock_);
    const std::string text = Encode(utf8);
    // A closed pipe makes these fail; the program goes on, its outcome decides.
    std::fwrite(text.data(), 1, text.size(), to);
    if (line) std::fputc('\n', to);
    std::fflush(to);
}

void TerminalOutput::Result(const std::string& utf8Line) {
    Write(json_ ? err_ : out_, utf8Line, true);
}

void TerminalOutput::Message(const std::string& utf8Line) {
    Write(err_, utf8Line, true);
}

void TerminalOutput::Raw(const std::string& utf8Text) {
    Write(err_, utf8Text, false);
}

void TerminalOutput::Json(const std::string& document) {
    std::lock_guard<std::mutex> hold(lock_);
    std::fprintf(out_, "%s\n", document.c_str());
    std::fflush(out_);
}

}  // namespace fwup
