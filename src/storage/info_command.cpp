#include "storage/info_command.h"

#include "storage/clear_command.h"

namespace fwup {

DeviceInfo ReadDeviceInfo(ScsiDrives& drives, const VolumeCandidate* which, ProgressSink& sink) {
    DeviceInfo info;
    info.outcome = UseVendorDrive(drives, which, [&](const FoundDrive& found, std::uint16_t version) {
        Outcome outcome;
        outcome.kind = OutcomeKind::Listed;
        outcome.versionKnown = true;
        outcome.version = version;
        info.volume = found.volume;
        info.userIdChecked = UserIdIsChecked(version);
        if (info.userIdChecked) ReadUserId(drives, found.handle, outcome, sink);
        return outcome;
    }, sink);
    return info;
}

}  // namespace fwup
