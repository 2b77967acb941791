#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/terminal/console.h"
#include "app/terminal/embedded_image.h"
#include "app/terminal/front_end.h"

namespace fwup::test {

struct Ran {
    ExitCode code;
    std::string out;
    std::string err;
};

// The terminal the front end runs on.
struct Terminal {
    std::optional<std::string> typed;  // a person at a terminal types this
    bool drawProgress = false;
    Language language = Language::English;
    int columns = 100;
    std::string codeset = "UTF-8";
};

// What a stream written by the front end holds, from its start; the stream
// is closed. (Files rather than memory streams: under umockdev's preload,
// ThreadSanitizer loses track of a closed memory stream.)
inline std::string TakeText(std::FILE* stream) {
    std::string text;
    std::rewind(stream);
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0;)
        text.append(chunk, got);
    std::fclose(stream);
    return text;
}

// Runs the front end as firmware-updater followed by words, and captures what
// it prints. realHardware: the backends stand for real devices.
inline Ran RunFrontEndWith(std::vector<const char*> words, UsbLink& usb, ScsiDrives& drives,
                           const Terminal& terminal = {},
                           FirmwareImage image = EmbeddedFirmwareImage(),
                           bool realHardware = false,
                           const std::atomic<bool>* interrupted = nullptr,
                           DeviceLocks* locks = nullptr) {
    words.insert(words.begin(), "firmware-updater");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::string typed = terminal.typed.value_or("");
    std::FILE* in = typed.empty() ? std::fopen("/dev/null", "r")
                                  : fmemopen(typed.data(), typed.size(), "r");
    FrontEnd frontEnd{ParseCommandLine(static_cast<int>(words.size()), words.data(),
                                       terminal.language),
                      terminal.language, usb, drives, image, realHardware, out, err, in};
    frontEnd.inIsTerminal = terminal.typed.has_value();
    frontEnd.drawProgress = terminal.drawProgress;
    frontEnd.columns = terminal.columns;
    frontEnd.codeset = terminal.codeset;
    frontEnd.encode = EncodeText;
    frontEnd.decodeTyped = DecodeTypedText;
    frontEnd.interrupted = interrupted;
    frontEnd.pollMs = 1;
    frontEnd.locks = locks;
    const ExitCode code = RunFrontEnd(frontEnd);
    std::fclose(in);
    return Ran{code, TakeText(out), TakeText(err)};
}

}  // namespace fwup::test
