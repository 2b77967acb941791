// firmware-updater history over a record a bench left: three units (one
// confirmed, one failed, one the station never finished) and a last line a
// crash cut short.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "app/terminal/unit_record.h"
#include "linux/front_end_runner.h"
#include "platform/simulation/simulated_device.h"

namespace fwup::test {
namespace {

constexpr std::int64_t kMinute = 60000;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

UnitRecord Unit(const char* serial, const char* port, std::int64_t startMs) {
    UnitRecord unit;
    unit.unit = serial;
    unit.port = port;
    unit.storageSerial = serial;
    unit.startMs = startMs;
    unit.versionBefore = 0x0237;
    return unit;
}

UnitRecord Ended(UnitRecord unit, std::int64_t endMs, UnitOutcome outcome) {
    unit.endMs = endMs;
    unit.outcome = outcome;
    if (outcome == UnitOutcome::Confirmed) unit.versionAfter = 0x0240;
    return unit;
}

// S1 on port p1 three hours ago, confirmed after half an hour; S2 on p2 two
// hours ago, failed at the erase after half an hour; S3 on p1 half an hour
// ago, unfinished. Line 6 is cut short.
class HistoryTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("history-test-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(folder_);
        path_ = (folder_ / "units.jsonl").string();
        const UnitRecord s1 = Unit("S1", "p1", now_ - 180 * kMinute);
        UnitRecord s2 = Unit("S2", "p2", now_ - 120 * kMinute);
        s2.failedStep = UnitStep::Erase;
        s2.detail = "sense 05/24/00";
        const UnitRecord s3 = Unit("S3", "p1", now_ - 30 * kMinute);
        const std::string cut = RecordLine(Ended(s3, now_, UnitOutcome::Confirmed)).substr(0, 50);
        std::ofstream(path_) << RecordLine(s1) << "\n"
                             << RecordLine(Ended(s1, now_ - 150 * kMinute, UnitOutcome::Confirmed))
                             << "\n" << RecordLine(s2) << "\n" << RecordLine(s3) << "\n"
                             << RecordLine(Ended(s2, now_ - 90 * kMinute, UnitOutcome::Failed))
                             << "\n" << cut;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    Ran History(std::vector<const char*> words, Language language = Language::English) {
        words.insert(words.begin(), {"history", "--record", path_.c_str()});
        SimulatedDevice device(DeviceMode::StorageMode);
        Terminal terminal;
        terminal.language = language;
        return RunFrontEndWith(words, device, device, terminal);
    }

    const std::int64_t now_ = NowMs();
    std::filesystem::path folder_;
    std::string path_;
};

// The serials of the units listed, in the order listed.
std::string SerialsListed(const std::string& out) {
    std::string serials;
    for (std::size_t at = out.find(" S"); at != std::string::npos; at = out.find(" S", at + 1))
        serials += out.substr(at + 1, 2);
    return serials;
}

struct HistoryCase {
    const char* name;
    std::vector<std::string> words;
    const char* serials;  // newest first
    const char* summary;
};

class HistoryChoice : public HistoryTest, public testing::WithParamInterface<HistoryCase> {};

TEST_P(HistoryChoice, ListsTheChosenUnitsNewestFirst) {
    const HistoryCase& c = GetParam();
    std::vector<const char*> words;
    for (const std::string& word : c.words) words.push_back(word.c_str());
    const Ran run = History(words);
    EXPECT_EQ(run.code, ExitCode::Done) << run.err;
    EXPECT_EQ(SerialsListed(run.out), c.serials) << run.out;
    EXPECT_NE(run.out.find(std::string(c.summary) + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("skipped: 6."), std::string::npos) << run.err;
}

// The hour's rate: ended units over the first start to the last end.
const std::string kTwoAndAHalfHoursAgo = IsoUtc(NowMs() - 150 * kMinute).substr(0, 16);
const std::string kTomorrow = IsoUtc(NowMs() + 24 * 60 * kMinute).substr(0, 10);

INSTANTIATE_TEST_SUITE_P(
    Filters, HistoryChoice,
    testing::Values(
        HistoryCase{"All", {}, "S3S2S1", "1 passed, 1 failed, 1 unfinished; 1.3 units per hour"},
        HistoryCase{"ByPort", {"--device", "p2"}, "S2",
                    "0 passed, 1 failed, 0 unfinished; 2.0 units per hour"},
        HistoryCase{"BySerialOrPort", {"--device", "S3", "--device", "p2"}, "S3S2",
                    "0 passed, 1 failed, 1 unfinished; 2.0 units per hour"},
        HistoryCase{"SinceSpan", {"--since", "150m"}, "S3S2",
                    "0 passed, 1 failed, 1 unfinished; 2.0 units per hour"},
        HistoryCase{"SinceTime", {"--since", kTwoAndAHalfHoursAgo}, "S3S2",
                    "0 passed, 1 failed, 1 unfinished; 2.0 units per hour"},
        HistoryCase{"SinceDate", {"--since", kTomorrow}, "", "0 passed, 0 failed, 0 unfinished"},
        HistoryCase{"UnfinishedHasNoRate", {"--device", "S3"}, "S3",
                    "0 passed, 0 failed, 1 unfinished"}),
    [](const testing::TestParamInfo<HistoryCase>& info) { return info.param.name; });

TEST_F(HistoryTest, ShowsEachUnitsOutcomeVersionsAndFailedStep) {
    const Ran run = History({});
    EXPECT_NE(run.out.find("  p1  S1  confirmed   2.37 -> 2.40\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  p2  S2  failed      2.37 -> ?  at erase: sense 05/24/00\n"),
              std::string::npos) << run.out;
    EXPECT_NE(run.out.find(IsoUtc(now_ - 30 * kMinute).substr(11, 8) + "  p1  S3  unfinished"),
              std::string::npos) << run.out;
    const Ran chinese = History({}, Language::Chinese);
    EXPECT_NE(chinese.out.find("已确认"), std::string::npos) << chinese.out;
    EXPECT_NE(chinese.out.find("通过 1 台，失败 1 台，未完成 1 台"), std::string::npos) << chinese.out;
}

TEST_F(HistoryTest, JsonHoldsTheUnitsTheSummaryAndTheCutLine) {
    const Ran run = History({"--json"});
    ASSERT_EQ(run.code, ExitCode::Done) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << run.out;
    EXPECT_EQ(document["schema"], "firmware-updater-history/1");
    EXPECT_EQ(document["record"], path_);
    ASSERT_EQ(document["units"].size(), 3u);
    EXPECT_EQ(document["units"][0]["storage_serial"], "S3");
    EXPECT_EQ(document["units"][0]["outcome"], "unfinished");
    EXPECT_EQ(document["units"][1]["failed_step"], "erase");
    EXPECT_EQ(document["units"][2]["version_after"], "2.40");
    EXPECT_EQ(document["summary"]["passed"], 1);
    EXPECT_EQ(document["summary"]["failed"], 1);
    EXPECT_EQ(document["summary"]["unfinished"], 1);
    EXPECT_NEAR(document["summary"]["units_per_hour"].get<double>(), 4.0 / 3, 1e-9);
    EXPECT_EQ(document["problems"], nlohmann::json::parse(R"([{"line":6,"problem":"cut"}])"));
    EXPECT_TRUE(document["error"].is_null());
}

TEST_F(HistoryTest, SinceNotUnderstoodIsWrongUsage) {
    for (const char* since : {"8 hours", "8w", "h", "2026-12-32", "yesterday"}) {
        const Ran run = History({"--since", since});
        EXPECT_EQ(run.code, ExitCode::Usage) << since;
        EXPECT_NE(run.err.find("is not understood"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << since;
    }
}

TEST_F(HistoryTest, NoRecordYetIsNoFailure) {
    std::filesystem::remove(path_);
    const Ran run = History({});
    EXPECT_EQ(run.code, ExitCode::Done);
    EXPECT_EQ(run.out, "There is no record yet at " + path_ + ": no unit has been recorded.\n");
}

}  // namespace
}  // namespace fwup::test
