#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usb_link.h"

struct libusb_context;
struct libusb_device_handle;

namespace fwup {

// A device's port path as sysfs and `lsusb -t` name it: the bus, then the
// port numbers from the root hub down, "1-1.4". A root hub is just "1".
std::string UsbPortPath(std::uint8_t bus, const std::vector<std::uint8_t>& ports);

// The vendor USB link over libusb-1.0. The reply pipe is the bulk IN
// endpoint of the device's vendor interface, the command pipe its bulk OUT
// endpoint; opening claims the interface, closing releases it. A device is
// named by its port path; its serial comes from sysfs, which needs no rights.
// Links may be used from several threads, one transfer at a time on each. A
// transfer moves the bytes through a buffer of the link's own: one left in
// flight after its call returned can never reach the caller's buffer.
class LibusbUsbLink : public UsbLink {
public:
    explicit LibusbUsbLink(std::string sysRoot = "/sys");
    ~LibusbUsbLink() override;
    LibusbUsbLink(const LibusbUsbLink&) = delete;
    LibusbUsbLink& operator=(const LibusbUsbLink&) = delete;

    std::vector<UsbDeviceInfo> FindDevices(LinkStatus* status) override;
    PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) override;
    TransferResult Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t timeoutMs) override;
    TransferResult Write(PlatformHandle link, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t timeoutMs) override;
    void Close(PlatformHandle link) override;
    // With libusb's hot-plug events where the system has them.
    void WaitForArrival(std::uint32_t timeoutMs) override;

    int OpenLinkCount() const;

private:
    struct OpenDevice {
        libusb_device_handle* handle = nullptr;
        int interfaceNumber = -1;
        std::uint8_t inEndpoint = 0;
        std::uint8_t outEndpoint = 0;
        // A transfer that never came back: nothing more is sent on the device.
        bool wedged = false;
    };

    // One transfer's own record: the libusb transfer, the bytes it moves and
    // the flag its callback sets. The link owns it, never the caller: a
    // transfer the platform does not give back may still write it after the
    // call returned, from whichever thread handles libusb's events.
    struct InFlight;

    TransferResult Transfer(PlatformHandle link, bool isIn, std::uint8_t* buffer,
                            std::uint32_t count, std::uint32_t timeoutMs);
    OpenDevice* Find(PlatformHandle link);
    void Abandon(std::unique_ptr<InFlight> transfer);

    std::string sysRoot_;
    libusb_context* context_ = nullptr;
    bool hotplugRegistered_ = false;
    int arrivals_ = 0;  // hot-plug arrivals seen, under lock_
    mutable std::mutex lock_;  // guards links_ and nextHandle_
    std::map<PlatformHandle, std::unique_ptr<OpenDevice>> links_;
    PlatformHandle nextHandle_ = 1;
    // Transfers that never came back, kept until libusb has ended: until then
    // it may still complete them. Under lock_.
    std::vector<std::unique_ptr<InFlight>> abandoned_;
};

}  // namespace fwup
