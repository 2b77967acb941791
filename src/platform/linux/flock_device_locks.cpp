#include "platform/linux/flock_device_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace fwup {
namespace {

constexpr mode_t kSharedFolderMode = 01777;  // anyone makes a file, only its owner removes it
constexpr mode_t kLockFileMode = 0644;       // anyone opens it to lock: flock needs no write access

class FileLock : public DeviceLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}
    ~FileLock() override {
        if (fd_ >= 0) close(fd_);  // closing the only descriptor drops the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

// The folder, made shared if this process makes it; false where it cannot be
// had (no such parent, no right to write there).
bool SharedFolderReady(const std::string& folder) {
    if (mkdir(folder.c_str(), kSharedFolderMode) == 0) {
        chmod(folder.c_str(), kSharedFolderMode);  // past the umask
        return true;
    }
    struct stat seen {};
    return errno == EEXIST && lstat(folder.c_str(), &seen) == 0 && S_ISDIR(seen.st_mode);
}

// The lock file, made readable to all where this process makes it; -1 where
// it cannot be opened. Never through a link another user planted.
int OpenLockFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
    if (fd >= 0) fchmod(fd, kLockFileMode);  // fails harmlessly on another user's file
    return fd;
}

}  // namespace

FlockDeviceLocks::FlockDeviceLocks()
    : FlockDeviceLocks({"/run/lock/firmware-updater", "/tmp/firmware-updater-locks"}) {}

FlockDeviceLocks::FlockDeviceLocks(std::vector<std::string> folders)
    : folders_(std::move(folders)) {}

std::unique_ptr<DeviceLock> FlockDeviceLocks::TryLock(const std::string& key) {
    const std::string name = LockNameOf(key) + ".lock";
    for (const std::string& folder : folders_) {
        if (!SharedFolderReady(folder)) continue;
        const int fd = OpenLockFile(folder + "/" + name);
        if (fd < 0) continue;
        // Each open is a lock of its own, so two threads of this process
        // exclude each other as two processes do.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<FileLock>(fd);
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) return nullptr;
    }
    // Nowhere to hold a lock: the work goes on, as it did before locks.
    return std::make_unique<FileLock>(-1);
}

}  // namespace fwup
