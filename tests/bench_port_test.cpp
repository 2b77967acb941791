// One port of the station as a state machine: what a unit arrives as, what
// it answers and what befalls it, against what the port makes of it and
// records; over the simulated bench, in real time made short.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/terminal/bench_port.h"
#include "platform/simulation/scenario.h"
#include "test_images.h"

namespace fwup::test {
namespace {

// Keeps what the port said, and stops the port once its unit has ended.
class RecordingObserver : public PortObserver {
public:
    explicit RecordingObserver(Simulation& bench, bool recordWorks)
        : bench_(bench), recordWorks_(recordWorks) {}
    bool UnitArrived(const UnitRecord& start, PortMode) override {
        started.push_back(start);
        erasesAtStart = bench_.Device(0).EraseCount();
        return recordWorks_;
    }
    void StepBegan(UnitStep step) override { steps.push_back(step); }
    void UnitEnded(const UnitRecord& end) override { ended.push_back(end); }

    std::vector<UnitRecord> started, ended;
    std::vector<UnitStep> steps;
    std::uint32_t erasesAtStart = 99;

private:
    Simulation& bench_;
    bool recordWorks_;
};

struct Row {
    const char* name;
    bool arrivesInVendorMode;
    std::uint16_t version;  // the unit's, in storage mode
    std::uint32_t userId;
    ScenarioFault fault;
    bool imageVersionKnown;
    bool recordWorks;
    UnitOutcome outcome;
    std::optional<UnitStep> failedStep;
    std::uint32_t erases;
    std::optional<std::uint16_t> versionAfter;
};

constexpr std::uint32_t kAnyId = 0xFFFFFFFF;
constexpr auto kNone = ScenarioFault::None;
using Out = UnitOutcome;
using St = UnitStep;

const Row kRows[] = {
    {"old version: erased, written, back at the image's", false, 0x0230, kAnyId, kNone, true, true,
     Out::Confirmed, std::nullopt, 1, 0x0240},
    {"at the image's version already", false, 0x0240, kAnyId, kNone, true, true, Out::UpToDate,
     std::nullopt, 0, 0x0240},
    {"no image version: back, and nothing compared", false, 0x0240, kAnyId, kNone, false, true,
     Out::NotCompared, std::nullopt, 1, 0x0240},
    {"erased earlier: arrives in vendor mode", true, 0x0230, kAnyId, kNone, true, true,
     Out::Confirmed, std::nullopt, 0, 0x0240},
    {"its user id refuses the erase", false, 0x0238, 0x12345678, kNone, true, true, Out::Refused,
     St::Erase, 0, std::nullopt},
    {"the user id cannot be read", false, 0x0238, kAnyId, ScenarioFault::UserIdFails, true, true,
     Out::Failed, St::Read, 0, std::nullopt},
    {"the erase is refused", false, 0x0230, kAnyId, ScenarioFault::EraseRejected, true, true,
     Out::Failed, St::Erase, 0, std::nullopt},
    {"never back after the erase", false, 0x0230, kAnyId, ScenarioFault::NeverReturns, true, true,
     Out::ErasedNotWritten, St::ReplugToVendor, 1, std::nullopt},
    {"a data command refused", false, 0x0230, kAnyId, ScenarioFault::DataRejected, true, true,
     Out::ErasedNotWritten, St::Download, 1, std::nullopt},
    {"pulled out in the middle of its download", false, 0x0230, kAnyId, ScenarioFault::Unplugged,
     true, true, Out::ErasedNotWritten, St::Download, 1, std::nullopt},
    {"its new firmware does not start", false, 0x0230, kAnyId, ScenarioFault::FirmwareDoesNotStart,
     true, true, Out::DidNotStart, St::ReplugToStorage, 1, std::nullopt},
    {"back at another version", false, 0x0230, kAnyId, ScenarioFault::WrongVersion, true, true,
     Out::WrongVersion, St::Confirm, 1, 0x0241},
    {"its start cannot be recorded", false, 0x0230, kAnyId, kNone, true, false, Out::Failed,
     std::nullopt, 0, std::nullopt},
};

TEST(BenchPort, EachArrivalAnswerAndMishapEndsAsItLeavesTheUnit) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.units = 1;
        scenario.version = row.version;
        scenario.userId = row.userId;
        scenario.faults = {DeviceFault{0, row.fault}};
        scenario.startInVendorMode = row.arrivesInVendorMode;
        scenario.transferDelayMs = 0;
        scenario.sleepFor = [](std::uint32_t) {};
        scenario.replugMs = 30;
        scenario.nextUnitMs = 10;
        Simulation bench(scenario);
        ImageDescription image = TestImage();
        if (row.imageVersionKnown) image.version = 0x0240;
        const BenchSettings settings{bench,
                                     bench,
                                     &bench.Locks(),
                                     image,
                                     Hardware::Simulated,
                                     1,
                                     10,
                                     "firmware-updater test",
                                     "bench",
                                     [] { return std::int64_t{1796819927379}; }};
        RecordingObserver observer(bench, row.recordWorks);
        bool taken = false;
        const PortEnd end = ServePort(
            settings, "sim-1", observer, [&] { return !std::exchange(taken, true); },
            [&] {
                return !observer.ended.empty() || (!row.recordWorks && !observer.started.empty());
            });

        EXPECT_EQ(end, PortEnd::Stopped);
        ASSERT_EQ(observer.started.size(), 1u);
        if (!row.recordWorks) {  // a unit not on record is sent nothing
            EXPECT_TRUE(observer.ended.empty());
            EXPECT_EQ(bench.Device(0).EraseCount(), 0u);
            EXPECT_TRUE(observer.steps.empty());
            continue;
        }
        ASSERT_EQ(observer.ended.size(), 1u);
        EXPECT_EQ(observer.erasesAtStart,
                  0u);  // recorded before anything could change it
        const UnitRecord& unit = observer.ended.front();
        EXPECT_EQ(unit.outcome, row.outcome)
            << UnitOutcomeName(unit.outcome) << ": " << unit.detail;
        EXPECT_EQ(unit.failedStep, row.failedStep);
        EXPECT_EQ(unit.versionAfter, row.versionAfter);
        EXPECT_EQ(bench.Device(0).EraseCount(), row.erases);
        EXPECT_EQ(unit.unit, observer.started.front().unit);
        EXPECT_EQ(unit.port, "sim-1");
        if (!row.arrivesInVendorMode) {
            EXPECT_FALSE(unit.storageSerial.empty());
        }
        if (row.outcome == Out::Confirmed) {
            ASSERT_FALSE(unit.steps.empty());
            EXPECT_EQ(unit.steps.back().step, St::Confirm);
        }
    }
}

}  // namespace
}  // namespace fwup::test
