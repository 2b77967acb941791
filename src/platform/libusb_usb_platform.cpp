#include "platform/libusb_usb_platform.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

namespace fwup {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kReplyPipe[] = "PIPE00";    // bulk IN: the device's replies
constexpr char kCommandPipe[] = "PIPE01";  // bulk OUT: the host's commands and data
constexpr int kMaxPortDepth = 7;           // USB allows at most 7 tiers
// libusb ends a transfer at its own time limit. Should its event handling
// fail to, the link cancels the transfer this long after the limit and waits
// at most kAbandonAfter for the cancel to come back.
constexpr auto kCancelGrace = std::chrono::milliseconds(1000);
constexpr auto kAbandonAfter = std::chrono::milliseconds(2000);
constexpr timeval kEventSlice{0, 100 * 1000};

bool IsUsbDeviceClass(const InterfaceClass& c) {
    const InterfaceClass& usb = kGuidDevinterfaceUsbDevice;
    return c.data1 == usb.data1 && c.data2 == usb.data2 && c.data3 == usb.data3 &&
           std::equal(std::begin(c.data4), std::end(c.data4), std::begin(usb.data4));
}

std::string DeviceNodeOf(libusb_device* device) {
    char node[32] = {};
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u",
                  static_cast<unsigned>(libusb_get_bus_number(device)),
                  static_cast<unsigned>(libusb_get_device_address(device)));
    return node;
}

UsbOpenProblem OpenProblemOf(int libusbError) {
    switch (libusbError) {
        case LIBUSB_ERROR_ACCESS: return UsbOpenProblem::AccessDenied;
        case LIBUSB_ERROR_BUSY: return UsbOpenProblem::Busy;
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_NOT_FOUND: return UsbOpenProblem::NotFound;
        default: return UsbOpenProblem::Other;
    }
}

UsbTransferProblem TransferProblemOf(libusb_transfer_status status) {
    switch (status) {
        case LIBUSB_TRANSFER_COMPLETED: return UsbTransferProblem::None;
        case LIBUSB_TRANSFER_TIMED_OUT:
        case LIBUSB_TRANSFER_CANCELLED: return UsbTransferProblem::TimeLimit;
        case LIBUSB_TRANSFER_STALL: return UsbTransferProblem::Stall;
        case LIBUSB_TRANSFER_NO_DEVICE: return UsbTransferProblem::DeviceGone;
        case LIBUSB_TRANSFER_OVERFLOW: return UsbTransferProblem::Overflow;
        default: return UsbTransferProblem::Other;
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
    pair.vendorClass = setting.bInterfaceClass == LIBUSB_CLASS_VENDOR_SPEC;
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

// Handles libusb's events until the transfer has come back. False when it
// never did: the transfer then still belongs to the platform.
bool AwaitTransfer(libusb_context* context, libusb_transfer* transfer, int& completed,
                   std::uint32_t timeoutMs) {
    Clock::time_point cancelAt =
        Clock::now() + std::chrono::milliseconds(timeoutMs) + kCancelGrace;
    Clock::time_point abandonAt = cancelAt + kAbandonAfter;
    bool cancelled = false;
    while (completed == 0) {
        const Clock::time_point now = Clock::now();
        if (cancelled && now >= abandonAt) return false;
        if (!cancelled && now >= cancelAt) {
            libusb_cancel_transfer(transfer);
            cancelled = true;
        }
        timeval slice = kEventSlice;
        const int result = libusb_handle_events_timeout_completed(context, &slice, &completed);
        if (result < 0 && result != LIBUSB_ERROR_INTERRUPTED) {
            if (!cancelled) {
                libusb_cancel_transfer(transfer);
                cancelled = true;
                abandonAt = std::min(abandonAt, now + kAbandonAfter);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}

}  // namespace

std::string LinuxUsbInterfacePath(std::uint16_t vendorId, std::uint16_t productId,
                                  std::uint8_t bus, const std::vector<std::uint8_t>& ports) {
    char head[40] = {};
    std::snprintf(head, sizeof head, "usb#vid_%04x&pid_%04x#%u", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId), static_cast<unsigned>(bus));
    std::string path = head;
    for (std::size_t i = 0; i < ports.size(); ++i)
        path.append(i == 0 ? "-" : ".").append(std::to_string(ports[i]));
    return path;
}

PipePathParts SplitPipePath(std::string_view pipePath) {
    const std::size_t separator = pipePath.rfind('\\');
    if (separator == std::string_view::npos) return {};
    return {std::string(pipePath.substr(0, separator)),
            std::string(pipePath.substr(separator + 1))};
}

struct LibusbUsbPlatform::OpenDevice {
    libusb_device_handle* handle = nullptr;
    int interfaceNumber = -1;
    std::uint8_t inEndpoint = 0;
    std::uint8_t outEndpoint = 0;
    int users = 0;
    // A transfer that never came back: nothing more is sent on the device.
    bool wedged = false;
    std::string path;
};

struct LibusbUsbPlatform::PresentDevice {
    std::string path;
    std::uint8_t bus;
    std::vector<std::uint8_t> ports;
    libusb_device* device;  // valid while the list it came from is held
};

LibusbUsbPlatform::LibusbUsbPlatform() {
    if (libusb_init(&context_) != 0) context_ = nullptr;
}

LibusbUsbPlatform::~LibusbUsbPlatform() {
    while (!pipes_.empty()) ClosePipe(pipes_.begin()->first);
    if (context_ != nullptr) libusb_exit(context_);
}

// Present devices in a stable order (bus, then port path), whatever order
// libusb found them in. Run fn while the device list is held.
template <typename Fn>
static void ForEachPresentDevice(libusb_context* context, Fn&& fn) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0) return;
    struct Entry {
        std::uint8_t bus;
        std::vector<std::uint8_t> ports;
        libusb_device* device;
        libusb_device_descriptor descriptor;
    };
    std::vector<Entry> entries;
    for (ssize_t i = 0; i < count; ++i) {
        Entry entry{libusb_get_bus_number(list[i]), {}, list[i], {}};
        if (libusb_get_device_descriptor(list[i], &entry.descriptor) != 0) continue;
        std::uint8_t ports[kMaxPortDepth] = {};
        const int depth = libusb_get_port_numbers(list[i], ports, kMaxPortDepth);
        if (depth > 0) entry.ports.assign(ports, ports + depth);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.ports < b.ports;
    });
    for (const Entry& entry : entries) {
        const std::string path = LinuxUsbInterfacePath(
            entry.descriptor.idVendor, entry.descriptor.idProduct, entry.bus, entry.ports);
        if (!fn(path, entry.device)) break;
    }
    libusb_free_device_list(list, 1);
}

