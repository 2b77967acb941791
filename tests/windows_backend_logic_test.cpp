// The Windows backends' logic that needs no Windows: the device search over
// interface paths, the detail record's arithmetic, the drive letters, the
// pass-through record and the IDs made of where a device sits.

#include <gtest/gtest.h>

#include <cstddef>
#include <cctype>
#include <cstring>
#include <map>

#include "platform/windows/device_location.h"
#include "platform/windows/interface_search.h"
#include "platform/windows/pass_through.h"

namespace fwup {
namespace {

const std::string kOtherDevice =
    "\\\\?\\usb#vid_046d&pid_c52b#6&1b2c3d&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const std::string kDevice =
    "\\\\?\\usb#vid_2008&pid_7639#5&2f3a7c1d&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

TEST(InterfaceSearch, PathTestIsCaseSensitiveAndOrderFree) {
    EXPECT_TRUE(InterfacePathMatches("usb#vid_2008&pid_7639#1"));
    EXPECT_TRUE(InterfacePathMatches("x#pid_7639#vid_2008"));
    EXPECT_FALSE(InterfacePathMatches("usb#VID_2008&PID_7639#1"));
    EXPECT_FALSE(InterfacePathMatches("usb#vid_2008&pid_7630#1"));
}

// The indices one walk asks for, as the platform answers each: an unreadable
// index is passed over, never taken for the end.
TEST(InterfaceSearch, EveryIndexIsAskedUntilThePlatformSaysNoMore) {
    using M = MemberAt;
    struct Case {
        std::vector<MemberAt> answers;  // past their end: End
        std::uint32_t asked;
    };
    const Case cases[] = {
        {{}, 1},
        {{M::Visited, M::Visited}, 3},
        {{M::Unreadable, M::Visited}, 3},
        {{M::Visited, M::Unreadable, M::Unreadable, M::Visited}, 5},
        {{M::Visited, M::End, M::Visited}, 2},
    };
    for (const Case& c : cases) {
        std::uint32_t asked = 0;
        ForEachMemberIndex([&](std::uint32_t index) {
            EXPECT_EQ(index, asked);
            ++asked;
            return index < c.answers.size() ? c.answers[index] : M::End;
        });
        EXPECT_EQ(asked, c.asked) << c.answers.size() << " answers";
    }
    std::uint32_t asked = 0;
    ForEachMemberIndex([&](std::uint32_t) { return ++asked, M::Unreadable; });
    EXPECT_EQ(asked, kMostInterfaceMembers);
}

// The model's devices among what one walk read: in order, each once.
TEST(InterfaceSearch, EachDeviceIsListedOnceByItsPortOrSerial) {
    const std::string kInstance = "USB\\VID_2008&PID_7639\\5F3A0001";
    const std::string kSecond =
        "\\\\?\\usb#vid_2008&pid_7639#7&aa&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    struct Case {
        const char* name;
        std::vector<PresentInterface> present;
        std::vector<std::string> ids;
    };
    std::string upper = kDevice;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    upper.replace(upper.find("VID_2008&PID_7639"), 17, "vid_2008&pid_7639");
    const Case cases[] = {
        {"another model left out", {{kOtherDevice, "USB\\VID_046D&PID_C52B\\1", "Port_#0001.Hub_#0001"},
                                    {kDevice, kInstance, "Port_#0003.Hub_#0002"}},
         {"hub2-port3"}},
        {"the same path twice", {{kDevice, kInstance, "Port_#0003.Hub_#0002"},
                                 {kDevice, kInstance, "Port_#0003.Hub_#0002"}},
         {"hub2-port3"}},
        {"the same path in other case", {{kDevice, kInstance, ""}, {upper, kInstance, ""}},
         {"serial:5F3A0001"}},
        {"two devices in order", {{kSecond, "USB\\VID_2008&PID_7639\\7&aa&0&1", ""},
                                  {kDevice, kInstance, "Port_#0001.Hub_#0001"}},
         {kSecond, "hub1-port1"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> ids;
        for (const UsbDeviceInfo& device : VendorDevicesAmong(c.present)) ids.push_back(device.id);
        EXPECT_EQ(ids, c.ids) << c.name;
    }
    const std::vector<UsbDeviceInfo> one =
        VendorDevicesAmong({{kDevice, kInstance, "Port_#0003.Hub_#0002"}});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].serial, "5F3A0001");
    EXPECT_EQ(one[0].path, kDevice);
}

TEST(InterfaceSearch, PipePathIsComposedWithoutTruncation) {
    EXPECT_EQ(ComposePipePath("dev", kReplyPipeName), "dev\\PIPE00");
    EXPECT_EQ(ComposePipePath("dev", kCommandPipeName), "dev\\PIPE01");
    const std::string longest(250, 'p');
    EXPECT_EQ(ComposePipePath(longest, kCommandPipeName).size(), 257u);  // 258 with the zero
}

TEST(InterfaceDetail, SizeAndFitTests) {
    const char path[] = "usb#vid_2008&pid_7639#1";
    const std::uint32_t required = 4 + sizeof path;
    char out[64];
    std::memset(out, 'z', sizeof out);
    EXPECT_TRUE(CopyInterfacePath(path, required, out, required));
    EXPECT_STREQ(out, path);
    EXPECT_FALSE(CopyInterfacePath(path, required, out, required - 1));
    // Sizes below the record's fixed head fail instead of writing past it.
    for (std::uint32_t tiny : {0u, 1u, 4u}) {
        EXPECT_FALSE(InterfaceDetailSizeUsable(tiny));
        EXPECT_FALSE(CopyInterfacePath(path, tiny, out, 255));
    }
    EXPECT_TRUE(InterfaceDetailSizeUsable(5));
    // A path without its zero inside the record is cut at the record's end.
    const char unterminated[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    EXPECT_TRUE(CopyInterfacePath(unterminated, 4 + 4, out, 255));
    EXPECT_STREQ(out, "abc");
}

TEST(DriveLetters, OnlyRemovableAndCdRomFromCToZEachAskedOnce) {
    const std::map<char, DriveType> types{{'A', DriveType::Removable}, {'B', DriveType::Removable},
                                          {'C', DriveType::Other},     {'D', DriveType::CdRom},
                                          {'E', DriveType::Removable}, {'K', DriveType::Other},
                                          {'Z', DriveType::Removable}};
    std::string asked;
    const std::vector<char> letters = CandidateDriveLetters([&](char letter) {
        asked += letter;
        const auto found = types.find(letter);
        return found == types.end() ? DriveType::Other : found->second;
    });
    EXPECT_EQ(letters, (std::vector<char>{'D', 'E', 'Z'}));
    EXPECT_EQ(asked, "CDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(DriveName('E'), "E:");
    EXPECT_EQ(RawVolumePath('E'), "\\\\.\\E:");
}

// Where the platform reads each field: a record laid out otherwise sends the
// wrong length, buffer or CDB, however well it is filled.
constexpr bool k32Bit = sizeof(void*) == 4;
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8);
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) == 16);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == (k32Bit ? 20 : 24));
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == (k32Bit ? 24 : 32));
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == (k32Bit ? 28 : 36));

