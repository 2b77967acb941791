#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/usb_link.h"

namespace fwup {

// The device in vendor mode, opened for one Update command: both pipes, on
// the link they live on. lastStatus keeps how the last transfer that did not
// complete ended, for the command's outcome.
struct VendorUsbDevice {
    UsbLink* link = nullptr;
    PlatformHandle handle = kInvalidHandleValue;
    LinkStatus lastStatus = LinkStatus::Ok;
};

// What the search for the device in vendor mode found.
struct VendorUsbSearch {
    std::optional<VendorUsbDevice> device;  // open, or nothing
    LinkStatus status = LinkStatus::NotFound;  // Ok when open; otherwise why not
    std::string deviceId;  // the device chosen, when there was one
};

// Opens the given device, or the first one of the model the link lists when
// none is given. Both pipes come from that one search, so a device that
// appears in between cannot split them.
VendorUsbSearch OpenVendorUsbDevice(UsbLink& link, const UsbDeviceInfo* which = nullptr);

// Closes both pipes and empties the device; does nothing when it is empty.
void CloseVendorUsbDevice(std::optional<VendorUsbDevice>& device);

// A transfer with a time limit on the reply pipe (read) or the command pipe
// (write). True only when it completed; *transferred, when given, gets the
// count the link reported.
bool ReadPipe(VendorUsbDevice& device, std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* transferred, std::uint32_t timeoutMs);
bool WritePipe(VendorUsbDevice& device, const std::uint8_t* buffer, std::uint32_t count,
               std::uint32_t timeoutMs);

}  // namespace fwup
