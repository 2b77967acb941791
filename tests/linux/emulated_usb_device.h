#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <umockdev.h>

#include "platform/simulation/simulated_device.h"

namespace fwup::test {

// What the emulated device does with one bulk URB.
enum class UrbFault {
    None,
    TimeLimit,  // the URB is held until the host discards it; then `partial` is delivered
    Stall,      // the endpoint stalls (-EPIPE)
    Unplug,     // the device leaves the bus: this and every later request fails with ENODEV
    Busy,       // (claim only) another driver holds the interface
    Withheld,   // the URB is held, a discard too, until the test releases it with `partial`
};

struct UrbPlan {
    UrbFault fault = UrbFault::None;
    std::vector<std::uint8_t> partial;  // TimeLimit: the bytes delivered before the discard
};

// One bulk URB as the device saw it end.
struct UrbRecord {
    std::uint8_t endpoint;
    std::vector<std::uint8_t> bytes;  // written, or delivered
    int status;
};

// A USB device in vendor mode, emulated at the usbdevfs level under
// umockdev-wrapper: libusb finds it in the emulated sysfs and every ioctl on
// its node is answered here. Its vendor firmware is the simulated device:
// each OUT URB is one write to it and each IN URB one read of its reply, so a
// download leaves it holding what it accepted.
class EmulatedUsbDevice {
public:
    // sysname is the kernel's name of the device ("1-2"); devnum its address
    // on bus 1. A plain device answers no URB: it only stands in the list.
    EmulatedUsbDevice(UMockdevTestbed* testbed, const std::string& sysname, int devnum,
                      std::uint16_t vendorId, std::uint16_t productId, bool vendorInterface);
    ~EmulatedUsbDevice();
    EmulatedUsbDevice(const EmulatedUsbDevice&) = delete;
    EmulatedUsbDevice& operator=(const EmulatedUsbDevice&) = delete;

    // The URB with this index (0 = the first bulk URB submitted) misbehaves.
    void Plan(std::uint32_t urbIndex, UrbPlan plan);
    void RefuseClaim() { refuseClaim_ = true; }
    // Completes every withheld URB with its `partial` bytes: the host reaps
    // them on its next turn at handling events.
    void ReleaseWithheld();
    // A sysfs attribute of the device, as the kernel would show it.
    void SetAttribute(const char* name, const std::string& value) {
        umockdev_testbed_set_attribute(testbed_, sysfsPath_.c_str(), name, value.c_str());
    }

    // What the device saw; each call takes the lock the handler runs under.
    std::vector<UrbRecord> Urbs();
    std::uint32_t SubmittedUrbs();
    int ClaimedInterfaces();
    int DiscardedUrbs();
    SimulatedDevice& Firmware() { return firmware_; }  // read after the host is done

private:
    static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
    gboolean HandleIoctl(UMockdevIoctlClient* client);
    void Submit(UMockdevIoctlClient* client);
    void Reap(UMockdevIoctlClient* client);
    void Discard(UMockdevIoctlClient* client);
    void CarryOut(UMockdevIoctlData* urbData, UMockdevIoctlData* buffer, const UrbPlan& plan);

    UMockdevTestbed* testbed_;
    std::string sysfsPath_;
    std::string devnode_;
    UMockdevIoctlBase* handler_ = nullptr;

    std::mutex lock_;
    SimulatedDevice firmware_{DeviceMode::VendorMode};
    PlatformHandle link_ = kInvalidHandleValue;  // on the firmware, for the whole emulation
    std::map<std::uint32_t, UrbPlan> plans_;
    std::uint32_t submitted_ = 0;
    bool unplugged_ = false;
    bool refuseClaim_ = false;
    int claimed_ = 0;
    int discarded_ = 0;
    struct Done {
        UMockdevIoctlData* urb;
        UMockdevIoctlData* buffer;  // kept until the URB is reaped and synced back
    };
    std::vector<Done> reapable_;
    struct Held {
        UMockdevIoctlData* urb;
        UMockdevIoctlData* buffer;
        UrbPlan plan;
    };
    std::vector<Held> held_;  // URBs that wait for the host's discard
    std::vector<UrbRecord> records_;
};

// The descriptors of a device with one interface; with vendorInterface, it
// is a vendor-class interface with bulk OUT 0x01 and bulk IN 0x81.
std::vector<std::uint8_t> UsbDescriptors(std::uint16_t vendorId, std::uint16_t productId,
                                         bool vendorInterface);

}  // namespace fwup::test
