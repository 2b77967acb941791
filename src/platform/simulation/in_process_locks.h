#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/device_locks.h"

namespace fwup {

// Device locks among the threads of this process alone: the simulated bench
// lives in one process, and nothing outside it can reach its devices.
class InProcessDeviceLocks : public DeviceLocks {
public:
    std::unique_ptr<DeviceLock> TryLock(const std::string& key) override;

    bool IsHeld(const std::string& key);

private:
    class Held;
    void Release(const std::string& key);

    std::mutex lock_;
    std::set<std::string> held_;  // under lock_
};

}  // namespace fwup
