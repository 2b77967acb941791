#include "download/vendor_usb_device.h"

#include <vector>

namespace fwup {

VendorUsbSearch OpenVendorUsbDevice(UsbLink& link, const UsbDeviceInfo* which) {
    VendorUsbSearch search;
    UsbDeviceInfo chosen;
    if (which != nullptr) {
        chosen = *which;
    } else {
        LinkStatus listed = LinkStatus::Ok;
        const std::vector<UsbDeviceInfo> found = link.FindDevices(&listed);
        if (found.empty()) {
            search.status = listed == LinkStatus::Unavailable ? listed : LinkStatus::NotFound;
            return search;
        }
        chosen = found.front();  // the first in the platform's order wins
    }
    search.deviceId = chosen.id;
    LinkStatus why = LinkStatus::Failed;
    const PlatformHandle handle = link.Open(chosen, &why);
    if (handle == kInvalidHandleValue) {
        search.status = why == LinkStatus::Ok ? LinkStatus::Failed : why;
        return search;
    }
    search.device = VendorUsbDevice{&link, handle, LinkStatus::Ok};  // allocates nothing
    search.status = LinkStatus::Ok;
    return search;
}

void CloseVendorUsbDevice(std::optional<VendorUsbDevice>& device) {
    if (!device) return;
    device->link->Close(device->handle);
    device.reset();
}

bool ReadPipe(VendorUsbDevice& device, std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* transferred, std::uint32_t timeoutMs) {
    const TransferResult result = device.link->Read(device.handle, buffer, count, timeoutMs);
    if (transferred != nullptr) *transferred = result.bytes;
    if (!result.Completed()) device.lastStatus = result.status;
    return result.Completed();
}

bool WritePipe(VendorUsbDevice& device, const std::uint8_t* buffer, std::uint32_t count,
               std::uint32_t timeoutMs) {
    const TransferResult result = device.link->Write(device.handle, buffer, count, timeoutMs);
    if (!result.Completed()) device.lastStatus = result.status;
    return result.Completed();
}

}  // namespace fwup
