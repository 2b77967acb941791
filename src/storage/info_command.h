#pragma once

#include "core/outcome.h"
#include "core/progress.h"
#include "platform/scsi_drives.h"

namespace fwup {

// What the Info command read of the device in storage mode. The outcome is
// Listed with the version (and the user id where the version has one), or
// says why not: NoDevice, NoPermission, UserIdUnreadable.
struct DeviceInfo {
    Outcome outcome;
    VolumeCandidate volume;       // where it was found
    bool userIdChecked = false;   // the version is one whose user id means something
};

// Info: finds the device as Clear does and reads what Clear's policy reads,
// changing nothing. The volume it found is closed on every path; each
// command sent is reported to the sink.
DeviceInfo ReadDeviceInfo(ScsiDrives& drives, const VolumeCandidate* which = nullptr,
                          ProgressSink& sink = NoProgress());

}  // namespace fwup
