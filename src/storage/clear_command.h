#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/carried_image.h"
#include "core/outcome.h"
#include "core/progress.h"
#include "platform/scsi_drives.h"
#include "storage/vendor_scsi_commands.h"

namespace fwup {

// The one question the Clear command asks: may the firmware of a device of
// this version (2.40 or newer) be erased? Each front end asks it its own way.
class EraseQuestion {
public:
    virtual ~EraseQuestion() = default;
    // True only for an explicit Yes.
    virtual bool ConfirmErase(std::uint16_t version) = 0;
};

// What is done with the device once found: its open volume, the version it
// answered.
using FoundDriveUse = std::function<void(const FoundDrive& found, std::uint16_t version)>;

// Why no drive was used: NoDevice, or NoPermission naming the first volume
// refused.
struct SearchRefusal {
    OutcomeKind kind = OutcomeKind::NoDevice;
    std::string volumeId;
};

// Finds the device in storage mode (the given volume, or the first candidate
// that answers), hands it to use, and closes its volume on every path; the
// refusal when none was found. Every command sent is reported to the sink.
std::optional<SearchRefusal> UseVendorDrive(ScsiDrives& drives, const VolumeCandidate* which,
                                            const FoundDriveUse& use,
                                            ProgressSink& sink = NoProgress());

// The request the search's refusal stands for: the volume this user may not
// open, for NoPermission; none for NoDevice.
std::optional<DriveFailure> RefusalFailure(const SearchRefusal& refusal);

// The user id means something only above version 2.37. Its query: the id,
// or nothing, with the request's status, SCSI status and sense in failure.
bool UserIdIsChecked(std::uint16_t version);
std::optional<std::uint32_t> ReadUserId(ScsiDrives& drives, VendorDrive drive,
                                        DriveFailure& failure, ProgressSink& sink = NoProgress());

// Clear: finds the device in storage mode (the given volume, or the first
// candidate that answers), applies the version and user-id policy, asks from
// version 2.40 on, and erases. The volume it found is closed on every path.
// A program that carries the stand-in image and speaks to real hardware
// stops once the device is found, before any question or erase. A stop
// requested before the erase changes nothing.
ClearResult ClearFirmware(ScsiDrives& drives, EraseQuestion& question, CarriedImage image,
                          Hardware hardware, ProgressSink& sink = NoProgress(),
                          const VolumeCandidate* which = nullptr);

}  // namespace fwup