bool LibusbUsbPlatform::GetDeviceInterfacePath(const InterfaceClass& interfaceClass,
                                               std::uint32_t memberIndex, char* path,
                                               std::uint32_t capacity) {
    if (context_ == nullptr || !IsUsbDeviceClass(interfaceClass)) return false;
    // Enumerated afresh for every index, as the Windows link does.
    std::string found;
    std::uint32_t index = 0;
    ForEachPresentDevice(context_, [&](const std::string& devicePath, libusb_device*) {
        if (index++ != memberIndex) return true;
        found = devicePath;
        return false;
    });
    if (found.empty() || found.size() + 1 > capacity) return false;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return true;
}

LibusbUsbPlatform::OpenDevice* LibusbUsbPlatform::OpenOrShare(const std::string& devicePath) {
    const auto shared = devices_.find(devicePath);
    if (shared != devices_.end()) {
        ++shared->second->users;
        return shared->second.get();
    }
    auto opened = std::make_unique<OpenDevice>();
    opened->path = devicePath;
    lastOpenProblem_ = UsbOpenProblem::NotFound;
    ForEachPresentDevice(context_, [&](const std::string& path, libusb_device* device) {
        if (path != devicePath) return true;
        lastDeviceNode_ = DeviceNodeOf(device);
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0) {
            lastOpenProblem_ = UsbOpenProblem::NoVendorInterface;
            return false;
        }
        const BulkPair pair = FindVendorInterface(*config);
        libusb_free_config_descriptor(config);
        if (pair.interfaceNumber < 0) {
            lastOpenProblem_ = UsbOpenProblem::NoVendorInterface;
            return false;
        }
        const int openResult = libusb_open(device, &opened->handle);
        if (openResult != 0) {
            opened->handle = nullptr;
            lastOpenProblem_ = OpenProblemOf(openResult);
            return false;
        }
        // A kernel driver bound to the interface is set aside while it is
        // claimed, and given it back on release. Not every system allows it.
        libusb_set_auto_detach_kernel_driver(opened->handle, 1);
        const int claimResult = libusb_claim_interface(opened->handle, pair.interfaceNumber);
        if (claimResult != 0) {
            libusb_close(opened->handle);
            opened->handle = nullptr;
            lastOpenProblem_ = OpenProblemOf(claimResult);
            return false;
        }
        opened->interfaceNumber = pair.interfaceNumber;
        opened->inEndpoint = pair.inEndpoint;
        opened->outEndpoint = pair.outEndpoint;
        opened->users = 1;
        lastOpenProblem_ = UsbOpenProblem::None;
        return false;
    });
    if (opened->handle == nullptr) return nullptr;
    OpenDevice* device = opened.get();
    devices_[devicePath] = std::move(opened);
    return device;
}

