#include "platform/simulation/scenario.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/dialog/dialog_commands.h"
#include "recording_user_interface.h"
#include "app/dialog/dialog_commands.h"
#include "test_images.h"

namespace fwup::test {
namespace {

Scenario Settings(const std::map<std::string, std::string>& environment,
                      std::vector<std::string>* problems = nullptr) {
    std::vector<std::string> found;
    const Scenario settings = ReadScenario(
        [&](const char* name) -> const char* {
            const auto entry = environment.find(name);
            return entry == environment.end() ? nullptr : entry->second.c_str();
        },
        found);
    if (problems != nullptr) *problems = found;
    return settings;
}

TEST(ScenarioSettings, ReadFromTheEnvironment) {
    const Scenario defaults = Settings({});
    EXPECT_EQ(defaults.version, 0x0240);
    EXPECT_EQ(defaults.userId, 0xFFFFFFFFu);
    EXPECT_EQ(FaultOf(defaults, 0), ScenarioFault::None);

    const Scenario set = Settings({{"FWUP_DEMO_VERSION", "0238"},
                                       {"FWUP_DEMO_USER_ID", "12345678"},
                                       {"FWUP_DEMO_FAULT", "stops-answering"},
                                       {"FWUP_DEMO_DELAY_MS", "0"}});
    EXPECT_EQ(set.version, 0x0238);
    EXPECT_EQ(set.userId, 0x12345678u);
    EXPECT_EQ(FaultOf(set, 0), ScenarioFault::StopsAnswering);
    EXPECT_EQ(set.transferDelayMs, 0u);

    std::vector<std::string> problems;
    const Scenario bad = Settings(
        {{"FWUP_DEMO_VERSION", "10000"}, {"FWUP_DEMO_USER_ID", "xyz"}, {"FWUP_DEMO_FAULT", "fire"}},
        &problems);
    EXPECT_EQ(bad.version, 0x0240);
    EXPECT_EQ(bad.userId, 0xFFFFFFFFu);
    EXPECT_EQ(FaultOf(bad, 0), ScenarioFault::None);
    EXPECT_EQ(problems, (std::vector<std::string>{"FWUP_DEMO_VERSION=10000", "FWUP_DEMO_USER_ID=xyz",
                                                  "FWUP_DEMO_FAULT=fire"}));

    // Faults per device: a numbered one for that device, a later one winning.
    const Scenario four = Settings(
        {{"FWUP_DEMO_DEVICES", "4"}, {"FWUP_DEMO_FAULT", "data-rejected,2:none,4:never-returns"}});
    const ScenarioFault expected[] = {ScenarioFault::DataRejected, ScenarioFault::None,
                                      ScenarioFault::DataRejected, ScenarioFault::NeverReturns};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(FaultOf(four, i), expected[i]) << i;
    for (const char* list : {"3:none", "0:none", "1:", "none,", "1:2:none", "x:none"}) {
        Settings({{"FWUP_DEMO_DEVICES", "2"}, {"FWUP_DEMO_FAULT", list}}, &problems);
        EXPECT_EQ(problems.size(), 1u) << list;
    }
}

TEST(ScenarioSettings, UnitsAndTheirFaults) {
    EXPECT_EQ(Settings({}).units, 0u);
    EXPECT_EQ(Settings({{"FWUP_DEMO_UNITS", "100000"}}).units, 100000u);
    std::vector<std::string> problems;
    for (const char* units : {"0", "100001", "x", ""}) {
        EXPECT_EQ(Settings({{"FWUP_DEMO_UNITS", units}}, &problems).units, 0u) << units;
        EXPECT_EQ(problems, std::vector<std::string>{std::string("FWUP_DEMO_UNITS=") + units});
    }

    // A fault for a unit wins over its port's and every device's when given later.
    const Scenario bench = Settings({{"FWUP_DEMO_DEVICES", "2"},
                                     {"FWUP_DEMO_UNITS", "3"},
                                     {"FWUP_DEMO_FAULT", "wrong-version,2.3:firmware-does-not-start,1:stalls,1.2:none"}});
    struct Row {
        std::size_t index;
        std::uint32_t unit;
        ScenarioFault fault;
    };
    const Row rows[] = {{0, 1, ScenarioFault::Stalls},        {0, 2, ScenarioFault::None},
                        {0, 3, ScenarioFault::Stalls},        {1, 1, ScenarioFault::WrongVersion},
                        {1, 3, ScenarioFault::FirmwareDoesNotStart}};
    for (const Row& row : rows)
        EXPECT_EQ(FaultOf(bench, row.index, row.unit), row.fault) << row.index << "." << row.unit;

    // Without units the device is its port's only unit.
    EXPECT_EQ(FaultOf(Settings({{"FWUP_DEMO_FAULT", "1.1:unplugged"}}), 0), ScenarioFault::Unplugged);
    struct Bad {
        const char* units;
        const char* list;
    };
    const Bad bad[] = {{"3", "1.4:none"}, {"3", "1.0:none"}, {"3", "1.:none"}, {"3", ".1:none"},
                       {"3", "1.1.1:none"}, {"3", "3.1:none"}, {"3", "1.x:none"}, {"0", "1.2:none"}};
    for (const Bad& row : bad) {
        std::map<std::string, std::string> environment{{"FWUP_DEMO_DEVICES", "2"},
                                                       {"FWUP_DEMO_FAULT", row.list}};
        if (std::string(row.units) != "0") environment["FWUP_DEMO_UNITS"] = row.units;
        EXPECT_TRUE(Settings(environment, &problems).faults.empty()) << row.list;
        EXPECT_EQ(problems, std::vector<std::string>{std::string("FWUP_DEMO_FAULT=") + row.list});
    }
}

struct Story {
    std::vector<std::string> clearTexts;
    std::vector<std::string> updateTexts;
};

Story ClearThenUpdateTwice(Simulation& demo, const Bytes& image) {
    RecordingUserInterface clear;
    OnClear(demo, clear, 1, TestImage(), Hardware::Simulated);
    RecordingUserInterface update;
    OnUpdate(demo, update, 1, Described(image), Hardware::Simulated);
    OnUpdate(demo, update, 1, Described(image), Hardware::Simulated);
    return {clear.statusTexts, update.statusTexts};
}

TEST(Simulation, WholeStoryAndItsReport) {
    const Bytes image = EmbeddedImage();
    Scenario settings = Settings({{"FWUP_DEMO_DELAY_MS", "3"}});
    std::uint64_t waited = 0;
    settings.sleepFor = [&](std::uint32_t ms) { waited += ms; };
    settings.reportPath = (std::filesystem::path(testing::TempDir()) / "held.bin").string();
    Simulation demo(settings);

    RecordingUserInterface early;
    OnUpdate(demo, early, 1, Described(image), Hardware::Simulated);  // not erased yet: no vendor-mode device
    EXPECT_EQ(early.statusTexts, std::vector<std::string>{"Open the driver failed"});

    const Story story = ClearThenUpdateTwice(demo, image);
    EXPECT_EQ(story.clearTexts, std::vector<std::string>{"Clear the original firmware successfully"});
    const std::string wait = "Update the firmware, Please wait...";
    const std::string done = "Update the firmware successfully";
    EXPECT_EQ(story.updateTexts, (std::vector<std::string>{wait, done, wait, done}));
    EXPECT_EQ(demo.Device().OpenHandleCount(), 0);
    // Each of the four storage commands and each transfer of both downloads took its time.
    EXPECT_EQ(waited, (4u + 2 * 62) * 3);

    Bytes report;
    std::string error;
    ASSERT_TRUE(ReadImageFile(settings.reportPath, report, error)) << error;
    ASSERT_EQ(report.size(), 8u + 45592u);
    EXPECT_EQ(ReadLe32(report.data()), 0x80002000u);
    EXPECT_EQ(ReadLe32(report.data() + 4), 45592u);
    EXPECT_EQ(Bytes(report.begin() + 8, report.begin() + 8 + 256), Bytes(image.begin() + 17, image.begin() + 17 + 256));
}

TEST(Simulation, DownloadFaultsHitEveryDownload) {
    const Bytes image = EmbeddedImage();
    Scenario rejecting = Settings({{"FWUP_DEMO_DELAY_MS", "0"}, {"FWUP_DEMO_FAULT", "data-rejected"}});
    Simulation demo(rejecting);
    const std::string failed = "Update the firmware failure";
    EXPECT_EQ(ClearThenUpdateTwice(demo, image).updateTexts[3], failed);
    EXPECT_FALSE(demo.Device().FirmwareComplete());

    Scenario silent = Settings({{"FWUP_DEMO_DELAY_MS", "0"}, {"FWUP_DEMO_FAULT", "stops-answering"}});
    std::uint64_t waited = 0;
    silent.sleepFor = [&](std::uint32_t ms) { waited += ms; };
    Simulation quiet(silent);
    const Story story = ClearThenUpdateTwice(quiet, image);
    EXPECT_EQ(story.updateTexts[1], failed);
    EXPECT_EQ(story.updateTexts[3], failed);
    // The first download waits out one time limit, then fails; the device,
    // left in the middle of a command, refuses the second at once.
    EXPECT_EQ(waited, kUpdateTimeoutMs);
}

TEST(Simulation, StorageFaultsGiveTheirTexts) {
    struct Case {
        const char* fault;
        const char* version;
        const char* userId;
        std::string shown;
    };
    const Case cases[] = {
        {"no-device", "0240", "FFFFFFFF", "Open the driver failed"},
        {"user-id-fails", "0240", "FFFFFFFF", "Get UserID failure"},
        {"erase-rejected", "0240", "FFFFFFFF", "Clear the original firmware failure"},
        {"none", "0238", "12345678", "UserID is not error, ID = 0x12345678, Can not update"},
    };
    for (const Case& c : cases) {
        Simulation demo(Settings({{"FWUP_DEMO_FAULT", c.fault},
                                  {"FWUP_DEMO_VERSION", c.version},
                                  {"FWUP_DEMO_USER_ID", c.userId}}));
        RecordingUserInterface ui;
        OnClear(demo, ui, 1, TestImage(), Hardware::Simulated);
        EXPECT_EQ(ui.statusTexts, std::vector<std::string>{c.shown}) << c.fault;
        EXPECT_EQ(demo.Device().OpenHandleCount(), 0);
    }
}

}  // namespace
}  // namespace fwup::test
