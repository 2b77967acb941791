#include "app/terminal/terminal_output.h"

namespace fwup {
namespace {

bool IsUtf8(const std::string& codeset) {
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8" || codeset == "utf-8";
}

}  // namespace

TerminalOutput::TerminalOutput(std::FILE* out, std::FILE* err, bool json, std::string codeset,
                               TextEncoder encode, ConsoleWriter writeConsole)
    : out_(out), err_(err), json_(json), codeset_(std::move(codeset)), encode_(encode),
      writeConsole_(writeConsole) {}

std::string TerminalOutput::Encode(const std::string& utf8) const {
    if (encode_ == nullptr || codeset_.empty() || IsUtf8(codeset_)) return utf8;
    return encode_(utf8, codeset_);
}

void TerminalOutput::Write(std::FILE* to, const std::string& utf8, bool line) {
    std::lock_guard<std::mutex> hold(lock_);
    if (writeConsole_ != nullptr && writeConsole_(to, line ? utf8 + "\n" : utf8)) return;
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
    if (writeConsole_ != nullptr && writeConsole_(out_, document + "\n")) return;
    std::fprintf(out_, "%s\n", document.c_str());
    std::fflush(out_);
}

}  // namespace fwup
