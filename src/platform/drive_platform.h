#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_handle.h"

namespace fwup {

// What the drive search needs to know of a letter. Fixed disks, network
// drives, RAM disks and letters without a volume are all Other.
enum class DriveType { Removable, CdRom, Other };

inline constexpr std::uint8_t kScsiIoctlDataIn = 1;  // SCSI_IOCTL_DATA_IN
inline constexpr std::uint32_t kPassThroughCdbFieldSize = 16;
// The size of the platform's pass-through record, which the record carries in
// Length: 44 bytes in the 32-bit program, 56 where pointers are 8 bytes. The
// Windows backend checks it against the real record.
inline constexpr std::uint16_t kScsiPassThroughDirectLength = sizeof(void*) == 4 ? 44 : 56;

// The platform's SCSI_PASS_THROUGH_DIRECT record, field by field, so that the
// portable code fills exactly what the platform sends. The field names are
// the platform's.
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

// The text the platform asks the drive type of: the letter and a colon, "E:".
inline std::string DriveRootText(char letter) {
    return std::string{letter, ':'};
}

// The raw volume path of a letter: \\.\E:
inline std::string RawVolumePath(char letter) {
    return std::string{"\\\\.\\"} + letter + ':';
}

// What the vendor SCSI commands need of the platform: drive letters with their
// type, a raw volume handle per letter, one pass-through request on it, and
// closing it. The Windows build implements it over GetDriveTypeA, CreateFileA
// and DeviceIoControl, the simulated device in memory.
class DrivePlatform {
public:
    virtual ~DrivePlatform() = default;

    // letter is an upper-case drive letter.
    virtual DriveType DriveTypeOf(char letter) = 0;

    // A raw handle on the letter's volume for reading and writing, with
    // synchronous I/O; kInvalidHandleValue when it does not open.
    virtual PlatformHandle OpenVolume(char letter) = 0;

    // Sends the record's CDB and moves up to DataTransferLength bytes into
    // DataBuffer, within TimeOutValue seconds. True when the platform carried
    // out the request (whatever the device's SCSI status); the platform may
    // write ScsiStatus and DataTransferLength back into the record.
    virtual bool PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) = 0;

    virtual void CloseVolume(PlatformHandle volume) = 0;
};

}  // namespace fwup
