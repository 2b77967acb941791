#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// A bench is wired by USB port: a unit keeps its port through every re-plug,
// in either mode, and a port holds one unit at a time.

enum class PortMode { Empty, Storage, Vendor };

// What stands on one port at a look: nothing, the unit in storage mode (its
// volumes), or the unit in vendor mode.
struct PortLook {
    PortMode mode = PortMode::Empty;
    UsbDeviceInfo usb;                     // vendor mode
    std::vector<VolumeCandidate> volumes;  // storage mode, in the order they were listed
    // The serial the unit gives in its present mode; empty where it gives none.
    std::string Serial() const;
};

// The port a volume's device stands on, or a vendor-mode device; empty where
// the system does not know it.
std::string PortOf(const VolumeCandidate& volume);
std::string PortOf(const UsbDeviceInfo& device);

// Lists what stands on the port: both modes are enumerated, nothing is
// opened or sent. May run beside anything (the seams' searches do).
PortLook LookAtPort(UsbLink& usb, ScsiDrives& drives, const std::string& port);

// How long a wait on a port lasts and what ends it early.
struct PortWait {
    UsbLink& usb;
    ScsiDrives& drives;
    std::string port;
    int waitSeconds = 120;
    std::uint32_t pollMs = 500;
    std::function<bool()> stop;  // asked to stop at once; none: never
};

enum class WaitEnd { Settled, TimeUp, Stopped };

// Looks at the port every poll until settled says the look settles the
// wait, the time is up, or stop. The last look is left in *last.
WaitEnd WatchPort(const PortWait& wait, const std::function<bool(const PortLook&)>& settled,
                  PortLook* last = nullptr);

// What the version read back after the update's re-plug says.
enum class Confirmation {
    Confirmed,     // back in storage mode at the image's version
    NotCompared,   // back in storage mode; the image's version is not known
    WrongVersion,  // back in storage mode at another version
    DidNotStart,   // gone and back in vendor mode: its firmware did not start
    NotBack,       // not back in storage mode within the wait
    Replaced,      // another unit (another serial) stands on the port
    Unreadable,    // back in storage mode, and its version could not be read
    Interrupted,   // asked to stop at once
};

struct ConfirmResult {
    Confirmation how = Confirmation::NotBack;
    std::optional<std::uint16_t> version;  // as read back
    std::string storageSerial;             // the serial it came back with
    std::int64_t waitedMs = 0;             // for its re-plug
    std::int64_t readMs = 0;               // to read its version
};

// After the download: waits for the unit to leave its port and come back,
// and reads its version in storage mode (read-only, with a probe's short
// limit). expected: the image's version, none where it is not known;
// serialBefore: the serial the unit gave in storage mode, where known, so
// that another unit put on the port is never confirmed in its place.
// reading: told once the unit is back in storage mode, before its version
// is read.
ConfirmResult ConfirmAfterReplug(const PortWait& wait, std::optional<std::uint16_t> expected,
                                 const std::string& serialBefore,
                                 const std::function<void()>& reading = {});

}  // namespace fwup
