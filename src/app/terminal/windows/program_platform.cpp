// The Windows program platform: the console's Ctrl-C, Ctrl-Break and close,
// and the backends over SetupAPI and SCSI pass-through, or the simulation.
#include "app/terminal/program_platform.h"

#include <windows.h>

#include "app/terminal/simulated_bench.h"
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

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (interruptFlag != nullptr) *interruptFlag = true;
    // A read of the question's answer returns at once, as on Linux.
    CancelIoEx(GetStdHandle(STD_INPUT_HANDLE), nullptr);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    // The console closes, the user logs off or the system shuts down: the
    // program ends on its own within the grace, with its status.
    Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

// Ctrl-C, Ctrl-Break and closing the console window all ask the command to
// stop: between two commands, or by calling back a transfer the device
// leaves waiting. A closed pipe never ends the program: writes to it fail.
void CatchInterrupts(std::atomic<bool>& interrupted) {
    interruptFlag = &interrupted;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int RunOverBackends(const CommandLine& line, const StationOver& station) {
    if (line.simulate) return RunOverSimulation(line, station);
    Win32UsbLink usb;
    Win32ScsiDrives drives;
    NamedMutexDeviceLocks locks;
    return station(usb, drives, locks, true, {});
}

}  // namespace fwup
