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

// Runs the front end as firmware-updater followed by words, and captures what
// it prints. realHardware: the backends stand for real devices.
inline Ran RunFrontEndWith(std::vector<const char*> words, UsbLink& usb, ScsiDrives& drives,
                           const Terminal& terminal = {},
                           FirmwareImage image = EmbeddedFirmwareImage(),
                           bool realHardware = false,
                           const std::atomic<bool>* interrupted = nullptr,
                           DeviceLocks* locks = nullptr) {
    words.insert(words.begin(), "firmware-updater");
    char* outText = nullptr;
    char* errText = nullptr;
    std::size_t outSize = 0, errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
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
    std::fclose(out);
    std::fclose(err);
    std::fclose(in);
    Ran run{code, outText, errText};
    std::free(outText);
    std::free(errText);
    return run;
}

}  // namespace fwup::test
