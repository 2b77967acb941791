#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulation/simulated_device.h"
#include "recording_user_interface.h"

namespace fwup::test {

using Cdb = std::vector<std::uint8_t>;

// The ten bytes the device expects for one of its commands, written out.
inline Cdb VendorCdbBytes(std::uint8_t command) {
    return {0x87, command, 0, 0, 0, 0, 0, 0, 0, 0};
}

// A device in storage mode whose volume is the removable volume of that name.
inline SimulatedDevice DeviceInStorageMode(const std::string& volume, std::uint16_t version,
                                           std::uint32_t userId = 0xFFFFFFFF) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes[volume] = SimulatedVolume{VolumeKind::Removable, true, true};
    device.firmwareVersion = version;
    device.userId = userId;
    return device;
}

}  // namespace fwup::test
