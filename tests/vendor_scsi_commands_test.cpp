#include <gtest/gtest.h>

#include <cstring>

#include "storage/vendor_scsi_commands.h"
#include "storage_test_support.h"

namespace fwup {
namespace {

using test::Cdb;
using test::DeviceInStorageMode;
using test::VendorCdbBytes;

// A platform whose one volume answers with whatever bytes the test gives, so
// that the judgement of any reply can be tried.
struct ScriptedVolume : ScsiDrives {
    bool carriedOut = true;
    std::vector<std::uint8_t> delivers;
    int calls = 0;
    Cdb cdb;
    ScsiCommand received{};

    std::vector<VolumeCandidate> FindCandidateVolumes() override { return {{"scripted", "", ""}}; }
    PlatformHandle OpenVolume(const VolumeCandidate&, DriveStatus*) override { return 7; }
    void CloseVolume(PlatformHandle) override {}
    ScsiResult Execute(PlatformHandle, const ScsiCommand& command) override {
        ++calls;
        received = command;
        cdb.assign(command.cdb, command.cdb + command.cdbLength);
        const std::size_t count = std::min<std::size_t>(delivers.size(), command.dataLength);
        if (count > 0) std::memcpy(command.data, delivers.data(), count);
        return {carriedOut ? DriveStatus::Ok : DriveStatus::Failed, carriedOut, 0,
                static_cast<std::uint32_t>(count), {}};
    }
};

constexpr PlatformHandle kSomeVolume = 7;

TEST(SendVendorCommand, InvalidHandleSendsNothing) {
    ScriptedVolume volume;
    const VendorCdb cdb = BuildVendorCdb(kEraseCommand);
    std::uint8_t reply[4] = {0x55, 0x33, 9, 9};
    EXPECT_EQ(SendVendorCommand(volume, kInvalidHandleValue, cdb.data(), 10, reply, 4, 1000),
              VendorCommandResult::NoDevice);
    EXPECT_EQ(volume.calls, 0);
}

TEST(SendVendorCommand, TheSignatureAloneDecides) {
    struct Case {
        const char* what;
        bool carriedOut;
        std::vector<std::uint8_t> delivers;
        std::int32_t replyLength;
        VendorCommandResult expected;
    };
    const Case cases[] = {
        {"signed reply", true, {0x55, 0x33, 0x02, 0x40}, 4, VendorCommandResult::Success},
        {"signature only, 3 asked", true, {0x55, 0x33}, 3, VendorCommandResult::Success},
        {"signed reply, call failed", false, {0x55, 0x33, 0x02, 0x40}, 4,
         VendorCommandResult::Failed},
        {"byte 0 wrong", true, {0x54, 0x33, 0x02, 0x40}, 4, VendorCommandResult::Failed},
        {"byte 1 wrong", true, {0x55, 0x34, 0x02, 0x40}, 4, VendorCommandResult::Failed},
        {"swapped", true, {0x33, 0x55, 0x02, 0x40}, 4, VendorCommandResult::Failed},
        {"nothing delivered", true, {}, 4, VendorCommandResult::Failed},
        {"length 2", true, {0x55, 0x33}, 2, VendorCommandResult::Failed},
        {"length 1", true, {0x55, 0x33}, 1, VendorCommandResult::Failed},
        {"length 0", true, {0x55, 0x33}, 0, VendorCommandResult::Failed},
        {"length -1", true, {0x55, 0x33}, -1, VendorCommandResult::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedVolume volume;
        volume.carriedOut = c.carriedOut;
        volume.delivers = c.delivers;
        // A signature left in the buffer from before must not count.
        std::uint8_t reply[8] = {0x55, 0x33, 0x55, 0x33, 0x55, 0x33, 0x55, 0x33};
        const VendorCdb cdb = BuildVendorCdb(kVersionQueryCommand);
        EXPECT_EQ(SendVendorCommand(volume, kSomeVolume, cdb.data(), 10, reply, c.replyLength, 5),
                  c.expected);
        EXPECT_EQ(volume.calls, 1);
    }
}

TEST(SendVendorCommand, AsksForItsReplyAsOneDataInCommand) {
    ScriptedVolume volume;
    volume.delivers = {0x55, 0x33};
    const VendorCdb cdb = BuildVendorCdb(kUserIdQueryCommand);
    std::uint8_t reply[8];
    SendVendorCommand(volume, kSomeVolume, cdb.data(), 10, reply, 8, 1000);
    EXPECT_EQ(volume.cdb, (Cdb{0x87, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(volume.received.direction, DataDirection::In);
    EXPECT_EQ(volume.received.data, reply);
    EXPECT_EQ(volume.received.dataLength, 8u);
    EXPECT_EQ(volume.received.timeLimitSeconds, 1000u);
}

TEST(SendVendorCommand, CopiesAtMostTenCdbBytes) {
    const std::uint8_t given[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    struct Case {
        std::int32_t count;
        Cdb expected;
    };
    const Case cases[] = {
        {12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {6, {1, 2, 3, 4, 5, 6, 0, 0, 0, 0}},
        {-3, Cdb(10, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        ScriptedVolume volume;
        std::uint8_t reply[4];
        SendVendorCommand(volume, kSomeVolume, given, c.count, reply, 4, 1000);
        EXPECT_EQ(volume.cdb, c.expected);
    }
}

TEST(SendVendorCommand, NegativeReplyLengthAsksForNoData) {
    ScriptedVolume volume;
    volume.delivers = {0x55, 0x33, 1, 2};
    const VendorCdb cdb = BuildVendorCdb(kVersionQueryCommand);
    std::uint8_t reply[4] = {};
    EXPECT_EQ(SendVendorCommand(volume, kSomeVolume, cdb.data(), 10, reply, -1, 1000),
              VendorCommandResult::Failed);
    EXPECT_EQ(volume.received.dataLength, 0u);
    EXPECT_EQ(reply[0], 0);
}

TEST(VendorQueries, ReadTheDevicesNumbersHighByteFirst) {
    for (std::uint16_t version : {std::uint16_t{0x0240}, std::uint16_t{0x0001}}) {
        SimulatedDevice device = DeviceInStorageMode("E", version, 0x12345678);
        const PlatformHandle drive = device.OpenVolumeNamed("E");
        std::uint16_t readVersion = 0;
        std::uint32_t readUserId = 0;
        EXPECT_EQ(QueryFirmwareVersion(device, drive, &readVersion, 1000),
                  VendorCommandResult::Success);
        EXPECT_EQ(readVersion, version);
        // The device puts AB CD in bytes 2 and 3 of this reply.
        EXPECT_EQ(QueryUserID(device, drive, &readUserId, 1000), VendorCommandResult::Success);
        EXPECT_EQ(readUserId, 0x12345678u);
        EXPECT_EQ(QueryFirmwareVersion(device, drive, nullptr, 1000),
                  VendorCommandResult::Success);
        EXPECT_EQ(QueryUserID(device, drive, nullptr, 1000), VendorCommandResult::Success);
        EXPECT_EQ(device.CdbsReceivedAt("E"),
                  (std::vector<Cdb>{VendorCdbBytes(0x10), VendorCdbBytes(0xAA),
                                    VendorCdbBytes(0x10), VendorCdbBytes(0xAA)}));
        device.CloseVolume(drive);
    }
}

TEST(VendorQueries, StoreOnlyWhatASignedReplyCarries) {
    const VendorCommandResult kFailed = VendorCommandResult::Failed;
    struct Case {
        const char* what;
        StorageFault versionFault;
        StorageFault userIdFault;
        VendorCommandResult expected;
        std::uint16_t version;  // what the locations hold afterwards
        std::uint32_t userId;
    };
    // The locations start as BEEF and CAFEF00D; the device has 2.40 and 12345678.
    const Case cases[] = {
        {"call fails", {ScsiFault::PassThroughFails, 0}, {ScsiFault::PassThroughFails, 0},
         kFailed, 0xBEEF, 0xCAFEF00D},
        {"unsigned", {ScsiFault::NoSignature, 0}, {ScsiFault::NoSignature, 0}, kFailed, 0xBEEF,
         0xCAFEF00D},
        {"nothing delivered", {ScsiFault::ShortReply, 0}, {ScsiFault::ShortReply, 0}, kFailed,
         0xBEEF, 0xCAFEF00D},
        {"one byte delivered", {ScsiFault::ShortReply, 1}, {ScsiFault::ShortReply, 1}, kFailed,
         0xBEEF, 0xCAFEF00D},
        // Signed, but cut short: the zeros of the cleared buffer are no answer.
        {"signature only", {ScsiFault::ShortReply, 2}, {ScsiFault::ShortReply, 2}, kFailed,
         0xBEEF, 0xCAFEF00D},
        {"one byte short", {ScsiFault::ShortReply, 3}, {ScsiFault::ShortReply, 7}, kFailed,
         0xBEEF, 0xCAFEF00D},
        {"whole replies", {}, {}, VendorCommandResult::Success, 0x0240, 0x12345678},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device = DeviceInStorageMode("E", 0x0240, 0x12345678);
        device.InjectStorageFault(0x10, c.versionFault);
        device.InjectStorageFault(0xAA, c.userIdFault);
        const PlatformHandle drive = device.OpenVolumeNamed("E");
        std::uint16_t version = 0xBEEF;
        std::uint32_t userId = 0xCAFEF00D;
        EXPECT_EQ(QueryFirmwareVersion(device, drive, &version, 1000), c.expected);
        EXPECT_EQ(QueryUserID(device, drive, &userId, 1000), c.expected);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(userId, c.userId);
        device.CloseVolume(drive);
    }
}

// --- the search among the candidate volumes

struct SearchOutcome {
    PlatformHandle drive;
    std::uint16_t version;
};

SearchOutcome Search(SimulatedDevice& device) {
    SearchOutcome outcome{kInvalidHandleValue, 0xBEEF};
    outcome.drive = FindVendorDrive(device, &outcome.version, 1000).handle;
    return outcome;
}

void CloseFound(SimulatedDevice& device, PlatformHandle drive) {
    if (drive != kInvalidHandleValue) device.CloseVolume(drive);
    EXPECT_EQ(device.OpenHandleCount(), 0);
    EXPECT_EQ(device.ProtocolErrors(), 0u);
    EXPECT_LE(device.MostVolumesOpenAtOnce(), 1);
}

using Names = std::vector<std::string>;

TEST(FindVendorDrive, ProbesAnOrdinaryVolumeBeforeTheDevice) {
    SimulatedDevice device = DeviceInStorageMode("E", 0x0238);
    device.volumes["D"] = {VolumeKind::Removable, false, true};
    device.volumes["F"] = {VolumeKind::Removable, false, true};
    const SearchOutcome found = Search(device);
    ASSERT_NE(found.drive, kInvalidHandleValue);
    EXPECT_EQ(found.version, 0x0238);
    // The volumes after the device are not opened.
    EXPECT_EQ(device.VolumeOpenAttempts(), (Names{"D", "E"}));
    EXPECT_EQ(device.CdbsReceivedAt("D"), std::vector<Cdb>{VendorCdbBytes(0x10)});
    EXPECT_EQ(device.VolumeCloses(), Names{"D"});
    EXPECT_EQ(device.OpenHandleCount(), 1);
    device.CloseVolume(found.drive);
    EXPECT_EQ(device.VolumeCloses(), (Names{"D", "E"}));
    CloseFound(device, kInvalidHandleValue);
}

TEST(FindVendorDrive, TakesTheFirstVolumeOfTheDevice) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes["F"] = {VolumeKind::CdRom, true, true};
    device.volumes["G"] = {VolumeKind::Removable, true, true};
    const SearchOutcome found = Search(device);
    EXPECT_EQ(device.VolumeOpenAttempts(), Names{"F"});
    EXPECT_TRUE(device.CdbsReceivedAt("G").empty());
    CloseFound(device, found.drive);
}

TEST(FindVendorDrive, OpensOnlyCandidatesAndGoesOnPastOneThatRefuses) {
    // Each of these would answer as the device if it were ever opened.
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes["C"] = {VolumeKind::Fixed, true, true};
    device.volumes["D"] = {VolumeKind::Network, true, true};
    device.volumes["E"] = {VolumeKind::RamDisk, true, true};
    device.volumes["F"] = {VolumeKind::CdRom, false, true};  // an ordinary CD-ROM
    device.volumes["G"] = {VolumeKind::Removable, true, false};  // refuses the open
    device.volumes["K"] = {VolumeKind::Removable, true, true};
    device.firmwareVersion = 0x0305;
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(device, &version, 1000);
    ASSERT_NE(found.handle, kInvalidHandleValue);
    EXPECT_EQ(found.volume.id, "K");
    EXPECT_EQ(version, 0x0305);
    EXPECT_EQ(device.VolumeOpenAttempts(), (Names{"F", "G", "K"}));
    EXPECT_TRUE(found.permissionDenied);  // G said so, for whoever finds nothing
    CloseFound(device, found.handle);
}

TEST(FindVendorDrive, WithoutTheDeviceTriesEveryCandidateAndKeepsTheVersion) {
    SimulatedDevice device(DeviceMode::StorageMode);
    device.volumes["D"] = {VolumeKind::Removable, false, true};
    device.volumes["R"] = {VolumeKind::CdRom, false, true};
    device.volumes["Z"] = {VolumeKind::Removable, false, true};
    const SearchOutcome found = Search(device);
    EXPECT_EQ(found.drive, kInvalidHandleValue);
    EXPECT_EQ(found.version, 0xBEEF);
    EXPECT_EQ(device.VolumeCloses(), (Names{"D", "R", "Z"}));
    CloseFound(device, found.drive);
}

}  // namespace
}  // namespace fwup
