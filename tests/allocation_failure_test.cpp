// Memory that runs out at any allocation of a command ends that command with
// its failure text and leaves no handle open: the program goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <new>

#include "app/dialog/dialog_commands.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace {

// Counts down the allocations of this thread; the one at zero fails.
thread_local long allocationsUntilFailure = -1;

}  // namespace

// The replacement pairs malloc with free, as the library's own does.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (allocationsUntilFailure == 0) {
        allocationsUntilFailure = -1;
        throw std::bad_alloc();
    }
    if (allocationsUntilFailure > 0) --allocationsUntilFailure;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
// The library's nothrow form (a sort's temporary buffer) must pair with the
// delete above: it takes the same memory, and fails as the counter says.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace fwup::test {
namespace {

// The dialog's side, without allocating: the harness's own memory never fails.
struct FixedUserInterface : UserInterface {
    char last[128] = {};
    int writes = 0;
    void SetStatusText(const char* text) override {
        std::snprintf(last, sizeof last, "%s", text);
        ++writes;
    }
    bool AskYesNo(const char*, const char*) override { return true; }
};

// The device, whose own memory never runs out: only the command's does.
class Shielded : public UsbLink, public ScsiDrives {
public:
    explicit Shielded(SimulatedDevice& device) : device_(device) {}
    template <typename Call>
    auto Unfailing(Call call) {
        const long saved = allocationsUntilFailure;
        allocationsUntilFailure = -1;
        auto result = call();
        allocationsUntilFailure = saved;
        return result;
    }
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus* s) override {
        return Unfailing([&] { return device_.FindDevices(s); });
    }
    PlatformHandle Open(const UsbDeviceInfo& d, LinkStatus* w) override {
        return Unfailing([&] { return device_.Open(d, w); });
    }
    TransferResult Read(PlatformHandle l, std::uint8_t* b, std::uint32_t c, std::uint32_t t) override {
        return Unfailing([&] { return device_.Read(l, b, c, t); });
    }
    TransferResult Write(PlatformHandle l, const std::uint8_t* b, std::uint32_t c,
                         std::uint32_t t) override {
        return Unfailing([&] { return device_.Write(l, b, c, t); });
    }
    void Close(PlatformHandle l) override {
        Unfailing([&] { device_.Close(l); return 0; });
    }
    std::vector<VolumeCandidate> FindCandidateVolumes() override {
        return Unfailing([&] { return device_.FindCandidateVolumes(); });
    }
    PlatformHandle OpenVolume(const VolumeCandidate& v, DriveStatus* w) override {
        return Unfailing([&] { return device_.OpenVolume(v, w); });
    }
    ScsiResult Execute(PlatformHandle v, const ScsiCommand& c) override {
        return Unfailing([&] { return device_.Execute(v, c); });
    }
    void CloseVolume(PlatformHandle v) override {
        Unfailing([&] { device_.CloseVolume(v); return 0; });
    }

private:
    SimulatedDevice& device_;
};

// Every allocation of the command, in turn, is the one that fails. Long
// names make the command's own copies of them allocate.
template <typename MakeDevice, typename Command>
void FailEachAllocation(MakeDevice makeDevice, Command command, const std::string& failure,
                        const std::string& success) {
    bool succeededOnce = false;
    long failures = 0;
    for (long failAt = 0; !succeededOnce && failAt < 5000; ++failAt) {
        SCOPED_TRACE(failAt);
        SimulatedDevice device = makeDevice();
        Shielded shielded(device);
        FixedUserInterface ui;
        allocationsUntilFailure = failAt;
        EXPECT_NO_THROW(command(shielded, ui));
        const bool failed = allocationsUntilFailure == -1;
        failures += failed ? 1 : 0;
        allocationsUntilFailure = -1;
        ASSERT_GT(ui.writes, 0);
        EXPECT_EQ(std::string(ui.last), failed ? failure : success);
        EXPECT_EQ(device.OpenHandleCount(), 0);
        succeededOnce = !failed;
    }
    EXPECT_TRUE(succeededOnce);
    EXPECT_GT(failures, 0);  // the command did allocate
}

TEST(AllocationFailure, EndsTheCommandWithItsFailureText) {
    const Bytes image = EmbeddedImage();
    const ImageDescription described = Described(image);  // the program describes it at start
    const std::string longName(40, 'x');
    FailEachAllocation([&] {
                           SimulatedDevice device(DeviceMode::VendorMode);
                           device.usbId = longName;
                           return device;
                       },
                       [&](Shielded& device, FixedUserInterface& ui) {
                           OnUpdate(device, ui, 1, described, Hardware::Simulated);
                       },
                       "Update the firmware failure", "Update the firmware successfully");
    FailEachAllocation([&] { return DeviceInStorageMode(longName, 0x0238); },
                       [&](Shielded& device, FixedUserInterface& ui) { OnClear(device, ui, 1, described, Hardware::Simulated); },
                       "Clear the original firmware failure",
                       "Clear the original firmware successfully");
}

}  // namespace
}  // namespace fwup::test
