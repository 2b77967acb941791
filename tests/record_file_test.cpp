// The units' record on disk through the crashes a station meets: a line cut
// short, a unit that never ended, a file that is another program's.
#include "app/terminal/record_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fwup::test {
namespace {

class RecordFileTest : public testing::Test {
protected:
    void SetUp() override {
        // Apart from every other test run at the same time, in any build.
        folder_ = std::filesystem::temp_directory_path() /
                  ("record-file-test-" + std::to_string(std::random_device()()));
        path_ = (folder_ / "state" / "units.jsonl").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    void Write(const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    std::string Contents() const {
        std::ifstream file(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path folder_;
    std::string path_;
};

UnitRecord Unit(const std::string& key, bool ended) {
    UnitRecord unit;
    unit.unit = key;
    unit.port = "port-" + key;
    unit.startMs = 1796817918123;
    if (ended) {
        unit.endMs = unit.startMs + 60000;
        unit.outcome = UnitOutcome::Confirmed;
    }
    return unit;
}

bool SyncFails(std::FILE*) { return false; }

TEST_F(RecordFileTest, CutLastLineStaysApartFromTheNextUnit) {
    const std::string end = RecordLine(Unit("u1", true));
    Write(RecordLine(Unit("u1", false)) + "\n" + end.substr(0, end.size() / 2));
    {
        RecordFile record;
        ASSERT_EQ(record.Open(path_, nullptr, nullptr), RecordFileStatus::Opened);
        ASSERT_TRUE(record.Append(Unit("u2", false)));
    }
    const RecordContents contents = ReadRecordFile(path_, nullptr);
    ASSERT_TRUE(contents.opened);
    EXPECT_FALSE(contents.foreign);
    EXPECT_EQ(contents.cutLines, std::vector<std::size_t>{2});
    ASSERT_EQ(contents.units.size(), 2u);
    EXPECT_EQ(contents.units[0].unit, "u1");
    EXPECT_EQ(contents.units[0].outcome, UnitOutcome::Unfinished);
    EXPECT_EQ(contents.units[1].unit, "u2");
    EXPECT_EQ(contents.units[1].outcome, UnitOutcome::Unfinished);
    EXPECT_EQ(contents.units[1].port, "port-u2");
}

// Files the station finds at the record's place: whether it writes there.
struct FoundFile {
    const char* name;
    std::string bytes;
    bool ours;
};

class FoundRecordFile : public RecordFileTest, public testing::WithParamInterface<FoundFile> {};

TEST_P(FoundRecordFile, IsWrittenOnlyWhenOurs) {
    const FoundFile& found = GetParam();
    Write(found.bytes);
    RecordFile record;
    ASSERT_EQ(record.Open(path_, nullptr, nullptr),
              found.ours ? RecordFileStatus::Opened : RecordFileStatus::NotOurs);
    const RecordContents contents = ReadRecordFile(path_, nullptr);
    EXPECT_EQ(contents.foreign, !found.ours);
    if (!found.ours) {
        EXPECT_FALSE(record.Append(Unit("u9", true)));
        EXPECT_EQ(Contents(), found.bytes);
        EXPECT_TRUE(contents.units.empty());
        return;
    }
    ASSERT_TRUE(record.Append(Unit("u9", true)));
    const RecordContents after = ReadRecordFile(path_, nullptr);
    ASSERT_FALSE(after.units.empty());
    EXPECT_EQ(after.units.back().unit, "u9");
    EXPECT_EQ(Contents().substr(0, found.bytes.size()), found.bytes);
}

const std::string kStart = RecordLine(Unit("u1", false));

INSTANTIATE_TEST_SUITE_P(
    Found, FoundRecordFile,
    testing::Values(FoundFile{"Empty", "", true},
                    FoundFile{"BlankLines", "\n\n", true},
                    FoundFile{"Ours", kStart + "\n", true},
                    // u9's end, with no start, counts after it
                    FoundFile{"OursFirstLineCut", kStart.substr(0, 20) + "\n" + kStart + "\n", true},
                    FoundFile{"ZerosOfAPowerCut", std::string(16, '\0'), true},
                    FoundFile{"OtherSchema", "{\"schema\":\"app-log/3\"}\n" + kStart + "\n", false},
                    FoundFile{"OtherJsonLines", "{\"level\":\"info\"}\n", false},
                    FoundFile{"Text", "notes about the bench\n", false},
                    FoundFile{"TextWithoutLineEnd", "x", false}),
    [](const testing::TestParamInfo<FoundFile>& info) { return info.param.name; });

TEST_F(RecordFileTest, FailedSyncIsAFailedAppend) {
    RecordFile record;
    ASSERT_EQ(record.Open(path_, nullptr, SyncFails), RecordFileStatus::Opened);
    EXPECT_FALSE(record.Append(Unit("u1", false)));
    EXPECT_FALSE(RecordFile().Append(Unit("u1", false)));  // never opened
}

TEST_F(RecordFileTest, PortsAppendingAtOnceLeaveWholeLines) {
    constexpr int kPorts = 4, kUnits = 50;
    {
        RecordFile record;
        ASSERT_EQ(record.Open(path_, nullptr, nullptr), RecordFileStatus::Opened);
        std::vector<std::thread> ports;
        for (int port = 0; port < kPorts; ++port)
            ports.emplace_back([&record, port] {
                for (int i = 0; i < kUnits; ++i)
                    record.Append(Unit(std::to_string(port) + "-" + std::to_string(i), i % 2 == 1));
            });
        for (std::thread& port : ports) port.join();
    }
    const RecordContents contents = ReadRecordFile(path_, nullptr);
    EXPECT_TRUE(contents.cutLines.empty());
    EXPECT_EQ(contents.units.size(), static_cast<std::size_t>(kPorts * kUnits));
}

}  // namespace
}  // namespace fwup::test
