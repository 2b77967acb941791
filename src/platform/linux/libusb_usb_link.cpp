#include "platform/linux/libusb_usb_link.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "core/device_model.h"

namespace fwup {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxPortDepth = 7;           // USB allows at most 7 tiers
// libusb ends a transfer at its own time limit. Should its event handling
// fail to, the link cancels the transfer this long after the limit and waits
// at most kAbandonAfter for the cancel to come back.
constexpr auto kCancelGrace = std::chrono::milliseconds(1000);
constexpr auto kAbandonAfter = std::chrono::milliseconds(2000);
constexpr timeval kEventSlice{0, 100 * 1000};

LinkStatus StatusOfError(int libusbError) {
    switch (libusbError) {
        case LIBUSB_ERROR_ACCESS: return LinkStatus::NoPermission;
        case LIBUSB_ERROR_BUSY: return LinkStatus::Busy;
        case LIBUSB_ERROR_NO_DEVICE: return LinkStatus::DeviceGone;
        case LIBUSB_ERROR_NOT_FOUND: return LinkStatus::NotFound;
        case LIBUSB_ERROR_TIMEOUT: return LinkStatus::TimedOut;
        case LIBUSB_ERROR_PIPE: return LinkStatus::Stalled;
        default: return LinkStatus::Failed;
    }
}

LinkStatus StatusOfTransfer(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED: return LinkStatus::Ok;
        case LIBUSB_TRANSFER_TIMED_OUT:
        case LIBUSB_TRANSFER_CANCELLED: return LinkStatus::TimedOut;
        case LIBUSB_TRANSFER_STALL: return LinkStatus::Stalled;
        case LIBUSB_TRANSFER_NO_DEVICE: return LinkStatus::DeviceGone;
        default: return LinkStatus::Failed;
    }
}

// The bulk endpoints of one interface's first setting.
struct BulkPair {
    int interfaceNumber = -1;
    std::uint8_t inEndpoint = 0;
    std::uint8_t outEndpoint = 0;
    bool vendorClass = false;
};

BulkPair BulkEndpointsOf(const libusb_interface_descriptor& setting) {
    BulkPair pair;
    pair.interfaceNumber = setting.bInterfaceNumber;
    pair.vendorClass = setting.bInterfaceClass == kVendorInterfaceClass;
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
            continue;
        const bool isIn = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) != 0;
        std::uint8_t& slot = isIn ? pair.inEndpoint : pair.outEndpoint;
        if (slot == 0) slot = endpoint.bEndpointAddress;
    }
    return pair;
}

// The vendor interface: the first vendor-class interface with a bulk IN and
// a bulk OUT endpoint, else the first interface of any class that has both.
BulkPair FindVendorInterface(const libusb_config_descriptor& config) {
    BulkPair fallback;
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        if (config.interface[i].num_altsetting < 1) continue;
        const BulkPair pair = BulkEndpointsOf(config.interface[i].altsetting[0]);
        if (pair.inEndpoint == 0 || pair.outEndpoint == 0) continue;
        if (pair.vendorClass) return pair;
        if (fallback.interfaceNumber < 0) fallback = pair;
    }
    return fallback;
}

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) {
    *static_cast<int*>(transfer->user_data) = 1;
}

}  // namespace

struct LibusbUsbLink::InFlight {
    libusb_transfer* transfer = nullptr;
    std::vector<std::uint8_t> bytes;
    int completed = 0;
    ~InFlight() {
        if (transfer != nullptr) libusb_free_transfer(transfer);
    }
};

