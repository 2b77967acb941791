// Drives the real Windows program from outside, as a user would, for the
// tests under a real kernel: Wine in the guest, the program's drives USB
// disks on the guest's bus. Starts the program, presses its buttons in the
// order given, answers the question the program asks (if it asks one),
// waits for the status line's outcome each time, closes the dialog, and
// prints what it saw, one "name: value" line each, for the shell script in
// the guest to check.
//
// usage: fwup-dialog-driver PROGRAM clear [update --serial=S --ready=FILE]
// Before Update the driver waits for FILE (written once the device's pipes
// are served), then makes the device with serial S present as its driver's
// installation would, and removes it after. Prints: dialog (ms until the
// dialog was up), then for each button: press, question (the box's text, or
// "none"), status (every text the status line showed, in order), took (ms
// from the press to the outcome); last exit (the program's exit code).

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog/dialog_logic.h"
#include "program_driver.h"
#include "vendor_device_presence.h"

namespace {

using fwup::test::Program;

// The status line's outcomes: the program is done with the command.
const std::vector<std::wstring> kOutcomes = {
    L"Clear the original firmware successfully",
    L"Clear the original firmware failure",
    L"Get UserID failure",
    L"Open the driver failed",
    L"Update the firmware successfully",
    L"Update the firmware failure",
    L"Test image only: rebuild with the device's own image",
};
constexpr DWORD kPatienceMs = 60000;

void Print(const char* name, const std::wstring& value) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, value.c_str(), -1, text.data(), size, nullptr, nullptr);
    std::printf("%s: %s\n", name, text.c_str());
    std::fflush(stdout);
}

void Print(const char* name, long long value) {
    std::printf("%s: %lld\n", name, value);
    std::fflush(stdout);
}

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

bool IsOutcome(const std::wstring& text) {
    for (const std::wstring& outcome : kOutcomes)
        if (text.rfind(outcome, 0) == 0) return true;
    // The refused user id is composed: "UserID is not error, ID = 0x..."
    return text.rfind(L"UserID is not error", 0) == 0;
}

// A visible dialog of the program's with this owner (none: the program's own
// dialog, the dialog: its question box), if one is up now.
HWND WindowNow(const Program& program, HWND owner) {
    return fwup::test::VisibleDialogNow(GetProcessId(program.Process()), owner);
}

// Presses a button, answers Yes to a question, and waits for the outcome.
bool Press(const Program& program, HWND dialog, std::uint16_t button, const char* name) {
    HWND status = GetDlgItem(dialog, fwup::kStatusLineId);
    std::wstring last = fwup::test::StoredTextOf(status);
    Print("press", std::wstring(name, name + std::strlen(name)));
    const auto pressed = std::chrono::steady_clock::now();
    // Posted: the command blocks the dialog, and a question box is modal.
    PostMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    bool asked = false, done = false;
    while (!done && MsSince(pressed) < kPatienceMs) {
        if (!asked) {
            if (HWND box = WindowNow(program, dialog)) {
                asked = true;
                Print("question", fwup::test::TextOf(GetDlgItem(box, 0xFFFF)));
                PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
            }
        }
        const std::wstring now = fwup::test::StoredTextOf(status);
        if (now != last) {
            Print("status", last = now);
            done = IsOutcome(now);
        }
        Sleep(10);
    }
    if (!asked) Print("question", L"none");
    Print("took", MsSince(pressed));
    return done;
}

bool WaitForFile(const std::string& path) {
    const auto started = std::chrono::steady_clock::now();
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (MsSince(started) > kPatienceMs) return false;
        Sleep(50);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const fwup::test::Options options(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: fwup-dialog-driver PROGRAM clear [update --serial=S --ready=FILE]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    Program program(argv[1]);
    // Under an emulated processor the dialog takes longer than the driver's
    // usual patience to come up.
    HWND dialog = program.Dialog();
    while (dialog == nullptr && program.Process() != nullptr && MsSince(started) < kPatienceMs &&
           WaitForSingleObject(program.Process(), 50) == WAIT_TIMEOUT)
        dialog = WindowNow(program, nullptr);
    if (dialog == nullptr) {
        DWORD code = 0;
        if (program.Process() != nullptr) GetExitCodeProcess(program.Process(), &code);
        std::printf("dialog: none (error %lu, exit %lu)\n", GetLastError(), code);
        return 1;
    }
    Print("dialog", MsSince(started));

    bool done = true;
    for (int at = 2; at < argc && done; ++at) {
        if (std::strcmp(argv[at], "clear") == 0) {
            done = Press(program, dialog, fwup::kClearButtonId, "clear");
        } else if (std::strcmp(argv[at], "update") == 0) {
            // The device, re-plugged in vendor mode, once its pipes are served.
            done = WaitForFile(options.Text("ready")) &&
                   !fwup::test::PlugVendorDevice(options.Text("serial")).empty();
            if (!done) Print("device", L"not present");
            done = done && Press(program, dialog, fwup::kUpdateButtonId, "update");
            fwup::test::UnplugVendorDevices();
        }
    }

    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Print("exit", static_cast<long long>(program.ExitCode()));
    return done ? 0 : 1;
}
