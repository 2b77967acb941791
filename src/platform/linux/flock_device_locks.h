#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/device_locks.h"

namespace fwup {

// Device locks as flock(2) locks on one file a device, in the first of the
// folders that can hold them. Every user's process must meet the same file,
// so the folders are shared ones, made world-writable and sticky (as /tmp
// is): /run/lock/firmware-updater, else /tmp/firmware-updater-locks. A
// per-user folder such as $XDG_RUNTIME_DIR is no place for them: another
// user's process would never see the lock. The kernel drops a flock lock when
// the last descriptor on it closes, so a process that dies lets its devices go.
class FlockDeviceLocks : public DeviceLocks {
public:
    FlockDeviceLocks();
    // For tests: the folders to try, in order.
    explicit FlockDeviceLocks(std::vector<std::string> folders);

    std::unique_ptr<DeviceLock> TryLock(const std::string& key) override;

private:
    std::vector<std::string> folders_;
};

}  // namespace fwup
