// Which block devices the drive letters stand for, read from a sysfs tree
// laid out in a temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/sg_io_scsi_drives.h"

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
    EXPECT_FALSE(candidates[0].cdRom);
    EXPECT_TRUE(candidates[3].cdRom);
    EXPECT_EQ(candidates[0].vendor, "VENDOR");
    EXPECT_EQ(candidates[0].model, "MODEL sdb");
}

TEST_F(FakeSysfs, EverySearchSeesTheVolumesPresentThenByTheirNodes) {
    AddBlock("sdb", 0, true);
    SgIoScsiDrives drives(root_.string(), (root_ / "dev").string());
    auto ids = [&] {
        std::vector<std::string> found;
        for (const VolumeCandidate& volume : drives.FindCandidateVolumes()) found.push_back(volume.id);
        return found;
    };
    EXPECT_EQ(ids(), std::vector<std::string>{"/dev/sdb"});
    AddBlock("sr0", 5, true);
    EXPECT_EQ(ids(), (std::vector<std::string>{"/dev/sdb", "/dev/sr0"}));
    EXPECT_EQ(drives.FindCandidateVolumes()[0].description, "VENDOR MODEL sdb");
    // No node: the volume does not open, and that is no question of rights.
    DriveStatus why = DriveStatus::Ok;
    EXPECT_EQ(drives.OpenVolume({"/dev/sdb", "", ""}, &why), kInvalidHandleValue);
    EXPECT_EQ(why, DriveStatus::Gone);
    EXPECT_EQ(drives.OpenVolume({"sdb", "", ""}, &why), kInvalidHandleValue);  // not a volume's name
}

TEST_F(FakeSysfs, WithoutSysfsThereIsNoCandidate) {
    SgIoScsiDrives drives((root_ / "missing").string(), "/dev");
    EXPECT_TRUE(drives.FindCandidateVolumes().empty());
}

// Where sysfs places a block device says which USB device it sits on: its
// port path, and the serial the USB device gives (the hub's is not it).
TEST_F(FakeSysfs, UsbPortAndSerialComeFromTheUsbDeviceBehindTheBlockDevice) {
    struct Row {
        const char* name;
        const char* devicePath;  // under devices/, the block device's own folder
        const char* serialAt;    // where a serial file is, under devices/; null: none
        const char* port;
        const char* serial;
    };
    const Row rows[] = {
        {"sdb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1.4/1-1.4:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
         "pci0000:00/0000:00:14.0/usb1/1-1/1-1.4", "1-1.4", "ABC123"},
        // A serial on the hub above it is not the device's.
        {"sdc", "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0/block/sdc",
         "pci0000:00/0000:00:14.0/usb2", "2-3", ""},
        {"vda", "pci0000:00/0000:00:04.0/virtio1/block/vda", nullptr, "", ""},
    };
    for (const Row& row : rows) {
        const fs::path folder = root_ / "devices" / row.devicePath;
        fs::create_directories(folder);
        if (row.serialAt != nullptr) Write(root_ / "devices" / row.serialAt / "serial", "ABC123\n");
        fs::create_directories(root_ / "block");
        fs::create_directory_symlink(folder, root_ / "block" / row.name);
        EXPECT_EQ(UsbPortOfBlockDevice(root_, row.name), row.port) << row.name;
        EXPECT_EQ(UsbSerialOfBlockDevice(root_, row.name), row.serial) << row.name;
    }
    EXPECT_EQ(UsbSerialOfBlockDevice(root_, "sdz"), "");  // no such device
}

}  // namespace
}  // namespace fwup::test
