#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_platform.h"

struct libusb_context;
struct libusb_device_handle;

namespace fwup {

// The interface path of a USB device as the Linux link lists it:
// "usb#vid_2008&pid_7639#1-1.4" (ids in lower-case hex, then the bus and the
// port path), so that the portable path test finds "vid_2008" and "pid_7639".
// A root hub, which has no port path, is "usb#vid_1d6b&pid_0002#1".
std::string LinuxUsbInterfacePath(std::uint16_t vendorId, std::uint16_t productId,
                                  std::uint8_t bus, const std::vector<std::uint8_t>& ports);

// A pipe path split at its last separator into the device path and the pipe
// name; both empty when there is no separator.
struct PipePathParts {
    std::string devicePath;
    std::string pipeName;
};
PipePathParts SplitPipePath(std::string_view pipePath);

// Why the last OpenPipe gave the invalid handle value, for advice to the user.
enum class UsbOpenProblem {
    None,
    LibraryUnavailable,  // libusb could not be initialised
    NotFound,            // no present device has that path, or the pipe name is unknown
    AccessDenied,        // the device node cannot be opened: root, or the udev rule
    Busy,                // another program or driver holds the vendor interface
    NoVendorInterface,   // no interface with one bulk IN and one bulk OUT endpoint
    Other,
};

// How the last transfer that did not complete ended.
enum class UsbTransferProblem { None, TimeLimit, Stall, DeviceGone, Overflow, Other };

// The vendor USB link over libusb-1.0. "PIPE00" below a device path stands for
// the bulk IN endpoint of the device's vendor interface, "PIPE01" for its bulk
// OUT endpoint; the device is opened and the interface claimed once, shared by
// both pipes, and released and closed with the last of them.
class LibusbUsbPlatform : public UsbPlatform {
public:
    LibusbUsbPlatform();
    ~LibusbUsbPlatform() override;
    LibusbUsbPlatform(const LibusbUsbPlatform&) = delete;
    LibusbUsbPlatform& operator=(const LibusbUsbPlatform&) = delete;

    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

    // False when libusb could not be initialised: no device is ever listed.
    bool Available() const { return context_ != nullptr; }
    UsbOpenProblem LastOpenProblem() const { return lastOpenProblem_; }
    // The device node of the last device an open was tried on
    // ("/dev/bus/usb/001/002"), for messages; empty when none was found.
    const std::string& LastDeviceNode() const { return lastDeviceNode_; }
    UsbTransferProblem LastTransferProblem() const { return lastTransferProblem_; }
    int OpenPipeCount() const { return static_cast<int>(pipes_.size()); }

private:
    struct OpenDevice;
    struct Pipe {
        OpenDevice* device;
        std::uint8_t endpoint;
        bool isIn;
    };
    struct PresentDevice;

    std::vector<PresentDevice> ListPresentDevices() const;
    OpenDevice* OpenOrShare(const std::string& devicePath);
    void Release(OpenDevice* device);
    bool Transfer(PlatformHandle pipe, bool isIn, std::uint8_t* buffer, std::uint32_t count,
                  std::uint32_t* transferred, std::uint32_t timeoutMs);

    libusb_context* context_ = nullptr;
    std::map<std::string, std::unique_ptr<OpenDevice>> devices_;  // by device path
    std::map<PlatformHandle, Pipe> pipes_;
    PlatformHandle nextHandle_ = 1;
    UsbOpenProblem lastOpenProblem_ = UsbOpenProblem::None;
    UsbTransferProblem lastTransferProblem_ = UsbTransferProblem::None;
    std::string lastDeviceNode_;
};

}  // namespace fwup
