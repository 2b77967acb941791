#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/terminal/unit_record.h"
#include "core/carried_image.h"
#include "core/progress.h"
#include "devices/unit_on_port.h"
#include "image/image_description.h"
#include "platform/device_locks.h"
#include "platform/scsi_drives.h"
#include "platform/usb_link.h"

namespace fwup {

// One port of the bench, served from its own thread: each unit that arrives
// on it is read, erased, downloaded and confirmed, and the next is awaited
// once it has been taken out.

// What every port of a bench shares, read-only.
struct BenchSettings {
    UsbLink& usb;
    ScsiDrives& drives;
    DeviceLocks* locks;  // none: no lock taken
    const ImageDescription& image;
    Hardware hardware;
    int waitSeconds = 120;       // for each re-plug
    std::uint32_t pollMs = 500;  // how often the port is looked at
    std::string program;         // as the record names it
    std::string host;
    std::function<std::int64_t()> clockMs;  // UTC milliseconds since 1970, for the record
};

// What a port says as its unit goes, from the port's own thread. Its
// ProgressSink side takes the commands' progress and exchanges, and asks
// them to stop at once.
class PortObserver : public ProgressSink {
public:
    // A unit of the model stands on the port: its start line is written
    // before anything is sent to it. False where it could not be: the unit
    // is then left alone.
    virtual bool UnitArrived(const UnitRecord& start) = 0;
    virtual void StepBegan(UnitStep step) = 0;
    // Its end line is written, then the result shown.
    virtual void UnitEnded(const UnitRecord& end) = 0;
    // The port is held by another program; or a unit stands on it that this
    // user may not ask. Nothing is recorded.
    virtual void PortHeld() {}
    virtual void NoPermission() {}
};

// Serves the unit on the port from the look that found it (in storage mode,
// answering: the volume that answered the probe) and returns the record of
// what became of it. The caller holds the port's lock throughout.
UnitRecord ServeUnit(const BenchSettings& bench, const std::string& port, const PortLook& arrival,
                     const VolumeCandidate* answering, PortObserver& observer);

// How a port's service ended.
enum class PortEnd {
    Stopped,  // no new unit is to be taken, and none is in flight
    NotOurs,  // what stands on the port is not a unit of the model
};

// Whether the port may take a new unit: false once the bench drains, is
// stopped or has served its number of units. Called once per unit, before
// its start; true reserves the unit.
using TakeUnit = std::function<bool()>;

// Serves unit after unit on the port until no new unit may be taken and the
// port is idle, or what stands on it is not the model's.
PortEnd ServePort(const BenchSettings& bench, const std::string& port, PortObserver& observer,
                  const TakeUnit& takeUnit, const std::function<bool()>& stopping);

}  // namespace fwup
