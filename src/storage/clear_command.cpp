#include "storage/clear_command.h"

#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

// How the request ended, as the platform and the device said.
void NoteRequest(Outcome& outcome, const VendorCommandDetail& detail) {
    outcome.drive = detail.status;
    outcome.scsiStatus = detail.scsiStatus;
    outcome.sense = detail.sense;
}

Outcome Result(OutcomeKind kind, CommandStep step, std::uint16_t version) {
    Outcome outcome;
    outcome.kind = kind;
    outcome.step = step;
    outcome.versionKnown = true;
    outcome.version = version;
    return outcome;
}

// What was read of the device, with what came of it.
Outcome Ended(Outcome read, OutcomeKind kind, CommandStep step) {
    read.kind = kind;
    read.step = step;
    return read;
}

// The policy for a device that was found; the caller closes the drive. The
// version, and the user id where it was read, are in every outcome.
Outcome ClearFoundDrive(ScsiDrives& drives, VendorDrive drive, std::uint16_t version,
                        EraseQuestion& question, const CommandSafety& safety,
                        ProgressSink& sink) {
    const Outcome found = Result(OutcomeKind::Listed, CommandStep::None, version);
    if (safety.imageIsStandIn) return Ended(found, OutcomeKind::CarriesStandIn, CommandStep::None);
    Outcome read = found;
    if (UserIdIsChecked(version)) {
        if (!ReadUserId(drives, drive, read, sink)) return read;
        if (read.userId != kAcceptedUserId) return Ended(read, OutcomeKind::RefusedByUserId, CommandStep::UserId);
    }
    // The user is asked only about a device whose user id has passed.
    if (version >= kQuestionFromVersion && !question.ConfirmErase(version))
        return Ended(read, OutcomeKind::Declined, CommandStep::None);
    if (sink.StopRequested()) return Ended(read, OutcomeKind::Interrupted, CommandStep::None);
    sink.OnProgress({Step::Erase, 0, 1});
    VendorCommandDetail detail;
    const bool erased = EraseFirmware(drives, drive, kClearTimeLimitSeconds, &detail, sink) ==
                        VendorCommandResult::Success;
    Outcome outcome = Ended(read, erased ? OutcomeKind::Erased : OutcomeKind::Failed,
                            erased ? CommandStep::None : CommandStep::Erase);
    NoteRequest(outcome, detail);
    if (erased) sink.OnProgress({Step::Erase, 1, 1});
    return outcome;
}

}  // namespace

bool UserIdIsChecked(std::uint16_t version) {
    return version > kUserIdCheckedAboveVersion;
}

bool ReadUserId(ScsiDrives& drives, VendorDrive drive, Outcome& outcome, ProgressSink& sink) {
    std::uint32_t userId = 0;
    VendorCommandDetail detail;
    if (QueryUserID(drives, drive, &userId, kClearTimeLimitSeconds, &detail, sink) !=
        VendorCommandResult::Success) {
        outcome.kind = OutcomeKind::UserIdUnreadable;
        outcome.step = CommandStep::UserId;
        NoteRequest(outcome, detail);
        return false;
    }
    outcome.userIdKnown = true;
    outcome.userId = userId;
    return true;
}

Outcome UseVendorDrive(ScsiDrives& drives, const VolumeCandidate* which, const FoundDriveUse& use,
                       ProgressSink& sink) {
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(drives, &version, kClearTimeLimitSeconds, which, sink);
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
    Outcome outcome = use(found, version);
    outcome.deviceId = found.volume.id;
    return outcome;
}

Outcome ClearFirmware(ScsiDrives& drives, EraseQuestion& question, const CommandSafety& safety,
                      ProgressSink& sink, const VolumeCandidate* which) {
    return UseVendorDrive(drives, which, [&](const FoundDrive& found, std::uint16_t version) {
        return ClearFoundDrive(drives, found.handle, version, question, safety, sink);
    }, sink);
}

}  // namespace fwup
