// The Linux program platform: signals, and the backends over libusb and
// SG_IO, or the simulation.
#include "app/terminal/program_platform.h"

#include <signal.h>

#include "app/terminal/simulated_bench.h"
#include "platform/linux/flock_device_locks.h"
#include "platform/linux/libusb_usb_link.h"
#include "platform/linux/sg_io_scsi_drives.h"

namespace fwup {
namespace {

std::atomic<bool>* interruptFlag = nullptr;

void OnInterrupt(int) {
    if (interruptFlag != nullptr) *interruptFlag = true;
}

}  // namespace

// Ctrl-C, a request to end and a hang-up (an ssh session dropping) all ask
// the command to stop: between two commands, or by calling back a transfer
// the device leaves waiting; a read of the question's answer returns at
// once. A closed pipe never kills a flash.
void CatchInterrupts(std::atomic<bool>& interrupted) {
    interruptFlag = &interrupted;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocked read of the answer ends
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int RunOverBackends(const CommandLine& line, const StationOver& station) {
    if (line.simulate) return RunOverSimulation(line, station);
    LibusbUsbLink usb;
    SgIoScsiDrives drives;
    FlockDeviceLocks locks;
    return station(usb, drives, locks, true, {});
}

}  // namespace fwup
