#include "storage/vendor_scsi_commands.h"

#include <cstring>
#include <vector>

namespace fwup {
namespace {

constexpr std::uint8_t kScsiStatusGood = 0x00;

// A negative length must never reach the platform as a transfer of 4 GB into
// the caller's buffer.
std::uint32_t TransferLength(const std::uint8_t* reply, std::int32_t replyLength) {
    if (reply == nullptr || replyLength < 0) return 0;
    return static_cast<std::uint32_t>(replyLength);
}

bool ReplyIsSigned(const std::uint8_t* reply, std::int32_t replyLength) {
    return reply != nullptr && replyLength > 2 && reply[0] == kReplySignature0 &&
           reply[1] == kReplySignature1;
}

// One of the three commands, its reply of N bytes cleared first. A query's
// reply counts only when all of it arrived.
template <std::size_t N>
VendorCommandResult RunVendorCommand(ScsiDrives& drives, VendorDrive drive,
                                     std::uint8_t command, std::array<std::uint8_t, N>& reply,
                                     std::uint32_t timeLimitSeconds, bool wholeReplyNeeded,
                                     VendorCommandDetail* detail, ProgressSink& sink) {
    const VendorCdb cdb = BuildVendorCdb(command);
    reply.fill(0);
    VendorCommandDetail said;
    VendorCommandResult result =
        SendVendorCommand(drives, drive, cdb.data(), kVendorCdbLength, reply.data(),
                          static_cast<std::int32_t>(N), timeLimitSeconds, &said, sink);
    if (result == VendorCommandResult::Success && wholeReplyNeeded && said.bytesMoved < N)
        result = VendorCommandResult::Failed;
    if (detail != nullptr) *detail = said;
    return result;
}

void NoteDenied(FoundDrive& found, const VolumeCandidate& candidate) {
    if (!found.permissionDenied) found.deniedVolume = candidate.id;
    found.permissionDenied = true;
}

}  // namespace

VendorCdb BuildVendorCdb(std::uint8_t command) {
    VendorCdb cdb{};
    cdb[0] = kVendorOperationCode;
    cdb[1] = command;
    return cdb;
}

VendorCommandResult SendVendorCommand(ScsiDrives& drives, VendorDrive drive,
                                      const std::uint8_t* cdb, std::int32_t cdbCount,
                                      std::uint8_t* reply, std::int32_t replyLength,
                                      std::uint32_t timeLimitSeconds,
                                      VendorCommandDetail* detail, ProgressSink& sink) {
    if (drive == kInvalidHandleValue) return VendorCommandResult::NoDevice;
    VendorCdb sent{};
    for (std::int32_t i = 0; i < cdbCount && i < static_cast<std::int32_t>(kVendorCdbLength); ++i)
        sent[i] = cdb[i];
    const std::uint32_t transferLength = TransferLength(reply, replyLength);
    if (transferLength > 0) std::memset(reply, 0, transferLength);

    ScsiCommand command;
    command.cdb = sent.data();
    command.cdbLength = kVendorCdbLength;
    command.direction = DataDirection::In;
    command.data = transferLength > 0 ? reply : nullptr;
    command.dataLength = transferLength;
    command.timeLimitSeconds = timeLimitSeconds;
    ScsiResult result = drives.Execute(drive, command);
    result.bytesMoved = result.bytesMoved < transferLength ? result.bytesMoved : transferLength;
    // The device answered, but with a status other than GOOD: it refused the
    // command, whatever its reply holds. An erase it refused is never done.
    const bool refused = result.carriedOut && result.scsiStatus != kScsiStatusGood;
    if (refused) result.status = DriveStatus::Failed;
    sink.OnScsiCommand(ScsiExchange{sent.data(), kVendorCdbLength, result});
    if (detail != nullptr) {
        detail->status = result.status;
        detail->bytesMoved = result.bytesMoved;
        detail->scsiStatus = result.scsiStatus;
        detail->sense = result.sense;
    }
    if (!result.carriedOut || refused) return VendorCommandResult::Failed;
    return ReplyIsSigned(reply, replyLength) ? VendorCommandResult::Success
                                             : VendorCommandResult::Failed;
}

VendorCommandResult QueryFirmwareVersion(ScsiDrives& drives, VendorDrive drive,
                                         std::uint16_t* version, std::uint32_t timeLimitSeconds,
                                         VendorCommandDetail* detail, ProgressSink& sink) {
    std::array<std::uint8_t, kVersionReplyLength> reply;
    const VendorCommandResult result = RunVendorCommand(drives, drive, kVersionQueryCommand,
                                                        reply, timeLimitSeconds, true, detail, sink);
    // The device sends its numbers most significant byte first.
    if (result == VendorCommandResult::Success && version != nullptr)
        *version = static_cast<std::uint16_t>(reply[2] << 8 | reply[3]);
    return result;
}

VendorCommandResult QueryUserID(ScsiDrives& drives, VendorDrive drive, std::uint32_t* userId,
                                std::uint32_t timeLimitSeconds, VendorCommandDetail* detail,
                                ProgressSink& sink) {
    std::array<std::uint8_t, kUserIdReplyLength> reply;
    const VendorCommandResult result = RunVendorCommand(drives, drive, kUserIdQueryCommand,
                                                        reply, timeLimitSeconds, true, detail, sink);
    // Bytes 2 and 3 of the reply are not part of the id.
    if (result == VendorCommandResult::Success && userId != nullptr)
        *userId = static_cast<std::uint32_t>(reply[4]) << 24 |
                  static_cast<std::uint32_t>(reply[5]) << 16 |
                  static_cast<std::uint32_t>(reply[6]) << 8 | reply[7];
    return result;
}

VendorCommandResult EraseFirmware(ScsiDrives& drives, VendorDrive drive,
                                  std::uint32_t timeLimitSeconds, VendorCommandDetail* detail,
                                ProgressSink& sink) {
    // Success says only that the reply was signed; bytes 2 and 3 mean nothing.
    std::array<std::uint8_t, kEraseReplyLength> reply;
    return RunVendorCommand(drives, drive, kEraseCommand, reply, timeLimitSeconds, false, detail,
                            sink);
}

FoundDrive FindVendorDrive(ScsiDrives& drives, std::uint16_t* version,
                           std::uint32_t timeLimitSeconds, const VolumeCandidate* only,
                           ProgressSink& sink) {
    FoundDrive found;
    const std::vector<VolumeCandidate> candidates =
        only != nullptr ? std::vector<VolumeCandidate>{*only} : drives.FindCandidateVolumes();
    for (const VolumeCandidate& candidate : candidates) {
        DriveStatus why = DriveStatus::Failed;
        const VendorDrive drive = drives.OpenVolume(candidate, &why);
        if (drive == kInvalidHandleValue) {
            if (why == DriveStatus::NoPermission) NoteDenied(found, candidate);
            continue;
        }
        // The version query tells the device apart from every other drive. No
        // volume stays open, whatever ends the search.
        try {
            VendorCommandDetail detail;
            if (QueryFirmwareVersion(drives, drive, version, timeLimitSeconds, &detail, sink) ==
                VendorCommandResult::Success) {
                found.handle = drive;
                found.volume = candidate;
                return found;
            }
            if (detail.status == DriveStatus::NoPermission) NoteDenied(found, candidate);
        } catch (...) {
            drives.CloseVolume(drive);
            throw;
        }
        drives.CloseVolume(drive);
    }
    return found;
}

}  // namespace fwup
