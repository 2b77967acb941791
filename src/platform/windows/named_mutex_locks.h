#pragma once

#include <memory>
#include <string>

#include "platform/device_locks.h"

namespace fwup {

// Device locks as named mutexes, "Global\firmware-updater-<key>" (seen from
// every session), else "Local\..." where the global namespace is refused. The
// system gives an abandoned mutex to the next one who asks when its holder
// dies. A mutex belongs to the thread that took it: it is dropped there.
class NamedMutexDeviceLocks : public DeviceLocks {
public:
    std::unique_ptr<DeviceLock> TryLock(const std::string& key) override;
};

}  // namespace fwup
