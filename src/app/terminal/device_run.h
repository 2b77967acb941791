#pragma once

#include "core/outcome.h"
#include "devices/attached_devices.h"

namespace fwup {

// Whose texts an outcome is told in: the same outcome reads differently
// after a clear and after an update.
enum class Texts { Clear, Update };

// What came of one device.
struct DeviceRun {
    AttachedDevice device;
    Outcome outcome;
    Texts texts = Texts::Clear;
    bool timedOutWaiting = false;  // run: the device did not come back
};

}  // namespace fwup
