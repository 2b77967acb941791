#include "devices/returning_device.h"

#include "devices/unit_on_port.h"

namespace fwup {
namespace {

constexpr char kPortKey[] = "port:";
constexpr char kSerialKey[] = "serial:";  // also how a vendor-mode ID names a serial

}  // namespace

bool ReturnCanBeRecognized(const VolumeCandidate& cleared) {
    return !cleared.usbPort.empty() || !cleared.usbSerial.empty();
}

const UsbDeviceInfo* FindReturnedDevice(const VolumeCandidate& cleared,
                                        const std::vector<UsbDeviceInfo>& listed) {
    if (!cleared.usbPort.empty())
        for (const UsbDeviceInfo& device : listed)
            if (device.id == cleared.usbPort) return &device;
    if (!cleared.usbSerial.empty())
        for (const UsbDeviceInfo& device : listed)
            if (device.serial == cleared.usbSerial) return &device;
    return nullptr;
}

std::string DeviceLockKey(const AttachedDevice& device) {
    if (device.mode == AttachedMode::Storage) {
        const VolumeCandidate& volume = device.volume;
        if (!volume.usbPort.empty()) return kPortKey + volume.usbPort;
        if (!volume.usbSerial.empty()) return kSerialKey + volume.usbSerial;
        return "volume:" + volume.id;
    }
    const UsbDeviceInfo& usb = device.usb;
    if (!PortOf(usb).empty()) return kPortKey + PortOf(usb);
    if (!usb.serial.empty()) return kSerialKey + usb.serial;
    return "path:" + usb.id;
}

}  // namespace fwup
