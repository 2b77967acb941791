#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulated_device.h"
#include "platform/user_interface.h"

namespace fwup::test {

using Cdb = std::vector<std::uint8_t>;

// The ten bytes the device expects for one of its commands, written out.
inline Cdb VendorCdbBytes(std::uint8_t command) {
    return {0x87, command, 0, 0, 0, 0, 0, 0, 0, 0};
}

// A device in storage mode whose volume is a removable drive at letter.
inline SimulatedDevice DeviceInStorageMode(char letter, std::uint16_t version,
                                           std::uint32_t userId = 0xFFFFFFFF) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes[letter] = SimulatedVolume{VolumeKind::Removable, true, true};
    device.firmwareVersion = version;
    device.userId = userId;
    return device;
}

// The dialog as the commands see it: a status line with an earlier text and a
// question box that gives the answer it was told to.
struct RecordingUserInterface : UserInterface {
    std::string status = "earlier text";
    int statusWrites = 0;
    bool answer = true;
    std::vector<std::pair<std::string, std::string>> questions;  // text, caption

    void SetStatusText(const char* text) override {
        status = text;
        ++statusWrites;
    }
    bool AskYesNo(const char* text, const char* caption) override {
        questions.emplace_back(text, caption);
        return answer;
    }
};

}  // namespace fwup::test
