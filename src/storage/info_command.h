#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/outcome.h"
#include "core/progress.h"
#include "platform/scsi_drives.h"

namespace fwup {

// What the Info command read of the device in storage mode: Listed with the
// version (and the user id where the version has one), or why not:
// NoDevice, NoPermission (at the search), UserIdUnreadable.
struct DeviceInfo {
    OutcomeKind kind = OutcomeKind::Failed;
    DriveStep step = DriveStep::None;
    VolumeCandidate volume;               // where it was found
    std::optional<std::uint16_t> version;
    bool userIdChecked = false;           // the version is one whose user id means something
    std::optional<std::uint32_t> userId;
    std::optional<DriveFailure> failure;  // the user-id query's, or the search refused
    std::string deviceId;                 // the volume refused to us
};

// Info: finds the device as Clear does and reads what Clear's policy reads,
// changing nothing. The volume it found is closed on every path; each
// command sent is reported to the sink.
DeviceInfo ReadDeviceInfo(ScsiDrives& drives, const VolumeCandidate* which = nullptr,
                          ProgressSink& sink = NoProgress());

}  // namespace fwup
