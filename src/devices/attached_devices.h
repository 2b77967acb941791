#pragma once

#include <cstdint>
#include <functional>
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
    std::string id;          // what the backend names it: a port path, a volume
    UsbDeviceInfo usb;       // vendor mode
    VolumeCandidate volume;  // storage mode
    bool readable = true;    // storage mode: false when this user may not ask it
    bool versionKnown = false;
    std::uint16_t version = 0;
};

struct AttachedDevices {
    std::vector<AttachedDevice> devices;  // vendor mode first, each in its backend's order
    LinkStatus usbStatus = LinkStatus::Ok;
};

// Every attached device of the model. Storage volumes are asked only the
// read-only version query, within kProbeTimeLimitSeconds: a volume that answers it is the device; one that
// may not be asked (for want of rights) is listed as unreadable; any other is
// not the device. Every volume opened is closed again. When asked is given,
// a volume whose id it refuses is left out unasked: a command for one named
// device sends nothing to any other drive (a drive that never answers costs
// the time limit and, on Linux, a reset of its USB port).
AttachedDevices ListAttachedDevices(UsbLink& usb, ScsiDrives& drives, bool vendorMode,
                                    bool storageMode,
                                    const std::function<bool(const std::string& id)>& asked = {});

}  // namespace fwup
