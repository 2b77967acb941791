#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace fwup {

// UTF-8 into a character set the system knows by name, characters it lacks
// as "?": the system's own conversion (see console.h).
using TextEncoder = std::string (*)(const std::string& utf8, const std::string& codeset);

// Where the terminal program writes, in the terminal's own character set:
// results to standard output, the rest (progress, failures, the question,
// traces) to standard error. Under --json standard output holds the JSON
// document alone, and every text goes to standard error. Lines from several
// devices' threads never mix.
class TerminalOutput {
public:
    TerminalOutput(std::FILE* out, std::FILE* err, bool json, std::string codeset,
                   TextEncoder encode = nullptr);

    void Result(const std::string& utf8Line);
    void Message(const std::string& utf8Line);
    void Json(const std::string& document);
    // Text without a line end, on standard error: a prompt, a redrawn line.
    void Raw(const std::string& utf8Text);

    // UTF-8 in the terminal's character set; unchanged where that is UTF-8
    // or there is no encoder.
    std::string Encode(const std::string& utf8) const;

private:
    void Write(std::FILE* to, const std::string& utf8, bool line);

    std::FILE* out_;
    std::FILE* err_;
    bool json_;
    std::string codeset_;
    TextEncoder encode_;
    std::mutex lock_;
};

}  // namespace fwup
