// The simulated bench with units: each port receives its units one after
// another, each re-plugged as a person would, on a clock the test moves.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/dialog/dialog_commands.h"
#include "download/update_command.h"
#include "platform/simulation/scenario.h"
#include "recording_user_interface.h"
#include "storage/vendor_scsi_commands.h"
#include "test_images.h"

namespace fwup::test {
namespace {

using std::chrono::milliseconds;

struct Bench {
    std::chrono::steady_clock::time_point now{};
    Scenario scenario;

    explicit Bench(std::uint32_t units, std::uint32_t devices = 1, std::vector<DeviceFault> faults = {}) {
        scenario.units = units;
        scenario.devices = devices;
        scenario.faults = std::move(faults);
        scenario.version = 0x0238;
        scenario.imageVersion = 0x0240;
        scenario.transferDelayMs = 0;
        scenario.sleepFor = [](std::uint32_t) {};
        scenario.now = [this] { return now; };
    }
};

// What the bus shows at a port: "absent", "vendor SERIAL", or "storage SERIAL
// VERSION" (the version the unit would answer).
std::string AtPort(Simulation& bench, std::size_t index) {
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

void Erase(Simulation& bench) {
    RecordingUserInterface ui;
    OnClear(bench, ui, 1, TestImage(), Hardware::Simulated);
    ASSERT_EQ(ui.statusTexts, std::vector<std::string>{"Clear the original firmware successfully"});
}

void Download(Simulation& bench) {
    RecordingUserInterface ui;
    OnUpdate(bench, ui, 1, Described(EmbeddedImage()), Hardware::Simulated);
    ASSERT_EQ(ui.statusTexts.back(), "Update the firmware successfully");
}

// The station takes port 1's lock and lets go of it.
void TakeAndRelease(Simulation& bench) {
    ASSERT_NE(bench.Locks().TryLock("port:sim-1"), nullptr);
}

// The station's work on the unit at port 1 under its lock: the version read.
void ReadVersionUnderLock(Simulation& bench) {
    const auto held = bench.Locks().TryLock("port:sim-1");
    ASSERT_NE(held, nullptr);
    const VolumeCandidate volume{"sim-disk-1", {}, "sim-1", {}};
    const PlatformHandle drive = bench.OpenVolume(volume, nullptr);
    std::uint16_t version = 0;
    EXPECT_EQ(QueryFirmwareVersion(bench, drive, &version, 5), VendorCommandResult::Success);
    bench.CloseVolume(drive);
}

TEST(SimulatedUnits, EachUnitLivesItsLifeAndTheNextArrives) {
    struct Case {
        std::vector<DeviceFault> faults;
        const char* back[2];  // how units 1 and 2 come back after their download
    };
    const auto fault = [](std::uint32_t device, std::uint32_t unit, ScenarioFault f) {
        return DeviceFault{device, f, unit};
    };
    const Case cases[] = {
        {{}, {"storage SIM1-0001 0240", "storage SIM1-0002 0240"}},
        {{fault(0, 0, ScenarioFault::FirmwareDoesNotStart)}, {"vendor SIM1-0001", "vendor SIM1-0002"}},
        {{fault(1, 0, ScenarioFault::WrongVersion)}, {"storage SIM1-0001 0241", "storage SIM1-0002 0241"}},
        {{fault(1, 2, ScenarioFault::WrongVersion)}, {"storage SIM1-0001 0240", "storage SIM1-0002 0241"}},
        {{fault(0, 0, ScenarioFault::WrongVersion), fault(1, 1, ScenarioFault::None)},
         {"storage SIM1-0001 0240", "storage SIM1-0002 0241"}},
        {{fault(1, 1, ScenarioFault::FirmwareDoesNotStart)}, {"vendor SIM1-0001", "storage SIM1-0002 0240"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.back[0] + std::string(" / ") + c.back[1]);
        Bench clock(2, 1, c.faults);
        Simulation bench(clock.scenario);
        for (int unit = 1; unit <= 2; ++unit) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "SIM1-%04d", unit);
            EXPECT_EQ(AtPort(bench, 0), "storage " + std::string(serial) + " 0238");
            // What the unit before left is gone with it.
            EXPECT_TRUE(bench.Device().ScsiLog().empty());
            Erase(bench);
            EXPECT_EQ(AtPort(bench, 0), "vendor " + std::string(serial));
            Download(bench);
            EXPECT_EQ(AtPort(bench, 0), "absent");
            clock.now += milliseconds(399);
            EXPECT_EQ(AtPort(bench, 0), "absent");
            clock.now += milliseconds(1);
            EXPECT_EQ(AtPort(bench, 0), c.back[unit - 1]);
            // A firmware that did not start is not complete any more.
            EXPECT_EQ(bench.Device().FirmwareComplete(), !AtPort(bench, 0).starts_with("vendor"));
            // The station lets go of the port: the person takes the unit out.
            TakeAndRelease(bench);
            EXPECT_EQ(AtPort(bench, 0), "absent");
            clock.now += milliseconds(199);
            EXPECT_EQ(AtPort(bench, 0), "absent");
            clock.now += milliseconds(1);
        }
        // Both units served: the port stays empty.
        clock.now += std::chrono::hours(1);
        EXPECT_EQ(AtPort(bench, 0), "absent");
        EXPECT_EQ(bench.UnitsArrived(), 2u);
    }
}

TEST(SimulatedUnits, OnlyAUnitWorkedOnIsTakenOut) {
    Bench clock(3, 2);
    Simulation bench(clock.scenario);
    EXPECT_EQ(AtPort(bench, 1), "storage SIM2-0001 0238");

    // A lock taken and dropped with nothing sent leaves the unit where it is,
    // and the lock free again.
    TakeAndRelease(bench);
    clock.now += milliseconds(1000);
    EXPECT_EQ(AtPort(bench, 0), "storage SIM1-0001 0238");

    // Held, the lock is refused to another; a version read and its release
    // take out the unit of that port alone.
    {
        const auto held = bench.Locks().TryLock("port:sim-1");
        EXPECT_EQ(bench.Locks().TryLock("port:sim-1"), nullptr);
    }
    EXPECT_EQ(AtPort(bench, 0), "storage SIM1-0001 0238");
    ReadVersionUnderLock(bench);
    EXPECT_EQ(AtPort(bench, 0), "absent");
    EXPECT_EQ(AtPort(bench, 1), "storage SIM2-0001 0238");
    clock.now += milliseconds(200);
    EXPECT_EQ(AtPort(bench, 0), "storage SIM1-0002 0238");
    EXPECT_EQ(bench.UnitsArrived(0), 2u);
    EXPECT_EQ(bench.UnitsArrived(1), 1u);
}

// A port's thread as the station serves it: per unit, whether its download
// succeeded and the version it came back at. (The clock moves with every
// thread's looks, so the time off the bus is the table's to check.)
std::vector<std::string> ServePort(Simulation& bench, std::size_t index, std::set<std::string>& serials,
                                   std::mutex& serialsLock) {
    const std::string port = "sim-" + std::to_string(index + 1);
    std::vector<std::string> seen;
    // Each look moves the bench's clock on: the loops end without sleeps.
    const auto until = [&](auto done) {
        for (int look = 0; look < 100000; ++look)
            if (done(AtPort(bench, index))) return true;
        return false;
    };
    const auto present = [](const std::string& state) { return state != "absent"; };
    while (until(present)) {
        const auto held = bench.Locks().TryLock("port:" + port);
        const VolumeCandidate volume{"sim-disk-" + std::to_string(index + 1), {}, port, {}};
        PlatformHandle drive = bench.OpenVolume(volume, nullptr);
        {
            std::lock_guard<std::mutex> hold(serialsLock);
            serials.insert(bench.Device(index).serial);
        }
        EraseFirmware(bench, drive, 5);
        bench.CloseVolume(drive);
        until([](const std::string& state) { return state.starts_with("vendor"); });
        const UsbDeviceInfo device{port, {}};
        const Bytes image = EmbeddedImage();
        const UpdateResult update = UpdateFirmware(bench, Described(image), Hardware::Simulated, NoProgress(), &device);
        seen.push_back(update.kind == OutcomeKind::Updated ? "updated" : "not updated");
        std::string back;
        until([&](const std::string& state) { back = state; return state.starts_with("storage"); });
        seen.push_back(back.substr(back.rfind(' ') + 1));  // the version it came back at
        drive = bench.OpenVolume(volume, nullptr);  // the version read after the return
        std::uint16_t version = 0;
        QueryFirmwareVersion(bench, drive, &version, 5);
        bench.CloseVolume(drive);
    }
    return seen;
}

TEST(SimulatedUnits, PortsServedFromThreadsAtOnce) {
    Bench clock(3, 3);
    std::atomic<std::int64_t> ticks{0};
    clock.scenario.now = [&] {
        return std::chrono::steady_clock::time_point(milliseconds(ticks.fetch_add(1)));
    };
    Simulation bench(clock.scenario);
    std::set<std::string> serials;
    std::mutex serialsLock;
    std::vector<std::string> seen[3];
    std::vector<std::thread> ports;
    for (std::size_t i = 0; i < 3; ++i)
        ports.emplace_back([&, i] { seen[i] = ServePort(bench, i, serials, serialsLock); });
    for (std::thread& port : ports) port.join();
    const std::vector<std::string> threeUnits{"updated", "0240", "updated", "0240", "updated", "0240"};
    for (const auto& port : seen) EXPECT_EQ(port, threeUnits);
    EXPECT_EQ(serials.size(), 9u);
    EXPECT_EQ(serials.count("SIM3-0003"), 1u);
}

TEST(SimulatedUnits, WithoutUnitsTheDeviceStaysAfterItsDownload) {
    Bench clock(0);
    Simulation bench(clock.scenario);
    Erase(bench);
    Download(bench);
    TakeAndRelease(bench);
    clock.now += std::chrono::hours(1);
    EXPECT_EQ(AtPort(bench, 0), "vendor SIM1000");
    EXPECT_EQ(bench.UnitsArrived(), 0u);
}

}  // namespace
}  // namespace fwup::test
