#pragma once

// Where a device sits, as Windows describes it, turned into the ID a person
// gives the terminal program: apart from the system calls, so that it builds
// and is tested anywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_link.h"
#include "platform/windows/interface_search.h"

namespace fwup {

// GUID_DEVINTERFACE_DISK and GUID_DEVINTERFACE_CDROM: the disks and CD-ROM
// drives a drive letter's volume may sit on.
inline constexpr InterfaceClass kGuidDevinterfaceDisk{
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr InterfaceClass kGuidDevinterfaceCdrom{
    0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// A USB device's location information as the system reports it for the hub
// port it is plugged into ("Port_#0003.Hub_#0002", as Device Manager shows
// it) as an ID: "hub2-port3". It stays the same across a re-plug into the
// same port, and a storage-mode device and the same device back in vendor
// mode share it. Empty for any other form.
std::string UsbLocationId(std::string_view locationInformation);

// The serial number in a USB device's instance ID
// ("USB\VID_2008&PID_7639\5F3A0001"); empty where the system made the last
// part up for a device without one (it then holds "&"), or for an interface
// of a composite device.
std::string SerialOfInstanceId(std::string_view instanceId);

// Whether an instance ID names a USB device itself ("USB\VID_...") rather
// than an interface of one ("...&MI_00") or a device of another bus.
bool IsUsbDeviceInstance(std::string_view instanceId);

// The ID a vendor-mode device is listed by: its location where known, else
// "serial:" and its serial number, else its interface path.
std::string VendorDeviceId(const std::string& locationId, const std::string& serial,
                           const std::string& interfacePath);

// One present USB device interface as one walk over the set read it: its
// path, its device's instance ID and location information (empty where the
// system gave none).
struct PresentInterface {
    std::string path;
    std::string instanceId;
    std::string locationInformation;
};

// The model's devices among the present interfaces, in the system's order:
// each named as VendorDeviceId names it, with its serial where it has one.
// An interface path met twice (in any case) is one device, listed once.
std::vector<UsbDeviceInfo> VendorDevicesAmong(const std::vector<PresentInterface>& present);

// "Vendor Product" from the storage device descriptor the system answers a
// query for the device's property with (what the drive told it when it
// attached; nothing is sent to the drive): its vendor and product strings,
// at the offsets its fields 12 and 16 give, trimmed. Empty where neither is
// there; an offset outside the answer counts as none.
std::string StorageDescription(const std::uint8_t* answer, std::size_t size);

}  // namespace fwup
