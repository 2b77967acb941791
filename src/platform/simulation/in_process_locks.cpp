#include "platform/simulation/in_process_locks.h"

namespace fwup {

class InProcessDeviceLocks::Held : public DeviceLock {
public:
    Held(InProcessDeviceLocks& locks, std::string key) : locks_(locks), key_(std::move(key)) {}
    ~Held() override { locks_.Release(key_); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    InProcessDeviceLocks& locks_;
    std::string key_;
};

std::unique_ptr<DeviceLock> InProcessDeviceLocks::TryLock(const std::string& key) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!held_.insert(key).second) return nullptr;
    return std::make_unique<Held>(*this, key);
}

bool InProcessDeviceLocks::IsHeld(const std::string& key) {
    std::lock_guard<std::mutex> hold(lock_);
    return held_.count(key) != 0;
}

void InProcessDeviceLocks::Release(const std::string& key) {
    std::lock_guard<std::mutex> hold(lock_);
    held_.erase(key);
}

}  // namespace fwup
