#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace fwup {

// UTF-8 into a character set the system knows by name, characters it lacks
// as "?": the system's own conversion (see console.h).
using TextEncoder = std::string (*)(const std::string& utf8, const std::string& codeset);

// What a person typed, in the named character set, as UTF-8 (see console.h).
using TextDecoder = std::string (*)(const std::string& typed, const std::string& codeset);

// Writes UTF-8 text to a stream that is a console, the console's own way;
// false where the stream is not one, which then takes the encoded bytes.
using ConsoleWriter = bool (*)(std::FILE* stream, const std::string& utf8);

// Where the terminal program writes, in the terminal's own character set:
// results to standard output, the rest (progress, failures, the question,
// traces) to standard error. Under --json standard output holds the JSON
// document alone, and every text goes to standard error. Lines from several
// devices' threads never mix. A stream that is a console the system writes
// its own way (console.h) takes the text from writeConsole.
class TerminalOutput {
public:
    TerminalOutput(std::FILE* out, std::FILE* err, bool json, std::string codeset,
                   TextEncoder encode = nullptr, ConsoleWriter writeConsole = nullptr);

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
    ConsoleWriter writeConsole_;
    std::mutex lock_;
};

}  // namespace fwup
