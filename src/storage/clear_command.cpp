#include "storage/clear_command.h"

#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

// How the request ended, as the platform and the device said.
DriveFailure FailureOf(const VendorCommandDetail& detail) {
    return DriveFailure{detail.status, detail.scsiStatus, detail.sense};
}

ClearResult Ended(ClearResult read, OutcomeKind kind, DriveStep step = DriveStep::None) {
    read.kind = kind;
    read.step = step;
    return read;
}

// The policy for a device that was found; the caller closes the drive. The
// version, and the user id where it was read, are in every result.
ClearResult ClearFoundDrive(ScsiDrives& drives, VendorDrive drive, std::uint16_t version,
                            EraseQuestion& question, bool changesNothing, ProgressSink& sink) {
    ClearResult read;
    read.version = version;
    if (changesNothing) return Ended(read, OutcomeKind::CarriesStandIn);
    if (UserIdIsChecked(version)) {
        DriveFailure failure;
        read.userId = ReadUserId(drives, drive, failure, sink);
        if (!read.userId) {
            read.failure = failure;
            return Ended(read, OutcomeKind::UserIdUnreadable, DriveStep::UserId);
        }
        if (*read.userId != kAcceptedUserId)
            return Ended(read, OutcomeKind::RefusedByUserId, DriveStep::UserId);
    }
    // The user is asked only about a device whose user id has passed.
    if (version >= kQuestionFromVersion && !question.ConfirmErase(version))
        return Ended(read, OutcomeKind::Declined);
    if (sink.StopRequested()) return Ended(read, OutcomeKind::Interrupted);
    sink.OnProgress({Step::Erase, 0, 1});
    VendorCommandDetail detail;
    if (EraseFirmware(drives, drive, kClearTimeLimitSeconds, &detail, sink) !=
        VendorCommandResult::Success) {
        read.failure = FailureOf(detail);
        return Ended(read, OutcomeKind::Failed, DriveStep::Erase);
    }
    sink.OnProgress({Step::Erase, 1, 1});
    return Ended(read, OutcomeKind::Erased);
}

}  // namespace

bool UserIdIsChecked(std::uint16_t version) {
    return version > kUserIdCheckedAboveVersion;
}

std::optional<std::uint32_t> ReadUserId(ScsiDrives& drives, VendorDrive drive,
                                        DriveFailure& failure, ProgressSink& sink) {
    std::uint32_t userId = 0;
    VendorCommandDetail detail;
    if (QueryUserID(drives, drive, &userId, kClearTimeLimitSeconds, &detail, sink) !=
        VendorCommandResult::Success) {
        failure = FailureOf(detail);
        return std::nullopt;
    }
    return userId;
}

std::optional<DriveFailure> RefusalFailure(const SearchRefusal& refusal) {
    if (refusal.kind != OutcomeKind::NoPermission) return std::nullopt;
    return DriveFailure{DriveStatus::NoPermission, 0, {}};
}

std::optional<SearchRefusal> UseVendorDrive(ScsiDrives& drives, const VolumeCandidate* which,
                                            const FoundDriveUse& use, ProgressSink& sink) {
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(drives, &version, kClearTimeLimitSeconds, which, sink);
    if (found.handle == kInvalidHandleValue)
        return SearchRefusal{found.permissionDenied ? OutcomeKind::NoPermission : OutcomeKind::NoDevice,
                             found.deniedVolume};
    // Closed on every way out, even one the memory running out takes.
    struct CloseOnExit {
        ScsiDrives& drives;
        VendorDrive drive;
        ~CloseOnExit() { drives.CloseVolume(drive); }
    } closeOnExit{drives, found.handle};
    use(found, version);
    return std::nullopt;
}

ClearResult ClearFirmware(ScsiDrives& drives, EraseQuestion& question, CarriedImage image,
                          Hardware hardware, ProgressSink& sink, const VolumeCandidate* which) {
    const bool changesNothing = ChangesNothing(image, hardware);
    ClearResult result;
    const std::optional<SearchRefusal> refused =
        UseVendorDrive(drives, which, [&](const FoundDrive& found, std::uint16_t version) {
            result = ClearFoundDrive(drives, found.handle, version, question, changesNothing, sink);
            result.deviceId = found.volume.id;
        }, sink);
    if (refused) {
        result = Ended(ClearResult{}, refused->kind, DriveStep::Search);
        result.failure = RefusalFailure(*refused);
        result.deviceId = refused->volumeId;
    }
    return result;
}

}  // namespace fwup