namespace {

// How the wait for a transfer ended.
enum class Awaited {
    Returned,       // the transfer came back by itself
    CalledBack,     // it came back after a stop request called it back
    NeverReturned,  // it still belongs to the platform
};

// Handles libusb's events until the transfer has come back. A stop request
// calls it back after the first slice of waiting: a transfer the device
// answers at once is never cut short.
Awaited AwaitTransfer(libusb_context* context, libusb_transfer* transfer, int& completed,
                      std::uint32_t timeoutMs, const std::function<bool()>& stopRequested) {
    const Clock::time_point cancelAt =
        Clock::now() + std::chrono::milliseconds(timeoutMs) + kCancelGrace;
    Clock::time_point abandonAt = cancelAt + kAbandonAfter;
    bool cancelled = false;
    bool onRequest = false;
    while (completed == 0) {
        timeval slice = kEventSlice;
        const int result = libusb_handle_events_timeout_completed(context, &slice, &completed);
        const bool failing = result < 0 && result != LIBUSB_ERROR_INTERRUPTED;
        if (completed != 0) break;
        const Clock::time_point now = Clock::now();
        if (cancelled && now >= abandonAt) return Awaited::NeverReturned;
        if (!cancelled && !failing && stopRequested()) onRequest = true;
        if (!cancelled && (failing || onRequest || now >= cancelAt)) {
            libusb_cancel_transfer(transfer);
            cancelled = true;
            abandonAt = std::min(abandonAt, now + kAbandonAfter);
        }
        if (failing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return onRequest ? Awaited::CalledBack : Awaited::Returned;
}

// Present devices of the model in a stable order (bus, then port path),
// whatever order libusb found them in. fn runs while the device list is held.
template <typename Fn>
void ForEachModelDevice(libusb_context* context, Fn&& fn) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) return;
    struct Entry {
        std::string portPath;
        std::uint8_t bus;
        std::vector<std::uint8_t> ports;
        libusb_device* device;
    };
    std::vector<Entry> entries;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        if (descriptor.idVendor != kVendorId || descriptor.idProduct != kProductId) continue;
        std::uint8_t ports[kMaxPortDepth] = {};
        const int depth = libusb_get_port_numbers(list[i], ports, kMaxPortDepth);
        Entry entry{{}, libusb_get_bus_number(list[i]), {}, list[i]};
        if (depth > 0) entry.ports.assign(ports, ports + depth);
        entry.portPath = UsbPortPath(entry.bus, entry.ports);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.ports < b.ports;
    });
    for (const Entry& entry : entries)
        if (!fn(entry.portPath, entry.device)) break;
    libusb_free_device_list(list, 1);
}

std::string ReadSysfsText(const std::string& path) {
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

std::string UsbPortPath(std::uint8_t bus, const std::vector<std::uint8_t>& ports) {
    std::string path = std::to_string(bus);
    for (std::size_t i = 0; i < ports.size(); ++i)
        path.append(i == 0 ? "-" : ".").append(std::to_string(ports[i]));
    return path;
}

LibusbUsbLink::LibusbUsbLink(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {
    if (libusb_init(&context_) != 0) context_ = nullptr;
}

LibusbUsbLink::~LibusbUsbLink() {
    while (true) {
        PlatformHandle link = kInvalidHandleValue;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (links_.empty()) break;
            link = links_.begin()->first;
        }
        Close(link);
    }
    if (context_ != nullptr) libusb_exit(context_);
    abandoned_.clear();  // libusb has ended: nothing completes them any more
}

void LibusbUsbLink::Abandon(std::unique_ptr<InFlight> transfer) {
    std::lock_guard<std::mutex> hold(lock_);
    abandoned_.push_back(std::move(transfer));
}

std::vector<UsbDeviceInfo> LibusbUsbLink::FindDevices(LinkStatus* status) {
    std::vector<UsbDeviceInfo> found;
    if (status != nullptr) *status = context_ == nullptr ? LinkStatus::Unavailable : LinkStatus::Ok;
    if (context_ == nullptr) return found;
    ForEachModelDevice(context_, [&](const std::string& portPath, libusb_device*) {
        found.push_back(
            UsbDeviceInfo{portPath, ReadSysfsText(sysRoot_ + "/bus/usb/devices/" + portPath + "/serial")});
        return true;
    });
    return found;
}

int LibusbUsbLink::OpenLinkCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(links_.size());
}

PlatformHandle LibusbUsbLink::Open(const UsbDeviceInfo& info, LinkStatus* why) {
    LinkStatus status = context_ == nullptr ? LinkStatus::Unavailable : LinkStatus::NotFound;
    auto opened = std::make_unique<OpenDevice>();
    if (context_ != nullptr) {
        ForEachModelDevice(context_, [&](const std::string& portPath, libusb_device* device) {
            if (portPath != info.id) return true;
            libusb_config_descriptor* config = nullptr;
            if (libusb_get_active_config_descriptor(device, &config) != 0) return false;
            const BulkPair pair = FindVendorInterface(*config);
            libusb_free_config_descriptor(config);
            if (pair.interfaceNumber < 0) return false;
            const int openResult = libusb_open(device, &opened->handle);
            if (openResult != 0) {
                opened->handle = nullptr;
                status = StatusOfError(openResult);
                return false;
            }
            // A kernel driver bound to the interface is set aside while it is
            // claimed, and given it back on release. Not every system allows it.
            libusb_set_auto_detach_kernel_driver(opened->handle, 1);
            const int claimResult = libusb_claim_interface(opened->handle, pair.interfaceNumber);
            if (claimResult != 0) {
                libusb_close(opened->handle);
                opened->handle = nullptr;
                status = StatusOfError(claimResult);
                return false;
            }
            opened->interfaceNumber = pair.interfaceNumber;
            opened->inEndpoint = pair.inEndpoint;
            opened->outEndpoint = pair.outEndpoint;
            status = LinkStatus::Ok;
            return false;
        });
    }
    if (why != nullptr) *why = status;
    if (status != LinkStatus::Ok) return kInvalidHandleValue;
    std::lock_guard<std::mutex> hold(lock_);
    const PlatformHandle link = nextHandle_++;
    links_[link] = std::move(opened);
    return link;
}

