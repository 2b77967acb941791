#pragma once

// The Windows drive backend's portable half: which drive letters are
// searched, the raw volume path of a letter, and the SCSI_PASS_THROUGH_DIRECT
// record, field by field, so that it builds and is checked anywhere.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/scsi_drives.h"

namespace fwup {

// What the search needs to know of a letter. Fixed disks, network drives,
// RAM disks and letters without a volume are all Other.
enum class DriveType { Removable, CdRom, Other };

// The removable and CD-ROM letters from C: to Z:, in order; A: and B: are
// floppy letters and never examined. typeOf is asked once per letter.
std::vector<char> CandidateDriveLetters(const std::function<DriveType(char)>& typeOf);

// "E:" for a person; \\.\E: for the raw volume.
std::string DriveName(char letter);
std::string RawVolumePath(char letter);

inline constexpr std::uint8_t kScsiIoctlDataIn = 1;           // SCSI_IOCTL_DATA_IN
inline constexpr std::uint8_t kScsiIoctlDataUnspecified = 2;  // SCSI_IOCTL_DATA_UNSPECIFIED
inline constexpr std::uint32_t kPassThroughCdbFieldSize = 16;
// The size of the platform's record, which the record carries in Length: 44
// bytes in the 32-bit program, 56 where pointers are 8 bytes. The Windows
// backend checks it against the real record.
inline constexpr std::uint16_t kScsiPassThroughDirectLength = sizeof(void*) == 4 ? 44 : 56;

// The platform's SCSI_PASS_THROUGH_DIRECT record; the field names are the
// platform's.
struct ScsiPassThroughDirect {
    std::uint16_t Length;
    std::uint8_t ScsiStatus;
    std::uint8_t PathId;
    std::uint8_t TargetId;
    std::uint8_t Lun;
    std::uint8_t CdbLength;
    std::uint8_t SenseInfoLength;
    std::uint8_t DataIn;
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;
    void* DataBuffer;
    std::uint32_t SenseInfoOffset;
    std::uint8_t Cdb[kPassThroughCdbFieldSize];
};
static_assert(sizeof(ScsiPassThroughDirect) == kScsiPassThroughDirectLength);

// The record for one command: cleared, then the fixed fields (the device as
// target 1), the CDB, the data-in buffer, the time limit, and room for
// kSenseBytes of sense data right after the record in the same request.
ScsiPassThroughDirect BuildPassThroughRecord(const ScsiCommand& command);

// What the platform wrote back, as the seam reports it: the count moved,
// never more than was asked, and the sense data (the bytes after the record)
// where the device did not answer GOOD.
ScsiResult PassThroughResult(bool carriedOut, const ScsiPassThroughDirect& record,
                             std::uint32_t asked, const std::uint8_t* sense = nullptr);

}  // namespace fwup
