#include "devices/attached_devices.h"

#include <algorithm>
#include <string_view>

#include "core/device_model.h"
#include "devices/device_text.h"
#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

// The volume, probed as the device search probes each candidate but with the
// short limit of a look that changes nothing: false when it is not the device.
bool ProbeVolume(ScsiDrives& drives, const VolumeCandidate& volume, AttachedDevice& device) {
    device.mode = AttachedMode::Storage;
    // A bench is wired by port: the device keeps that ID through the re-plug.
    device.id = ShowableDeviceText(volume.usbPort.empty() ? volume.id : volume.usbPort);
    device.volume = volume;
    device.volume.description = ShowableDeviceText(volume.description);
    const FoundDrive found =
        FindVendorDrive(drives, &device.version, kProbeTimeLimitSeconds, &volume);
    device.versionKnown = found.handle != kInvalidHandleValue;
    if (device.versionKnown) drives.CloseVolume(found.handle);
    device.readable = !found.permissionDenied;
    return device.versionKnown || !device.readable;
}

// Whether an ID names a drive letter's volume ("E:") as a person writes it:
// the letter in either case, with or without the colon and the backslash.
bool NamesDriveLetter(const std::string& volumeId, const std::string& id) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (volumeId.size() != 2 || volumeId[1] != ':' || id.empty() || id.size() > 3) return false;
    const std::string rest = id.substr(1);
    return upper(id[0]) == upper(volumeId[0]) && (rest.empty() || rest == ":" || rest == ":\\");
}

// Whether an ID a person gave names the volume: its USB port, or its own
// name with or without "/dev/", or its drive letter. A serial number names a
// vendor-mode device only.
bool VolumeNamedBy(const VolumeCandidate& volume, const std::string& id) {
    if (volume.id.empty()) return false;
    return (!volume.usbPort.empty() && volume.usbPort == id) || volume.id == id ||
           volume.id == "/dev/" + id || NamesDriveLetter(volume.id, id);
}

}  // namespace

AttachedDevices ListAttachedDevices(UsbLink& usb, ScsiDrives& drives, bool vendorMode,
                                    bool storageMode, const std::string& named) {
    AttachedDevices attached;
    if (vendorMode) {
        for (const UsbDeviceInfo& info : usb.FindDevices(&attached.usbStatus)) {
            AttachedDevice device;
            device.mode = AttachedMode::Vendor;
            device.id = ShowableDeviceText(info.id);
            device.usb = info;
            device.usb.serial = ShowableDeviceText(info.serial);
            attached.devices.push_back(device);
        }
    }
    if (storageMode) {
        for (const VolumeCandidate& volume : drives.FindCandidateVolumes()) {
            if (!named.empty() && !VolumeNamedBy(volume, named)) continue;
            ++attached.volumesAsked;
            AttachedDevice device;
            if (ProbeVolume(drives, volume, device)) attached.devices.push_back(device);
        }
    }
    std::stable_sort(attached.devices.begin(), attached.devices.end(),
                     [](const AttachedDevice& a, const AttachedDevice& b) { return NaturalIdLess(a.id, b.id); });
    return attached;
}

const AttachedDevice* FindAttachedDevice(const AttachedDevices& attached, const std::string& id) {
    constexpr char kSerialPrefix[] = "serial:";
    const bool bySerial = id.rfind(kSerialPrefix, 0) == 0;
    const std::string serial = bySerial ? id.substr(sizeof kSerialPrefix - 1) : std::string{};
    for (const AttachedDevice& device : attached.devices) {
        if (bySerial) {
            if (device.mode == AttachedMode::Vendor && !serial.empty() && device.usb.serial == serial)
                return &device;
            continue;
        }
        const bool byVolume =
            device.mode == AttachedMode::Storage && VolumeNamedBy(device.volume, id);
        if (device.id == id || byVolume) return &device;
    }
    return nullptr;
}

bool NaturalIdLess(const std::string& a, const std::string& b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!isDigit(a[i]) || !isDigit(b[j])) {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i, ++j;
            continue;
        }
        const std::size_t numberA = i, numberB = j;
        while (i < a.size() && isDigit(a[i])) ++i;
        while (j < b.size() && isDigit(b[j])) ++j;
        const std::string_view digitsA = std::string_view(a).substr(numberA, i - numberA);
        const std::string_view digitsB = std::string_view(b).substr(numberB, j - numberB);
        // Without leading zeros the longer number is the larger.
        const std::string_view trimmedA = digitsA.substr(std::min(digitsA.find_first_not_of('0'), digitsA.size()));
        const std::string_view trimmedB = digitsB.substr(std::min(digitsB.find_first_not_of('0'), digitsB.size()));
        if (trimmedA.size() != trimmedB.size()) return trimmedA.size() < trimmedB.size();
        if (trimmedA != trimmedB) return trimmedA < trimmedB;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace fwup
