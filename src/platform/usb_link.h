#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform_handle.h"

namespace fwup {

// How a link operation ended, in the device's terms. Each backend turns its
// operating system's errors into these.
enum class LinkStatus {
    Ok,
    TimedOut,      // the time limit passed before the transfer completed
    Stalled,       // the device refused the transfer
    DeviceGone,    // the device left the bus
    NoPermission,  // the system will not let this user open the device
    Busy,          // another program or driver holds the device
    NotFound,      // no such device, or its pipes are not there
    Unavailable,   // USB cannot be reached on this system at all
    Cancelled,     // the user asked to stop: the transfer was called back unfinished
    Failed,        // anything else
};

// A device of the model in vendor mode, as the backend lists it. id names it
// for a person and for selection (a port path, a hub port); serial is empty
// when the device has none; path is what the backend opens it by, where that
// is not its id (an interface path).
struct UsbDeviceInfo {
    std::string id;
    std::string serial;
    std::string path = {};
};

struct TransferResult {
    LinkStatus status = LinkStatus::Failed;
    std::uint32_t bytes = 0;  // what the platform reports as moved, also on failure
    bool Completed() const { return status == LinkStatus::Ok; }
};

// The vendor USB link: find the model's devices, open one (both pipes), move
// bytes with a time limit on every transfer, close it. Backends: Windows
// (SetupAPI and the driver's pipes), Linux (libusb), the simulation.
//
// Threads (update --all, run --all): every call may run on several threads at
// once, as long as each open link has one owner at a time. FindDevices, Open
// and WaitForArrival may run beside anything; Read, Write and Close on
// different links may run on different threads; one link sees one transfer
// at a time, from its owner, and nothing after its Close. Once a transfer has
// returned, the backend never touches the caller's buffer again, whatever
// became of the transfer. StopWhen is set once, before the threads start.
class UsbLink {
public:
    virtual ~UsbLink() = default;

    // Once *request turns true, a transfer left waiting by its device is
    // called back and ends Cancelled, whatever arrived of it unread; one the
    // device answers ends as it would have. Backends that cannot call a
    // transfer back let it run to its time limit.
    virtual void StopWhen(const std::atomic<bool>* request) { stopRequest_ = request; }

    // The attached devices of the model, in the order the platform lists
    // them. Empty, with Unavailable in *status, where USB cannot be reached.
    virtual std::vector<UsbDeviceInfo> FindDevices(LinkStatus* status) = 0;

    // Both pipes of the device; kInvalidHandleValue, with the reason in *why,
    // when its reply pipe cannot be opened. A command pipe that does not open
    // leaves the link open: every write on it then fails at once.
    virtual PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) = 0;

    // One transfer on the reply pipe (Read) or the command pipe (Write),
    // completed or given up within timeoutMs. A read may complete with fewer
    // bytes than asked; bytes it does not fill keep what they held.
    virtual TransferResult Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                                std::uint32_t timeoutMs) = 0;
    virtual TransferResult Write(PlatformHandle link, const std::uint8_t* buffer,
                                 std::uint32_t count, std::uint32_t timeoutMs) = 0;

    virtual void Close(PlatformHandle link) = 0;

    // Returns when a device of the model may have arrived, at the latest
    // after timeoutMs; the caller lists the devices again. Backends with
    // hot-plug events return early on one; the rest poll.
    virtual void WaitForArrival(std::uint32_t timeoutMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    }

protected:
    bool StopRequested() const { return stopRequest_ != nullptr && stopRequest_->load(); }
    // Whether anyone may ask to stop: a backend then waits in short slices.
    bool StopWatched() const { return stopRequest_ != nullptr; }

private:
    const std::atomic<bool>* stopRequest_ = nullptr;
};

}  // namespace fwup
