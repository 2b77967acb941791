#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/download_result.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// What a command did, in one word, for every front end to turn into its own
// texts and exit status. Commands never return display text; each command's
// result holds the word and what that command alone can add to it.
enum class OutcomeKind {
    Updated,           // every command of the download was accepted
    Erased,            // the device carried out the erase
    ErasedNotUpdated,  // run: erased, and the device did not come back for its update
    Listed,            // the devices were listed (nothing changed)
    NoDevice,          // no device of the model answered
    SeveralDevices,    // more than one device, and none was chosen
    NoPermission,      // a device is there, but this user may not open it or send it commands
    OpenFailed,        // a device is there, but it could not be opened (held by another, gone)
    UserIdUnreadable,  // the user-id query was not carried out or not answered in full
    RefusedByUserId,   // the device's user id does not allow the erase
    Declined,          // the user answered No (or could not be asked)
    CarriesStandIn,    // the program carries the stand-in image: a real device is not changed
    Failed,            // the device did not carry out a command, or a transfer failed
    Interrupted,       // stopped on the user's request, between two commands or in a silent transfer
    Busy,              // another process or thread holds the device's lock: nothing was sent
    Confirmed,         // run --confirm: updated, and back in storage mode at the image's version
    NotConfirmed,      // run --confirm: updated, and not back at the image's version
};

inline bool Succeeded(OutcomeKind kind) {
    return kind == OutcomeKind::Updated || kind == OutcomeKind::Erased ||
           kind == OutcomeKind::Listed || kind == OutcomeKind::Confirmed;
}

// Where a command to the device in storage mode went wrong, when it did.
enum class DriveStep { None, Search, UserId, Erase };

// Where a command to the device in vendor mode went wrong, when it did.
enum class UpdateStep { None, Search, Open, Begin, Data, End };

// How the system carried out the request that went wrong, and, where it was
// a vendor command (the user-id query, the erase), what the device answered.
struct DriveFailure {
    DriveStatus drive = DriveStatus::Failed;
    std::uint8_t scsiStatus = 0;
    SenseData sense;
};

// What Clear did: what the search found, what the device said of its
// version and user id, and the request that went wrong.
struct ClearResult {
    OutcomeKind kind = OutcomeKind::Failed;
    DriveStep step = DriveStep::None;
    std::optional<std::uint16_t> version;  // answered by the device found
    std::optional<std::uint32_t> userId;   // read, where the version has one
    std::optional<DriveFailure> failure;   // the failing request, or the search refused
    std::string deviceId;  // the volume acted on (or refused to us), as its backend names it
};

// What a download that began did: its own result, and the image bytes the
// device accepted of those it sends.
struct DownloadReport {
    DownloadResult result = DownloadResult::Failed;
    std::uint64_t bytesAccepted = 0;
    std::uint64_t bytesTotal = 0;
};

// What Update did: how the open, or the download's last transfer, ended, and
// the download where one began.
struct UpdateResult {
    OutcomeKind kind = OutcomeKind::Failed;
    UpdateStep step = UpdateStep::None;
    LinkStatus link = LinkStatus::Failed;
    std::optional<DownloadReport> download;
    std::string deviceId;  // the device acted on (or refused to us), as its backend names it
};

}  // namespace fwup