TEST(PassThroughRecord, CarriesEachCommandToTheDeviceAsTarget1) {
    const std::uint8_t query[10] = {0x87, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::uint8_t sixBytes[6] = {0x12, 0, 0, 0, 0x24, 0};
    std::uint8_t reply[8] = {};
    struct Row {
        const char* what;
        ScsiCommand command;
        std::uint8_t dataIn;
        std::uint32_t length;
        void* buffer;
    };
    const Row rows[] = {
        {"data in", {query, 10, DataDirection::In, reply, 8, 1000}, kScsiIoctlDataIn, 8, reply},
        {"no data, a short CDB", {sixBytes, 6, DataDirection::None, nullptr, 8, 5},
         kScsiIoctlDataUnspecified, 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ScsiPassThroughDirect record = BuildPassThroughRecord(row.command);
        EXPECT_EQ(record.Length, kScsiPassThroughDirectLength);
        EXPECT_EQ(record.TargetId, 1);  // the device answers as target 1
        EXPECT_EQ(record.DataIn, row.dataIn);
        EXPECT_EQ(record.DataTransferLength, row.length);  // no buffer, no count
        EXPECT_EQ(record.DataBuffer, row.buffer);
        EXPECT_EQ(record.TimeOutValue, row.command.timeLimitSeconds);
        // The sense buffer follows the record in the same request.
        EXPECT_EQ(record.SenseInfoLength, kSenseBytes);
        EXPECT_EQ(record.SenseInfoOffset, kScsiPassThroughDirectLength);
        // The CDB as given, the rest of its field cleared.
        EXPECT_EQ(record.CdbLength, row.command.cdbLength);
        std::uint8_t cdb[kPassThroughCdbFieldSize] = {};
        std::memcpy(cdb, row.command.cdb, row.command.cdbLength);
        EXPECT_EQ(std::memcmp(record.Cdb, cdb, sizeof cdb), 0);
    }
}

TEST(PassThroughRecord, WhatThePlatformWritesBackIsReadWithinWhatWasAsked) {
    const std::uint8_t cdb[10] = {0x87, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0};
    std::uint8_t reply[8] = {};
    const ScsiPassThroughDirect record =
        BuildPassThroughRecord(ScsiCommand{cdb, 10, DataDirection::In, reply, 8, 1000});

    // What the platform writes back is never read as more than was asked.
    ScsiPassThroughDirect answered = record;
    answered.DataTransferLength = 3;
    EXPECT_EQ(PassThroughResult(true, answered, 8).bytesMoved, 3u);
    answered.DataTransferLength = 4000;
    EXPECT_EQ(PassThroughResult(true, answered, 8).bytesMoved, 8u);
    EXPECT_FALSE(PassThroughResult(false, answered, 8).carriedOut);

    // Sense as long as the platform says, and only with a status other than GOOD.
    std::uint8_t sense[kSenseBytes] = {0x70, 0, 0x05};
    answered.SenseInfoLength = 18;
    EXPECT_EQ(PassThroughResult(true, answered, 8, sense).sense.length, 0);
    answered.ScsiStatus = 0x02;
    const ScsiResult refused = PassThroughResult(true, answered, 8, sense);
    EXPECT_EQ(refused.scsiStatus, 0x02);
    ASSERT_EQ(refused.sense.length, 18);
    EXPECT_EQ(refused.sense.bytes[2], 0x05);
    answered.SenseInfoLength = 200;
    EXPECT_EQ(PassThroughResult(true, answered, 8, sense).sense.length, kSenseBytes);
}

// One ID for a device in both modes: its hub port, as the system words it.
TEST(DeviceLocation, HubPortIdOnlyFromTheSystemsOwnForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"Port_#0003.Hub_#0002", "hub2-port3"},
        {"port_#0012.hub_#0104", "hub104-port12"},
        {"Port_#0003.Hub_#", ""},
        {"Port_#0003.Hub_#0002 ", ""},
        {"Port_#1234567.Hub_#0002", ""},  // no port number of seven digits
        {"0000.0014.0000.001.003.000.000.000.000", ""},
        {"", ""},
    };
    for (const auto& [location, id] : cases) EXPECT_EQ(UsbLocationId(location), id) << location;
}

