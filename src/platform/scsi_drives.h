#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_handle.h"

namespace fwup {

// A volume that may be the device in storage mode: a CD-ROM or removable
// drive, in the platform's own order. id names it for a person and for
// selection (a drive, a block device); description adds what the platform
// knows of it without sending a command (vendor and model), or is empty. A
// device keeps its USB port and serial number when it comes back in vendor
// mode, so usbPort, else usbSerial, ties the two modes of one device together.
struct VolumeCandidate {
    std::string id;
    std::string description;
    std::string usbPort;         // the USB port path of the device behind it, when known
    std::string usbSerial = {};  // the serial number of that USB device, when it has one
};

enum class DataDirection { None, In };

// One SCSI command: its CDB, and for data-in the buffer the reply goes to.
struct ScsiCommand {
    const std::uint8_t* cdb = nullptr;
    std::uint8_t cdbLength = 0;
    DataDirection direction = DataDirection::None;
    std::uint8_t* data = nullptr;
    std::uint32_t dataLength = 0;
    std::uint32_t timeLimitSeconds = 0;
};

enum class DriveStatus {
    Ok,
    NoPermission,  // the volume may not be opened, or this command not sent, by this user
    Gone,          // the volume is not there any more
    Failed,        // the platform did not carry the request out
};

// The sense data the platform returned with a command: what the device said
// of a refusal (fixed or descriptor format, as it came).
inline constexpr std::uint8_t kSenseBytes = 32;
struct SenseData {
    std::uint8_t length = 0;  // at most kSenseBytes
    std::array<std::uint8_t, kSenseBytes> bytes{};
};

// What came of one command, as facts: the backend judges nothing. carriedOut
// says the platform delivered the request and the device answered it,
// whatever its SCSI status (status Ok); otherwise the platform or the path to
// the device failed (status why). scsiStatus and sense are the device's
// answer as it came, and bytesMoved the count the platform reports for the
// data phase, never more than was asked. Whether a command the device
// answered with a status other than GOOD failed is the caller's to decide.
struct ScsiResult {
    DriveStatus status = DriveStatus::Failed;
    bool carriedOut = false;
    std::uint8_t scsiStatus = 0;
    std::uint32_t bytesMoved = 0;
    SenseData sense;
};

// The SCSI drive seam: candidate volumes, a raw handle on one, one command on
// it with a time limit, closing it. Backends: Windows (drive letters and the
// pass-through request), Linux (block devices and SG_IO), the simulation.
//
// Threads (clear --all, run --all): every call may run on several threads at
// once, as long as each open volume has one owner at a time. Searches and
// opens may run beside anything; Execute and CloseVolume on different
// volumes may run on different threads; one volume's Execute and CloseVolume
// come from its owner alone, one after the other, and never after its close.
class ScsiDrives {
public:
    virtual ~ScsiDrives() = default;

    virtual std::vector<VolumeCandidate> FindCandidateVolumes() = 0;

    // kInvalidHandleValue, with the reason in *why, when it does not open.
    virtual PlatformHandle OpenVolume(const VolumeCandidate& volume, DriveStatus* why) = 0;

    virtual ScsiResult Execute(PlatformHandle volume, const ScsiCommand& command) = 0;

    virtual void CloseVolume(PlatformHandle volume) = 0;
};

}  // namespace fwup
