#include "storage/vendor_scsi_commands.h"

#include <cstring>

namespace fwup {
namespace {

constexpr char kFirstDriveLetter = 'C';  // A: and B: are floppy letters, never examined
constexpr char kLastDriveLetter = 'Z';

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

bool IsCandidateDrive(DriveType type) {
    return type == DriveType::Removable || type == DriveType::CdRom;
}

// One of the three commands, its reply of N bytes cleared first.
template <std::size_t N>
VendorCommandResult RunVendorCommand(DrivePlatform& platform, VendorDrive drive,
                                     std::uint8_t command, std::array<std::uint8_t, N>& reply,
                                     std::uint32_t timeLimitSeconds) {
    const VendorCdb cdb = BuildVendorCdb(command);
    reply.fill(0);
    return SendVendorCommand(platform, drive, cdb.data(), kVendorCdbLength, reply.data(),
                             static_cast<std::int32_t>(N), timeLimitSeconds);
}

}  // namespace

VendorCdb BuildVendorCdb(std::uint8_t command) {
    VendorCdb cdb{};
    cdb[0] = kVendorOperationCode;
    cdb[1] = command;
    return cdb;
}

ScsiPassThroughDirect BuildPassThroughRecord(const std::uint8_t* cdb, std::int32_t cdbCount,
                                             std::uint8_t* reply, std::int32_t replyLength,
                                             std::uint32_t timeLimitSeconds) {
    ScsiPassThroughDirect record;
    std::memset(&record, 0, sizeof record);
    record.Length = kScsiPassThroughDirectLength;
    record.ScsiStatus = 0;
    record.PathId = 0;
    record.TargetId = kVendorTargetId;
    record.Lun = 0;
    record.CdbLength = kVendorCdbLength;
    record.SenseInfoLength = 0;
    record.DataIn = kScsiIoctlDataIn;
    record.DataTransferLength = TransferLength(reply, replyLength);
    record.TimeOutValue = timeLimitSeconds;
    record.DataBuffer = reply;
    record.SenseInfoOffset = 0;
    for (std::int32_t i = 0; i < cdbCount && i < static_cast<std::int32_t>(kVendorCdbLength); ++i)
        record.Cdb[i] = cdb[i];
    return record;
}

VendorCommandResult SendVendorCommand(DrivePlatform& platform, VendorDrive drive,
                                      const std::uint8_t* cdb, std::int32_t cdbCount,
                                      std::uint8_t* reply, std::int32_t replyLength,
                                      std::uint32_t timeLimitSeconds) {
    if (drive == kInvalidHandleValue) return VendorCommandResult::NoDevice;
    const std::uint32_t transferLength = TransferLength(reply, replyLength);
    if (transferLength > 0) std::memset(reply, 0, transferLength);
    ScsiPassThroughDirect record =
        BuildPassThroughRecord(cdb, cdbCount, reply, replyLength, timeLimitSeconds);
    // The count and status the platform writes back are not looked at: the
    // signature alone decides.
    if (!platform.PassThrough(drive, record)) return VendorCommandResult::Failed;
    return ReplyIsSigned(reply, replyLength) ? VendorCommandResult::Success
                                             : VendorCommandResult::Failed;
}

VendorCommandResult QueryFirmwareVersion(DrivePlatform& platform, VendorDrive drive,
                                         std::uint16_t* version, std::uint32_t timeLimitSeconds) {
    std::array<std::uint8_t, kVersionReplyLength> reply;
    const VendorCommandResult result =
        RunVendorCommand(platform, drive, kVersionQueryCommand, reply, timeLimitSeconds);
    // The device sends its numbers most significant byte first.
    if (result == VendorCommandResult::Success && version != nullptr)
        *version = static_cast<std::uint16_t>(reply[2] << 8 | reply[3]);
    return result;
}

VendorCommandResult QueryUserID(DrivePlatform& platform, VendorDrive drive,
                                std::uint32_t* userId, std::uint32_t timeLimitSeconds) {
    std::array<std::uint8_t, kUserIdReplyLength> reply;
    const VendorCommandResult result =
        RunVendorCommand(platform, drive, kUserIdQueryCommand, reply, timeLimitSeconds);
    // Bytes 2 and 3 of the reply are not part of the id.
    if (result == VendorCommandResult::Success && userId != nullptr)
        *userId = static_cast<std::uint32_t>(reply[4]) << 24 |
                  static_cast<std::uint32_t>(reply[5]) << 16 |
                  static_cast<std::uint32_t>(reply[6]) << 8 | reply[7];
    return result;
}

VendorCommandResult EraseFirmware(DrivePlatform& platform, VendorDrive drive,
                                  std::uint32_t timeLimitSeconds) {
    // Success says only that the reply was signed; bytes 2 and 3 mean nothing.
    std::array<std::uint8_t, kEraseReplyLength> reply;
    return RunVendorCommand(platform, drive, kEraseCommand, reply, timeLimitSeconds);
}

VendorDrive FindVendorDrive(DrivePlatform& platform, std::uint16_t* version,
                            std::uint32_t timeLimitSeconds) {
    for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
        if (!IsCandidateDrive(platform.DriveTypeOf(letter))) continue;
        const VendorDrive drive = platform.OpenVolume(letter);
        if (drive == kInvalidHandleValue) continue;
        // The version query tells the device apart from every other drive.
        if (QueryFirmwareVersion(platform, drive, version, timeLimitSeconds) ==
            VendorCommandResult::Success)
            return drive;
        platform.CloseVolume(drive);
    }
    return kInvalidHandleValue;
}

}  // namespace fwup