void LibusbUsbPlatform::Release(OpenDevice* device) {
    if (--device->users > 0) return;
    libusb_release_interface(device->handle, device->interfaceNumber);
    libusb_close(device->handle);
    devices_.erase(device->path);
}

PlatformHandle LibusbUsbPlatform::OpenPipe(const char* pipePath) {
    lastDeviceNode_.clear();
    if (context_ == nullptr) {
        lastOpenProblem_ = UsbOpenProblem::LibraryUnavailable;
        return kInvalidHandleValue;
    }
    const PipePathParts parts = SplitPipePath(pipePath);
    const bool isIn = parts.pipeName == kReplyPipe;
    if (!isIn && parts.pipeName != kCommandPipe) {
        lastOpenProblem_ = UsbOpenProblem::NotFound;
        return kInvalidHandleValue;
    }
    OpenDevice* device = OpenOrShare(parts.devicePath);
    if (device == nullptr) return kInvalidHandleValue;
    const PlatformHandle handle = nextHandle_++;
    pipes_[handle] = Pipe{device, isIn ? device->inEndpoint : device->outEndpoint, isIn};
    return handle;
}

void LibusbUsbPlatform::ClosePipe(PlatformHandle pipe) {
    const auto found = pipes_.find(pipe);
    if (found == pipes_.end()) return;
    OpenDevice* device = found->second.device;
    pipes_.erase(found);
    Release(device);
}

bool LibusbUsbPlatform::ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer,
                                     std::uint32_t count, std::uint32_t* transferred,
                                     std::uint32_t timeoutMs) {
    return Transfer(pipe, true, buffer, count, transferred, timeoutMs);
}

bool LibusbUsbPlatform::WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                                      std::uint32_t count, std::uint32_t* transferred,
                                      std::uint32_t timeoutMs) {
    // libusb only reads from the buffer of an OUT transfer.
    return Transfer(pipe, false, const_cast<std::uint8_t*>(buffer), count, transferred,
                    timeoutMs);
}

bool LibusbUsbPlatform::Transfer(PlatformHandle pipe, bool isIn, std::uint8_t* buffer,
                                 std::uint32_t count, std::uint32_t* transferred,
                                 std::uint32_t timeoutMs) {
    *transferred = 0;
    lastTransferProblem_ = UsbTransferProblem::Other;
    const auto found = pipes_.find(pipe);
    if (found == pipes_.end() || found->second.isIn != isIn || count > INT_MAX) return false;
    OpenDevice& device = *found->second.device;
    if (device.wedged) return false;

    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr) return false;
    // On the heap: should the transfer never come back, the platform may
    // still mark it done after this call has returned.
    auto completed = std::make_unique<int>(0);
    // libusb reads a time limit of 0 as none at all; this link always gives up.
    const std::uint32_t limit = timeoutMs == 0 ? 1 : timeoutMs;
    libusb_fill_bulk_transfer(transfer, device.handle, found->second.endpoint, buffer,
                              static_cast<int>(count), MarkCompleted, completed.get(), limit);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != 0) {
        libusb_free_transfer(transfer);
        if (submitted == LIBUSB_ERROR_NO_DEVICE)
            lastTransferProblem_ = UsbTransferProblem::DeviceGone;
        return false;
    }
    if (!AwaitTransfer(context_, transfer, *completed, limit)) {
        // The platform may still write the transfer record and its flag: both
        // are left to it, and the device takes no further transfer. The
        // kernel copies a reply only when it is reaped, and closing the
        // device discards the transfer unreaped.
        completed.release();
        device.wedged = true;
        return false;
    }
    *transferred = static_cast<std::uint32_t>(std::max(transfer->actual_length, 0));
    lastTransferProblem_ = TransferProblemOf(transfer->status);
    libusb_free_transfer(transfer);
    return lastTransferProblem_ == UsbTransferProblem::None;
}

}  // namespace fwup
