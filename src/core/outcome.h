#pragma once

#include <cstdint>
#include <string>

#include "core/download_result.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// What a command did, for every front end to turn into its own texts and exit
// status. Commands never return display text.
enum class OutcomeKind {
    Updated,           // every command of the download was accepted
    Erased,            // the device carried out the erase
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
};

// Where a command went wrong, when it did.
enum class CommandStep { None, Search, Open, Begin, Data, End, UserId, Erase };

struct Outcome {
    OutcomeKind kind = OutcomeKind::Failed;
    CommandStep step = CommandStep::None;
    DownloadResult download = DownloadResult::Ok;  // Update: the download's own result
    LinkStatus link = LinkStatus::Ok;              // Update: how the failing transfer ended
    DriveStatus drive = DriveStatus::Ok;           // Clear: how the failing request ended
    std::uint8_t scsiStatus = 0;                   // Clear: the failing command's SCSI status
    SenseData sense;                               // Clear: and the sense data that came with it
    bool versionKnown = false;
    std::uint16_t version = 0;  // Clear: the device's firmware version, when known
    bool userIdKnown = false;
    std::uint32_t userId = 0;   // Clear: the id the device answered, when known
    std::uint64_t bytesAccepted = 0;  // Update: image bytes the device accepted
    std::uint64_t bytesTotal = 0;     // Update: image bytes the download sends
    std::string deviceId;  // the device acted on (or refused to us), as its backend names it
};

inline bool Succeeded(const Outcome& outcome) {
    return outcome.kind == OutcomeKind::Updated || outcome.kind == OutcomeKind::Erased ||
           outcome.kind == OutcomeKind::Listed;
}

// What the program may do to the device it finds. A program that carries the
// stand-in image and speaks to real hardware finds and identifies the device
// but changes nothing.
struct CommandSafety {
    bool imageIsStandIn = false;
};

}  // namespace fwup
