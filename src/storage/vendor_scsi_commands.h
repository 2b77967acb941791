#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/drive_platform.h"

namespace fwup {

// A raw handle on the device's storage volume, opened for one Clear command;
// kInvalidHandleValue stands for no device. Its owner closes it with
// DrivePlatform::CloseVolume.
using VendorDrive = PlatformHandle;

enum class VendorCommandResult : int {
    Success = 0,   // carried out, and the reply begins with the signature
    NoDevice = 1,  // the invalid handle value: nothing was sent
    Failed = 2,    // the request failed, the reply is too short to judge, or unsigned
};

inline constexpr std::uint32_t kVendorCdbLength = 10;
using VendorCdb = std::array<std::uint8_t, kVendorCdbLength>;

inline constexpr std::uint8_t kVendorOperationCode = 0x87;
inline constexpr std::uint8_t kVersionQueryCommand = 0x10;
inline constexpr std::uint8_t kUserIdQueryCommand = 0xAA;
inline constexpr std::uint8_t kEraseCommand = 0xFF;

inline constexpr std::uint8_t kReplySignature0 = 0x55;  // 'U'
inline constexpr std::uint8_t kReplySignature1 = 0x33;  // '3'
inline constexpr std::size_t kVersionReplyLength = 4;
inline constexpr std::size_t kUserIdReplyLength = 8;
inline constexpr std::size_t kEraseReplyLength = 4;

// The device is addressed as target 1, never 0.
inline constexpr std::uint8_t kVendorTargetId = 1;

// 87 <command> followed by eight zero bytes.
VendorCdb BuildVendorCdb(std::uint8_t command);

// Fills the pass-through record for one command: cleared, then the fixed
// fields, and at most the first 10 CDB bytes (CdbLength is 10 whatever the
// count). A negative reply length is sent as a transfer of 0 bytes.
ScsiPassThroughDirect BuildPassThroughRecord(const std::uint8_t* cdb, std::int32_t cdbCount,
                                             std::uint8_t* reply, std::int32_t replyLength,
                                             std::uint32_t timeLimitSeconds);

// One vendor command with a data-in reply. The reply buffer is cleared first,
// so bytes the device does not deliver read as 0; only the signature in the
// first two reply bytes decides, and only when more than 2 bytes were asked.
VendorCommandResult SendVendorCommand(DrivePlatform& platform, VendorDrive drive,
                                      const std::uint8_t* cdb, std::int32_t cdbCount,
                                      std::uint8_t* reply, std::int32_t replyLength,
                                      std::uint32_t timeLimitSeconds);

// The queries store their value only on Success and only when a location is
// given; on any failure the location keeps what it held.
VendorCommandResult QueryFirmwareVersion(DrivePlatform& platform, VendorDrive drive,
                                         std::uint16_t* version, std::uint32_t timeLimitSeconds);
VendorCommandResult QueryUserID(DrivePlatform& platform, VendorDrive drive,
                                std::uint32_t* userId, std::uint32_t timeLimitSeconds);
VendorCommandResult EraseFirmware(DrivePlatform& platform, VendorDrive drive,
                                  std::uint32_t timeLimitSeconds);

// The first removable or CD-ROM volume from C: to Z: that answers the version
// query, open, with its version stored; kInvalidHandleValue, the version
// untouched, when none answers. Other drive types are never opened, at most
// one volume is open at a time, and every volume not returned is closed.
VendorDrive FindVendorDrive(DrivePlatform& platform, std::uint16_t* version,
                            std::uint32_t timeLimitSeconds);

}  // namespace fwup
