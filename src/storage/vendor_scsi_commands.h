#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/device_model.h"
#include "core/progress.h"
#include "platform/scsi_drives.h"

namespace fwup {

// A raw handle on the device's storage volume, opened for one Clear command;
// kInvalidHandleValue stands for no device. Its owner closes it with
// ScsiDrives::CloseVolume.
using VendorDrive = PlatformHandle;

enum class VendorCommandResult : int {
    Success = 0,   // carried out, and the reply begins with the signature
    NoDevice = 1,  // the invalid handle value: nothing was sent
    Failed = 2,    // the request failed, the reply is too short to judge, or unsigned
};

// What the platform said of the request, beside the result.
struct VendorCommandDetail {
    DriveStatus status = DriveStatus::Failed;
    std::uint32_t bytesMoved = 0;
    std::uint8_t scsiStatus = 0;
    SenseData sense;
};

using VendorCdb = std::array<std::uint8_t, kVendorCdbLength>;

// 87 <command> followed by eight zero bytes.
VendorCdb BuildVendorCdb(std::uint8_t command);

// One vendor command with a data-in reply: at most the first 10 CDB bytes,
// zero-filled to 10. The reply buffer is cleared first, so bytes the device
// does not deliver read as 0. A command the platform did not carry out, or
// that the device answered with a SCSI status other than GOOD, has failed
// (its detail then says Failed, with the status and sense as they came);
// otherwise the signature in the first two reply bytes decides, and only
// when more than 2 bytes were asked. A negative reply
// length asks for no data. Each command sent is reported to the sink.
VendorCommandResult SendVendorCommand(ScsiDrives& drives, VendorDrive drive,
                                      const std::uint8_t* cdb, std::int32_t cdbCount,
                                      std::uint8_t* reply, std::int32_t replyLength,
                                      std::uint32_t timeLimitSeconds,
                                      VendorCommandDetail* detail = nullptr,
                                      ProgressSink& sink = NoProgress());

// The queries store their value only on Success and only when a location is
// given; on any failure the location keeps what it held. A reply the platform
// reports as cut short fails the query: zeros the device never sent are never
// read as a version or an id.
VendorCommandResult QueryFirmwareVersion(ScsiDrives& drives, VendorDrive drive,
                                         std::uint16_t* version, std::uint32_t timeLimitSeconds,
                                         VendorCommandDetail* detail = nullptr,
                                      ProgressSink& sink = NoProgress());
VendorCommandResult QueryUserID(ScsiDrives& drives, VendorDrive drive, std::uint32_t* userId,
                                std::uint32_t timeLimitSeconds,
                                VendorCommandDetail* detail = nullptr,
                                ProgressSink& sink = NoProgress());
// Judged by the reply's signature alone.
VendorCommandResult EraseFirmware(ScsiDrives& drives, VendorDrive drive,
                                  std::uint32_t timeLimitSeconds,
                                  VendorCommandDetail* detail = nullptr,
                                  ProgressSink& sink = NoProgress());

struct FoundDrive {
    VendorDrive handle = kInvalidHandleValue;
    VolumeCandidate volume;
    bool permissionDenied = false;  // some candidate could not be opened or asked, for want of rights
    std::string deniedVolume;       // the first such candidate
};

// The first candidate volume, in the platform's order, that answers the
// version query, open, with its version stored; no handle, the version
// untouched, when none answers. Given a volume, only that one is tried. At
// most one volume is open at a time, and every volume not returned is closed.
FoundDrive FindVendorDrive(ScsiDrives& drives, std::uint16_t* version,
                           std::uint32_t timeLimitSeconds, const VolumeCandidate* only = nullptr,
                           ProgressSink& sink = NoProgress());

}  // namespace fwup
