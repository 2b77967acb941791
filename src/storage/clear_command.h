#pragma once

#include <cstdint>

#include "core/outcome.h"
#include "core/progress.h"
#include "platform/scsi_drives.h"

namespace fwup {

// The one question the Clear command asks: may the firmware of a device of
// this version (2.40 or newer) be erased? Each front end asks it its own way.
class EraseQuestion {
public:
    virtual ~EraseQuestion() = default;
    // True only for an explicit Yes.
    virtual bool ConfirmErase(std::uint16_t version) = 0;
};

// Clear: finds the device in storage mode (the given volume, or the first
// candidate that answers), applies the version and user-id policy, asks from
// version 2.40 on, and erases. The volume it found is closed on every path.
// A program that carries the stand-in image stops once the device is found,
// before any question or erase. A stop requested before the erase changes
// nothing.
Outcome ClearFirmware(ScsiDrives& drives, EraseQuestion& question, const CommandSafety& safety,
                      ProgressSink& sink = NoProgress(), const VolumeCandidate* which = nullptr);

}  // namespace fwup
