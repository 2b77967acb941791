// The Linux program platform: signals, and the backends over libusb and
// SG_IO, or the simulation.
#include "app/terminal/program_platform.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "app/terminal/simulated_bench.h"
#include "platform/linux/flock_device_locks.h"
#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"

namespace fwup {
namespace {

std::atomic<bool>* interruptFlag = nullptr;
std::atomic<bool>* drainFlag = nullptr;

void OnInterrupt(int) {
    if (drainFlag != nullptr && !drainFlag->exchange(true)) return;
    if (interruptFlag != nullptr) *interruptFlag = true;
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

}  // namespace

// Ctrl-C, a request to end and a hang-up (an ssh session dropping) all ask
// the command to stop: between two commands, or by calling back a transfer
// the device leaves waiting; a read of the question's answer returns at
// once. A closed pipe never kills a flash.
void CatchInterrupts(std::atomic<bool>& interrupted, std::atomic<bool>* draining) {
    interruptFlag = &interrupted;
    drainFlag = draining;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read of the answer ends
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

std::string DefaultRecordPath(const std::string& fileName) {
    const std::string file = "/firmware-updater/" + fileName;
    if (geteuid() == 0) return "/var/lib" + file;
    // The XDG base directories: a relative XDG_STATE_HOME is to be ignored.
    const std::string state = Variable("XDG_STATE_HOME");
    if (!state.empty() && state.front() == '/') return state + file;
    return Variable("HOME") + "/.local/state" + file;
}

bool SyncToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

int RunOverBackends(const CommandLine& line, const StationOver& station) {
    if (line.simulate) return RunOverSimulation(line, station);
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
    FlockDeviceLocks locks;
    return station(usb, drives, locks, true, {});
}

}  // namespace fwup
