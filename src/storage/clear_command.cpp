#include "storage/clear_command.h"

#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

Outcome Result(OutcomeKind kind, CommandStep step, std::uint16_t version) {
    Outcome outcome;
    outcome.kind = kind;
    outcome.step = step;
    outcome.versionKnown = true;
    outcome.version = version;
    return outcome;
}

// The policy for a device that was found; the caller closes the drive.
Outcome ClearFoundDrive(ScsiDrives& drives, VendorDrive drive, std::uint16_t version,
                        EraseQuestion& question, const CommandSafety& safety,
                        ProgressSink& sink) {
    if (safety.imageIsStandIn) return Result(OutcomeKind::CarriesStandIn, CommandStep::None, version);
    if (version > kUserIdCheckedAboveVersion) {
        std::uint32_t userId = 0;
        VendorCommandDetail detail;
        if (QueryUserID(drives, drive, &userId, kClearTimeLimitSeconds, &detail) !=
            VendorCommandResult::Success) {
            Outcome outcome = Result(OutcomeKind::UserIdUnreadable, CommandStep::UserId, version);
            outcome.drive = detail.status;
            return outcome;
        }
        if (userId != kAcceptedUserId) {
            Outcome outcome = Result(OutcomeKind::RefusedByUserId, CommandStep::UserId, version);
            outcome.userIdKnown = true;
            outcome.userId = userId;
            return outcome;
        }
    }
    // The user is asked only about a device whose user id has passed.
    if (version >= kQuestionFromVersion && !question.ConfirmErase(version))
        return Result(OutcomeKind::Declined, CommandStep::None, version);
    if (sink.StopRequested()) return Result(OutcomeKind::Interrupted, CommandStep::None, version);
    sink.OnProgress({Step::Erase, 0, 1});
    VendorCommandDetail detail;
    const bool erased = EraseFirmware(drives, drive, kClearTimeLimitSeconds, &detail) ==
                        VendorCommandResult::Success;
    Outcome outcome = Result(erased ? OutcomeKind::Erased : OutcomeKind::Failed,
                             erased ? CommandStep::None : CommandStep::Erase, version);
    outcome.drive = detail.status;
    if (erased) sink.OnProgress({Step::Erase, 1, 1});
    return outcome;
}

}  // namespace

Outcome ClearFirmware(ScsiDrives& drives, EraseQuestion& question, const CommandSafety& safety,
                      ProgressSink& sink, const VolumeCandidate* which) {
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(drives, &version, kClearTimeLimitSeconds, which);
    if (found.handle == kInvalidHandleValue) {
        Outcome outcome;
        outcome.kind = found.permissionDenied ? OutcomeKind::NoPermission : OutcomeKind::NoDevice;
        outcome.step = CommandStep::Search;
        outcome.drive = found.permissionDenied ? DriveStatus::NoPermission : DriveStatus::Ok;
        outcome.deviceId = found.deniedVolume;
        return outcome;
    }
    // Closed on every way out, even one the memory running out takes.
    struct CloseOnExit {
        ScsiDrives& drives;
        VendorDrive drive;
        ~CloseOnExit() { drives.CloseVolume(drive); }
    } closeOnExit{drives, found.handle};
    Outcome outcome = ClearFoundDrive(drives, found.handle, version, question, safety, sink);
    outcome.deviceId = found.volume.id;
    return outcome;
}

}  // namespace fwup
