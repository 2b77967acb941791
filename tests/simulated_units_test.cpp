// The simulated bench with units: each port receives its units one after
// another, each re-plugged as a person would, on a clock the test moves.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/dialog/dialog_commands.h"
#include "platform/simulation/scenario.h"
#include "recording_user_interface.h"
#include "test_images.h"

namespace fwup::test {
namespace {

using std::chrono::milliseconds;

struct Clock {
    std::chrono::steady_clock::time_point now{};
};

Scenario Units(Clock& clock, std::uint32_t units, std::vector<DeviceFault> faults = {}) {
    Scenario scenario;
    scenario.units = units;
    scenario.devices = 2;
    scenario.faults = std::move(faults);
    scenario.version = 0x0238;
    scenario.transferDelayMs = 0;
    scenario.now = [&clock] { return clock.now; };
    return scenario;
}

// What the bus shows at a port: "absent", "vendor SERIAL", or "storage SERIAL
// VERSION" (the version the unit would answer).
std::string AtPort(Simulation& bench, std::size_t index = 0) {
    const std::string port = "sim-" + std::to_string(index + 1);
    for (const UsbDeviceInfo& device : bench.FindDevices(nullptr))
        if (device.id == port) return "vendor " + device.serial;
    for (const VolumeCandidate& volume : bench.FindCandidateVolumes())
        if (volume.usbPort == port) {
            char version[8];
            std::snprintf(version, sizeof version, "%04X", bench.Device(index).firmwareVersion);
            return "storage " + volume.usbSerial + " " + version;
        }
    return "absent";
}

// Port 1's unit erased (a command reaches it) and its image downloaded.
void EraseAndDownload(Simulation& bench) {
    RecordingUserInterface ui;
    OnClear(bench, ui, 1, TestImage(), Hardware::Simulated);
    OnUpdate(bench, ui, 1, Described(EmbeddedImage()), Hardware::Simulated);
    ASSERT_EQ(ui.statusTexts, (std::vector<std::string>{"Clear the original firmware successfully",
                                                         "Update the firmware, Please wait...",
                                                         "Update the firmware successfully"}));
}

// The station takes port 1's lock and lets go of it.
void TakeAndRelease(Simulation& bench) {
    ASSERT_NE(bench.Locks().TryLock("port:sim-1"), nullptr);
}

TEST(SimulatedUnits, EachUnitLivesItsLifeAndTheNextArrives) {
    using F = ScenarioFault;
    struct Case {
        std::vector<DeviceFault> faults;
        const char* back[2];  // how units 1 and 2 come back after their download
    };
    const Case cases[] = {
        {{}, {"storage SIM1-0001 0240", "storage SIM1-0002 0240"}},
        {{{0, F::FirmwareDoesNotStart}}, {"vendor SIM1-0001", "vendor SIM1-0002"}},
        {{{1, F::WrongVersion}}, {"storage SIM1-0001 0241", "storage SIM1-0002 0241"}},
        {{{1, F::WrongVersion, 2}}, {"storage SIM1-0001 0240", "storage SIM1-0002 0241"}},
        {{{0, F::WrongVersion}, {1, F::None, 1}}, {"storage SIM1-0001 0240", "storage SIM1-0002 0241"}},
        {{{1, F::FirmwareDoesNotStart, 1}}, {"vendor SIM1-0001", "storage SIM1-0002 0240"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.back[0] + std::string(" / ") + c.back[1]);
        Clock clock;
        Simulation bench(Units(clock, 2, c.faults));
        for (int unit = 1; unit <= 2; ++unit) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "SIM1-%04d", unit);
            EXPECT_EQ(AtPort(bench), "storage " + std::string(serial) + " 0238");
            EXPECT_TRUE(bench.Device().ScsiLog().empty());  // what the unit before left is gone
            EraseAndDownload(bench);  // the erase's return in vendor mode is the download's
            EXPECT_EQ(AtPort(bench), "absent");
            clock.now += milliseconds(399);
            EXPECT_EQ(AtPort(bench), "absent");
            clock.now += milliseconds(1);
            EXPECT_EQ(AtPort(bench), c.back[unit - 1]);
            // A firmware that did not start is not complete any more.
            EXPECT_EQ(bench.Device().FirmwareComplete(), !AtPort(bench).starts_with("vendor"));
            TakeAndRelease(bench);  // the person takes the unit out
            EXPECT_EQ(AtPort(bench), "absent");
            clock.now += milliseconds(199);
            EXPECT_EQ(AtPort(bench), "absent");
            clock.now += milliseconds(1);
        }
        clock.now += std::chrono::hours(1);  // both units served: the port stays empty
        EXPECT_EQ(AtPort(bench), "absent");
        EXPECT_EQ(bench.UnitsArrived(), 2u);
        EXPECT_EQ(AtPort(bench, 1), "storage SIM2-0001 0238");  // the other port untouched
    }
}

TEST(SimulatedUnits, OnlyAUnitACommandReachedIsTakenOut) {
    Clock clock;
    Simulation bench(Units(clock, 3));
    TakeAndRelease(bench);
    {
        const auto held = bench.Locks().TryLock("port:sim-1");
        EXPECT_EQ(bench.Locks().TryLock("port:sim-1"), nullptr);
    }
    clock.now += milliseconds(1000);
    EXPECT_EQ(AtPort(bench), "storage SIM1-0001 0238");

    // Without units a device stays after its download and its lock's release.
    Simulation still(Units(clock, 0));
    EraseAndDownload(still);
    TakeAndRelease(still);
    clock.now += std::chrono::hours(1);
    EXPECT_EQ(AtPort(still), "vendor SIM1000");
}

}  // namespace
}  // namespace fwup::test
