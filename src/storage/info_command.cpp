#include "storage/info_command.h"

#include "storage/clear_command.h"

namespace fwup {

DeviceInfo ReadDeviceInfo(ScsiDrives& drives, const VolumeCandidate* which, ProgressSink& sink) {
    DeviceInfo info;
    const std::optional<SearchRefusal> refused =
        UseVendorDrive(drives, which, [&](const FoundDrive& found, std::uint16_t version) {
            info.kind = OutcomeKind::Listed;
            info.volume = found.volume;
            info.version = version;
            info.userIdChecked = UserIdIsChecked(version);
            if (!info.userIdChecked) return;
            DriveFailure failure;
            info.userId = ReadUserId(drives, found.handle, failure, sink);
            if (info.userId) return;
            info.kind = OutcomeKind::UserIdUnreadable;
            info.step = DriveStep::UserId;
            info.failure = failure;
        }, sink);
    if (refused) {
        info.kind = refused->kind;
        info.step = DriveStep::Search;
        info.failure = RefusalFailure(*refused);
        info.deviceId = refused->volumeId;
    }
    return info;
}

}  // namespace fwup
