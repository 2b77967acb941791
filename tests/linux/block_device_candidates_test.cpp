// Which block devices the drive letters stand for, read from a sysfs tree
// laid out in a temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/sg_io_drive_platform.h"

namespace fwup::test {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public testing::Test {
protected:
    FakeSysfs() {
        char pattern[] = "/tmp/fwup-sysfs-XXXXXX";
        root_ = mkdtemp(pattern);
    }
    ~FakeSysfs() override { fs::remove_all(root_); }

    void Write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    // A block device; scsiType < 0 leaves out device/type (not a SCSI device).
    void AddBlock(const std::string& name, int scsiType, bool removable) {
        const fs::path base = root_ / "block" / name;
        Write(base / "removable", removable ? "1\n" : "0\n");
        if (scsiType >= 0) {
            Write(base / "device" / "type", std::to_string(scsiType) + "\n");
            Write(base / "device" / "vendor", "VENDOR  \n");
            Write(base / "device" / "model", "MODEL " + name + "   \n");
        }
    }

    fs::path root_;
};

TEST(NaturalNameOrder, SortsSuffixesByLengthFirst) {
    const std::vector<std::pair<std::string, std::string>> ordered{
        {"sda", "sdb"}, {"sdz", "sdaa"}, {"sdaa", "sdab"}, {"sr2", "sr10"},
        {"sr9", "sr10"}, {"sdzz", "sr0"}, {"sr0", "sr1"}};
    for (const auto& [first, second] : ordered) {
        EXPECT_TRUE(NaturalNameLess(first, second)) << first << " < " << second;
        EXPECT_FALSE(NaturalNameLess(second, first)) << second << " < " << first;
    }
    EXPECT_FALSE(NaturalNameLess("sdb", "sdb"));
}

TEST_F(FakeSysfs, CandidatesAreCdRomsAndRemovableScsiDisksInNaturalOrder) {
    AddBlock("sr10", 5, true);
    AddBlock("sdaa", 0, true);
    AddBlock("sda", 0, false);     // a fixed disk
    AddBlock("sr2", 5, false);     // CD-ROMs need not say removable
    AddBlock("sdz", 0, true);
    AddBlock("sdb", 0, true);
    AddBlock("loop0", -1, false);  // no device/type: not SCSI
    AddBlock("mmcblk0", -1, true);
    AddBlock("sdc", 14, false);    // neither a CD-ROM nor removable

    const std::vector<BlockDeviceCandidate> candidates = ListBlockDeviceCandidates(root_.string());
    std::vector<std::string> names;
    for (const BlockDeviceCandidate& candidate : candidates) names.push_back(candidate.name);
    EXPECT_EQ(names, (std::vector<std::string>{"sdb", "sdz", "sdaa", "sr2", "sr10"}));
    EXPECT_EQ(candidates[0].type, DriveType::Removable);
    EXPECT_EQ(candidates[3].type, DriveType::CdRom);
    EXPECT_EQ(candidates[0].vendor, "VENDOR");
    EXPECT_EQ(candidates[0].model, "MODEL sdb");
}

TEST_F(FakeSysfs, LettersCToZStandForTheFirst24Candidates) {
    for (int i = 0; i < 26; ++i) AddBlock("sr" + std::to_string(i), 5, true);
    SgIoDrivePlatform platform(root_.string(), (root_ / "dev").string());
    EXPECT_EQ(platform.DriveTypeOf('C'), DriveType::CdRom);
    EXPECT_EQ(platform.CandidateOf('C')->name, "sr0");
    EXPECT_EQ(platform.CandidateOf('Z')->name, "sr23");
    EXPECT_EQ(platform.DriveTypeOf('A'), DriveType::Other);
    EXPECT_EQ(platform.DriveTypeOf('B'), DriveType::Other);
    EXPECT_FALSE(platform.CandidateOf('['));
    EXPECT_EQ(platform.DevicePath(*platform.CandidateOf('D')), (root_ / "dev" / "sr1").string());
    // No node: the volume does not open, and that is no question of rights.
    EXPECT_EQ(platform.OpenVolume('C'), kInvalidHandleValue);
    EXPECT_EQ(platform.AccessProblem(), DriveAccessProblem::None);
}

TEST_F(FakeSysfs, EverySearchFromCSeesTheDevicesPresentThen) {
    AddBlock("sdb", 0, true);
    SgIoDrivePlatform platform(root_.string(), (root_ / "dev").string());
    EXPECT_EQ(platform.DriveTypeOf('C'), DriveType::Removable);
    EXPECT_EQ(platform.DriveTypeOf('D'), DriveType::Other);
    AddBlock("sr0", 5, true);
    EXPECT_EQ(platform.DriveTypeOf('D'), DriveType::Other);  // the same search
    EXPECT_EQ(platform.DriveTypeOf('C'), DriveType::Removable);
    EXPECT_EQ(platform.DriveTypeOf('D'), DriveType::CdRom);  // a new one
}

TEST_F(FakeSysfs, WithoutSysfsThereIsNoCandidate) {
    SgIoDrivePlatform platform((root_ / "missing").string(), "/dev");
    for (char letter = 'C'; letter <= 'Z'; ++letter)
        EXPECT_EQ(platform.DriveTypeOf(letter), DriveType::Other) << letter;
}

}  // namespace
}  // namespace fwup::test
