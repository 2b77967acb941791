// One holder a device: the file locks among processes and threads, the
// simulation's among threads.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/flock_device_locks.h"
#include "platform/simulation/in_process_locks.h"

namespace fwup::test {
namespace {

std::string FreshFolder() {
    char pattern[] = "/tmp/fwup-locks-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made != nullptr ? std::string(made) : std::string();
}

struct Backend {
    const char* name;
    std::function<std::unique_ptr<DeviceLocks>(const std::string& folder)> make;
};

class DeviceLocksOf : public testing::TestWithParam<Backend> {};

// Within one process: the same key once, another key beside it, and the key
// free again once dropped, from whichever thread.
TEST_P(DeviceLocksOf, OneHolderAKeyUntilItIsDropped) {
    const std::string folder = FreshFolder() + "/locks";
    std::unique_ptr<DeviceLocks> locks = GetParam().make(folder);
    std::unique_ptr<DeviceLock> first = locks->TryLock("port:1-1.4");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(locks->TryLock("port:1-1.4"), nullptr);
    std::unique_ptr<DeviceLock> fromThread;
    std::thread([&] { fromThread = locks->TryLock("port:1-1.4"); }).join();
    EXPECT_EQ(fromThread, nullptr);
    std::unique_ptr<DeviceLock> other = locks->TryLock("serial:1-1.4");
    EXPECT_NE(other, nullptr);
    first.reset();
    EXPECT_NE(locks->TryLock("port:1-1.4"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Backends, DeviceLocksOf,
    testing::Values(Backend{"File",
                            [](const std::string& folder) -> std::unique_ptr<DeviceLocks> {
                                return std::make_unique<FlockDeviceLocks>(
                                    std::vector<std::string>{folder});
                            }},
                    Backend{"InProcess",
                            [](const std::string&) -> std::unique_ptr<DeviceLocks> {
                                return std::make_unique<InProcessDeviceLocks>();
                            }}),
    [](const testing::TestParamInfo<Backend>& info) { return info.param.name; });

// Two processes on one device: the second finds it busy while the first
// lives, and free once the first has died without letting go.
TEST(FileDeviceLocks, AnotherProcessSeesTheLockUntilItDies) {
    const std::string folder = FreshFolder() + "/locks";
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FlockDeviceLocks locks({folder});
        std::unique_ptr<DeviceLock> held = locks.TryLock("port:1-2");
        const char taken = held != nullptr ? 'y' : 'n';
        if (write(toParent[1], &taken, 1) != 1) _exit(2);
        char go = 0;
        if (read(toChild[0], &go, 1) != 1) _exit(3);
        _exit(0);  // dies holding it: no destructor runs
    }
    char taken = 0;
    ASSERT_EQ(read(toParent[0], &taken, 1), 1);
    EXPECT_EQ(taken, 'y');
    FlockDeviceLocks locks({folder});
    EXPECT_EQ(locks.TryLock("port:1-2"), nullptr);
    EXPECT_NE(locks.TryLock("port:1-3"), nullptr);
    const char go = 'g';
    ASSERT_EQ(write(toChild[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_NE(locks.TryLock("port:1-2"), nullptr);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    // Any user makes and locks a file there; only its owner removes it.
    struct stat made {};
    ASSERT_EQ(stat(folder.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 01777u);
    ASSERT_EQ(stat((folder + "/port%3A1-2.lock").c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0644u);
}

// A folder that cannot be had is passed over for the next; where none can,
// the device is handed over unheld rather than refused.
TEST(FileDeviceLocks, FallsBackToTheNextFolderAndNeverRefusesForWantOfOne) {
    const std::string base = FreshFolder();
    const std::string missing = base + "/no/such/parent";
    FlockDeviceLocks fallback({missing, base + "/locks"});
    std::unique_ptr<DeviceLock> held = fallback.TryLock("port:1-5");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(access((base + "/locks/port%3A1-5.lock").c_str(), F_OK), 0);
    EXPECT_EQ(fallback.TryLock("port:1-5"), nullptr);
    FlockDeviceLocks nowhere({missing});
    EXPECT_NE(nowhere.TryLock("port:1-5"), nullptr);
}

}  // namespace
}  // namespace fwup::test
