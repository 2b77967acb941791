// The Windows program platform: the console's Ctrl-C, Ctrl-Break and close,
// and the backends over SetupAPI and SCSI pass-through, or the simulation.
#include "app/terminal/program_platform.h"

#include <windows.h>
#include <io.h>

#include <cwchar>

#include "app/terminal/simulated_bench.h"
#include "app/terminal/windows/wide_text.h"
#include "platform/windows/named_mutex_locks.h"
#include "platform/windows/win32_scsi_drives.h"
#include "platform/windows/win32_usb_link.h"

namespace fwup {
namespace {

// What the program is given to finish once its console closes: the
// transfer in flight called back, the device closed. The system ends the
// process when the handler returns, and at the latest after about 5 s.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<bool>* interruptFlag = nullptr;
std::atomic<bool>* drainFlag = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool keyed = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    // The first Ctrl-C lets a bench finish what it has begun; a closing
    // console leaves no time for that.
    if (keyed && drainFlag != nullptr && !drainFlag->exchange(true)) return TRUE;
    if (interruptFlag != nullptr) *interruptFlag = true;
    // A read of the question's answer returns at once, as on Linux.
    CancelIoEx(GetStdHandle(STD_INPUT_HANDLE), nullptr);
    if (keyed) return TRUE;
    // The console closes, the user logs off or the system shuts down: the
    // program ends on its own within the grace, with its status.
    Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

// Ctrl-C, Ctrl-Break and closing the console window all ask the command to
// stop: between two commands, or by calling back a transfer the device
// leaves waiting. A closed pipe never ends the program: writes to it fail.
void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<bool>* draining) {
    interruptFlag = &interrupted;
    drainFlag = draining;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string DefaultRecordPath(const std::string& fileName) {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    const std::string folder = local != nullptr && *local != L'\0' ? Utf8Of(local) : std::string(".");
    return folder + "\\firmware-updater\\" + fileName;
}

bool SyncToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return _wfopen(Utf16Of(path).c_str(), Utf16Of(mode).c_str());
}

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? Utf8Of(name) : std::string();
}

int RunOverBackends(const CommandLine& line, const StationOver& station) {
    if (line.simulate) return RunOverSimulation(line, station);
    Win32UsbLink usb;
    Win32ScsiDrives drives;
    NamedMutexDeviceLocks locks;
    return station(usb, drives, locks, true, {});
}

}  // namespace fwup
