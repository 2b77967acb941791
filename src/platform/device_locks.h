#pragma once

#include <memory>
#include <string>

namespace fwup {

// One device held by this process: whoever holds it is the only one that
// sends the device anything. Dropping it lets the device go again; so does
// the end of the process, however it ends.
class DeviceLock {
public:
    virtual ~DeviceLock() = default;
};

// The device lock seam: one holder per device among every process on the
// machine, and among the threads of this one. A device is named by a key that
// stays the same in both its modes (its port, else its serial): see
// DeviceLockKey. Backends: Linux (a file lock), Windows (a named mutex), the
// simulation (within the process).
//
// Threads: TryLock may be called from any thread at once. A lock is dropped
// on the thread that took it (the Windows mutex belongs to that thread).
class DeviceLocks {
public:
    virtual ~DeviceLocks() = default;

    // The device held for the caller until the lock is dropped; null when
    // another process or thread holds it. Where the system offers no place
    // for a lock, the device is handed over unheld rather than refused.
    virtual std::unique_ptr<DeviceLock> TryLock(const std::string& key) = 0;
};

// The key as a name that any system accepts in a file or object name:
// letters, digits, '.', '-' and '_' stay, every other byte becomes "%XX", so
// two keys never share a name.
inline std::string LockNameOf(const std::string& key) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : key) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '.' || byte == '-' ||
                           byte == '_';
        if (plain) name.push_back(c);
        else name.append({'%', kHex[byte >> 4], kHex[byte & 0xF]});
    }
    return name;
}

}  // namespace fwup
