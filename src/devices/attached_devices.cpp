#include "devices/attached_devices.h"

#include "core/device_model.h"
#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

// The volume, probed as the device search probes each candidate but with the
// short limit of a look that changes nothing: false when it is not the device.
bool ProbeVolume(ScsiDrives& drives, const VolumeCandidate& volume, AttachedDevice& device) {
    device.mode = AttachedMode::Storage;
    device.id = volume.id;
    device.volume = volume;
    const FoundDrive found =
        FindVendorDrive(drives, &device.version, kProbeTimeLimitSeconds, &volume);
    device.versionKnown = found.handle != kInvalidHandleValue;
    if (device.versionKnown) drives.CloseVolume(found.handle);
    device.readable = !found.permissionDenied;
    return device.versionKnown || !device.readable;
}

}  // namespace

AttachedDevices ListAttachedDevices(UsbLink& usb, ScsiDrives& drives, bool vendorMode,
                                    bool storageMode,
                                    const std::function<bool(const std::string& id)>& asked) {
    AttachedDevices attached;
    if (vendorMode) {
        for (const UsbDeviceInfo& info : usb.FindDevices(&attached.usbStatus)) {
            AttachedDevice device;
            device.mode = AttachedMode::Vendor;
            device.id = info.id;
            device.usb = info;
            attached.devices.push_back(device);
        }
    }
    if (storageMode) {
        for (const VolumeCandidate& volume : drives.FindCandidateVolumes()) {
            if (asked && !asked(volume.id)) continue;
            AttachedDevice device;
            if (ProbeVolume(drives, volume, device)) attached.devices.push_back(device);
        }
    }
    return attached;
}

}  // namespace fwup