void LibusbUsbLink::Close(PlatformHandle link) {
    std::unique_ptr<OpenDevice> device;
    {
        std::lock_guard<std::mutex> hold(lock_);
        const auto found = links_.find(link);
        if (found == links_.end()) return;
        device = std::move(found->second);
        links_.erase(found);
    }
    libusb_release_interface(device->handle, device->interfaceNumber);
    libusb_close(device->handle);
}

void LibusbUsbLink::WaitForArrival(std::uint32_t timeoutMs) {
    if (context_ == nullptr || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        UsbLink::WaitForArrival(timeoutMs);
        return;
    }
    int seen = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!hotplugRegistered_) {
            auto arrived = [](libusb_context*, libusb_device*, libusb_hotplug_event,
                              void* self) -> int {
                auto* link = static_cast<LibusbUsbLink*>(self);
                std::lock_guard<std::mutex> hold(link->lock_);
                ++link->arrivals_;
                return 0;  // stay registered
            };
            hotplugRegistered_ =
                libusb_hotplug_register_callback(
                    context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, LIBUSB_HOTPLUG_NO_FLAGS,
                    kVendorId, kProductId, LIBUSB_HOTPLUG_MATCH_ANY, arrived, this,
                    nullptr) == LIBUSB_SUCCESS;
        }
        seen = arrivals_;
    }
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < until && !StopRequested()) {
        timeval slice = kEventSlice;
        libusb_handle_events_timeout_completed(context_, &slice, nullptr);
        std::lock_guard<std::mutex> hold(lock_);
        if (arrivals_ != seen) return;
    }
}

LibusbUsbLink::OpenDevice* LibusbUsbLink::Find(PlatformHandle link) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = links_.find(link);
    return found == links_.end() ? nullptr : found->second.get();
}

TransferResult LibusbUsbLink::Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                                   std::uint32_t timeoutMs) {
    return Transfer(link, true, buffer, count, timeoutMs);
}

TransferResult LibusbUsbLink::Write(PlatformHandle link, const std::uint8_t* buffer,
                                    std::uint32_t count, std::uint32_t timeoutMs) {
    // libusb only reads from the buffer of an OUT transfer.
    return Transfer(link, false, const_cast<std::uint8_t*>(buffer), count, timeoutMs);
}

TransferResult LibusbUsbLink::Transfer(PlatformHandle link, bool isIn, std::uint8_t* buffer,
                                       std::uint32_t count, std::uint32_t timeoutMs) {
    OpenDevice* device = Find(link);
    if (device == nullptr || count > INT_MAX) return {LinkStatus::Failed, 0};
    if (device->wedged) return {LinkStatus::DeviceGone, 0};

    auto inFlight = std::make_unique<InFlight>();
    inFlight->transfer = libusb_alloc_transfer(0);
    if (inFlight->transfer == nullptr) return {LinkStatus::Failed, 0};
    // A read's bytes the device does not fill keep what the caller's held.
    inFlight->bytes.assign(buffer, buffer + count);
    libusb_transfer* transfer = inFlight->transfer;
    // libusb reads a time limit of 0 as none at all; this link always gives up.
    const std::uint32_t limit = timeoutMs == 0 ? 1 : timeoutMs;
    libusb_fill_bulk_transfer(transfer, device->handle,
                              isIn ? device->inEndpoint : device->outEndpoint,
                              inFlight->bytes.data(), static_cast<int>(count), MarkCompleted,
                              &inFlight->completed, limit);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != 0) return {StatusOfError(submitted), 0};
    const Awaited awaited = AwaitTransfer(context_, transfer, inFlight->completed, limit,
                                          [this] { return StopRequested(); });
    if (awaited == Awaited::NeverReturned) {
        // The platform may still complete the transfer into its record, from
        // this thread or another's event handling: the record stays the
        // link's, and the device takes no further transfer.
        Abandon(std::move(inFlight));
        device->wedged = true;
        return {LinkStatus::TimedOut, 0};
    }
    const auto moved = static_cast<std::uint32_t>(std::clamp(transfer->actual_length, 0,
                                                             static_cast<int>(count)));
    if (isIn) std::copy_n(inFlight->bytes.begin(), moved, buffer);
    TransferResult result{StatusOfTransfer(transfer->status), moved};
    // Called back on request: whatever part of a reply arrived is no answer.
    if (awaited == Awaited::CalledBack && transfer->status == LIBUSB_TRANSFER_CANCELLED)
        result = {LinkStatus::Cancelled, 0};
    return result;
}

}  // namespace fwup