TEST(DeviceLocation, SerialOnlyWhereTheDeviceGaveOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_2008&PID_7639\\5F3A0001", "5F3A0001"},
        {"usb\\vid_2008&pid_7639\\5f3a0001", "5f3a0001"},
        {"USB\\VID_2008&PID_7639\\5&2F3A7C1D&0&2", ""},           // made up by the system
        {"USB\\VID_2008&PID_7639&MI_00\\6&1B2C3D&0&0000", ""},   // an interface
        {"USBSTOR\\DISK&VEN_X&PROD_Y\\5F3A0001", ""},           // another bus
        {"USB\\ROOT_HUB30", ""},
    };
    for (const auto& [instance, serial] : cases) EXPECT_EQ(SerialOfInstanceId(instance), serial) << instance;
    EXPECT_TRUE(IsUsbDeviceInstance("USB\\VID_2008&PID_7639\\5&2F3A7C1D&0&2"));
    EXPECT_FALSE(IsUsbDeviceInstance("USB\\VID_2008&PID_7639&MI_01\\6&1&0&1"));
    EXPECT_EQ(VendorDeviceId("hub2-port3", "5F3A0001", kDevice), "hub2-port3");
    EXPECT_EQ(VendorDeviceId("", "5F3A0001", kDevice), "serial:5F3A0001");
    EXPECT_EQ(VendorDeviceId("", "", kDevice), kDevice);
}

// The strings stand where the answer's fields say, and only within it.
TEST(DeviceLocation, StorageDescriptionReadsOnlyWithinTheAnswer) {
    std::uint8_t answer[64] = {};
    const auto put = [&](std::size_t field, std::uint32_t offset, const char* text) {
        for (int i = 0; i < 4; ++i) answer[field + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        if (text != nullptr) std::memcpy(answer + offset, text, std::strlen(text));
    };
    put(12, 40, "Vendor  ");
    put(16, 50, " Disk 2.0 ");
    EXPECT_EQ(StorageDescription(answer, sizeof answer), "Vendor Disk 2.0");
    EXPECT_EQ(StorageDescription(answer, 50), "Vendor");  // the product lies beyond
    EXPECT_EQ(StorageDescription(answer, 16), "");        // so does the product's field
    put(12, 0, nullptr);
    EXPECT_EQ(StorageDescription(answer, sizeof answer), "Disk 2.0");
    put(16, 1000, nullptr);
    EXPECT_EQ(StorageDescription(answer, sizeof answer), "");
}

}  // namespace
}  // namespace fwup
