#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// A device of the model that is attached, in either of its modes, as a
// station lists it before it acts.
enum class AttachedMode { Vendor, Storage };

struct AttachedDevice {
    AttachedMode mode = AttachedMode::Vendor;
    std::string id;          // its USB port path where known (in either mode), else its volume
    UsbDeviceInfo usb;       // vendor mode
    VolumeCandidate volume;  // storage mode
    bool readable = true;    // storage mode: false when this user may not ask it
    bool versionKnown = false;
    std::uint16_t version = 0;
};

struct AttachedDevices {
    std::vector<AttachedDevice> devices;  // in the natural order of their IDs
    LinkStatus usbStatus = LinkStatus::Ok;
    std::size_t volumesAsked = 0;  // the volumes probed, whether or not they are the device
};

// Every attached device of the model. What a person is shown of each (its
// ID, serial and description) is made fit to show (ShowableDeviceText); what
// its backend opens it by stays as the backend gave it. Storage volumes are asked only the
// read-only version query, within kProbeTimeLimitSeconds: a volume that answers it is the device; one that
// may not be asked (for want of rights) is listed as unreadable; any other is
// not the device. Every volume opened is closed again. Given the ID of one
// device, only a volume that ID names is asked: a command for one named device
// sends nothing to any other drive (a drive that never answers costs the time
// limit and, on Linux, a reset of its USB port).
AttachedDevices ListAttachedDevices(UsbLink& usb, ScsiDrives& drives, bool vendorMode,
                                    bool storageMode, const std::string& named = {});

// The device an ID names: its ID as listed, its block device (with or
// without "/dev/") or drive letter ("e", "E:", "E:\\"), or "serial:" and the
// serial number of one in vendor mode.
const AttachedDevice* FindAttachedDevice(const AttachedDevices& attached, const std::string& id);

// IDs in the order a person counts them: digits as numbers, so "sim-2"
// comes before "sim-10" and "1-1.2" before "1-1.10".
bool NaturalIdLess(const std::string& a, const std::string& b);

}  // namespace fwup
