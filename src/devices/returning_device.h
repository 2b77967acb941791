#pragma once

#include <string>
#include <vector>

#include "devices/attached_devices.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// Whether the device behind a volume can be told apart once it comes back in
// vendor mode: the system knows its USB port or its serial number.
bool ReturnCanBeRecognized(const VolumeCandidate& cleared);

// Which of the listed vendor-mode devices is the device behind the cleared
// volume: the one on its port, else the one with its serial number; none
// where neither ties one to it. Never "the one that is new": with several
// devices cleared at once, two waits would take the same newcomer.
const UsbDeviceInfo* FindReturnedDevice(const VolumeCandidate& cleared,
                                        const std::vector<UsbDeviceInfo>& listed);

// The key a device is locked by, the same in both its modes: "port:" and its
// port where known, else "serial:" and its serial number, else what names it
// on this system alone (its volume or interface path).
std::string DeviceLockKey(const AttachedDevice& device);

}  // namespace fwup
