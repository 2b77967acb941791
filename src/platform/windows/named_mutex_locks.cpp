#include "platform/windows/named_mutex_locks.h"

#include <windows.h>

namespace fwup {
namespace {

constexpr char kNamePrefix[] = "firmware-updater-";

class MutexLock : public DeviceLock {
public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
    ~MutexLock() override {
        if (mutex_ == nullptr) return;
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    HANDLE mutex_;
};

HANDLE OpenNamedMutex(const std::string& name) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED)
        mutex = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    return mutex;
}

}  // namespace

std::unique_ptr<DeviceLock> NamedMutexDeviceLocks::TryLock(const std::string& key) {
    HANDLE mutex = OpenNamedMutex(kNamePrefix + LockNameOf(key));
    // Nowhere to hold a lock: the work goes on, as it did before locks.
    if (mutex == nullptr) return std::make_unique<MutexLock>(nullptr);
    switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its last holder died holding it
        return std::make_unique<MutexLock>(mutex);
    default:
        CloseHandle(mutex);
        return nullptr;
    }
}

}  // namespace fwup
