#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "download/download_protocol.h"
#include "app/dialog/dialog_commands.h"
#include "storage_test_support.h"
#include "test_images.h"

namespace fwup {
namespace {

using test::Cdb;
using test::DeviceInStorageMode;
using test::RecordingUserInterface;
using test::VendorCdbBytes;

// The texts as the user must see them, written out here on their own.
struct Pair {
    std::string english;
    std::string chinese;
    const std::string& In(LanguageFlag flag) const { return flag != 0 ? english : chinese; }
};
const Pair kOpenFailed{"Open the driver failed",
                       "\xb4\xf2\xbf\xaa\xc7\xfd\xb6\xaf\xca\xa7\xb0\xdc"};  // 打开驱动失败
const Pair kUserIdFailure{"Get UserID failure",
                          "\xbb\xf1\xc8\xa1" "UserID" "\xca\xa7\xb0\xdc"};  // 获取UserID失败
const Pair kCleared{"Clear the original firmware successfully",
                    "\xc7\xe5\xb3\xfd\xd4\xad\xb9\xcc\xbc\xfe\xb3\xc9\xb9\xa6"};  // 清除原固件成功
const Pair kNotCleared{"Clear the original firmware failure",
                       "\xc7\xe5\xb3\xfd\xd4\xad\xb9\xcc\xbc\xfe\xca\xa7\xb0\xdc"};  // 清除原固件失败
const char kCaption[] = "\xcc\xe1\xca\xbe";  // 提示

// 用户ID不符, ID = 0x<id>, 不能更新
Pair UserIdRefused(const std::string& id) {
    return {"UserID is not error, ID = 0x" + id + ", Can not update",
            "\xd3\xc3\xbb\xa7" "ID" "\xb2\xbb\xb7\xfb" ", ID = 0x" + id +
                ", \xb2\xbb\xc4\xdc\xb8\xfc\xd0\xc2"};
}

// 当前版本为V<version>, 是否更新？ (full-width question mark in both)
Pair Question(const std::string& version) {
    return {"Then current version is V" + version + ", whether to update \xa3\xbf",
            "\xb5\xb1\xc7\xb0\xb0\xe6\xb1\xbe\xce\xaa" "V" + version +
                ", \xca\xc7\xb7\xf1\xb8\xfc\xd0\xc2\xa3\xbf"};
}

bool ZeroAfterText(const ComposedText& text) {
    const std::size_t length = std::strlen(text.data());
    for (std::size_t i = length; i < text.size(); ++i)
        if (text[i] != '\0') return false;
    return true;
}

TEST(ClearTexts, UserIdIsUpperCaseHexBlankFilledToFour) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {0, "   0"}, {0xABC, " ABC"}, {0x12345678, "12345678"}, {0xFFFFFFFE, "FFFFFFFE"}};
    for (const auto& [userId, shown] : cases) {
        for (LanguageFlag flag : {1, 0}) {
            const ComposedText text = ComposeUserIdText(userId, flag);
            EXPECT_EQ(text.data(), UserIdRefused(shown).In(flag));
            EXPECT_TRUE(ZeroAfterText(text));
        }
    }
}

TEST(ClearTexts, VersionIsMajorDotMinorWithTheMinorBlankFilledToTwo) {
    const std::pair<std::uint16_t, std::string> cases[] = {
        {0x0240, "2.40"}, {0x0305, "3. 5"}, {0x1A40, "1A.40"}, {0x024B, "2.4B"},
        {0xFFFF, "FF.FF"}};
    for (const auto& [version, shown] : cases) {
        for (LanguageFlag flag : {1, 0}) {
            const ComposedText text = ComposeVersionQuestion(version, flag);
            EXPECT_EQ(text.data(), Question(shown).In(flag));
            EXPECT_TRUE(ZeroAfterText(text));
        }
    }
}

// --- the outcome table, row by row, through the simulated device

struct OutcomeRow {
    const char* what;
    bool devicePresent;
    std::uint16_t version;
    StorageFault userIdFault;
    std::uint32_t userId;
    bool answer;
    StorageFault eraseFault;
    // What the status line shows afterwards; nullopt: it keeps its earlier text.
    std::optional<Pair> status;
    bool asked;
    std::vector<std::uint8_t> commandsSent;  // CDB byte 1 of each, in order
};

constexpr StorageFault kNoFault{};
constexpr StorageFault kFails{ScsiFault::PassThroughFails, 0};
constexpr StorageFault kUnsigned{ScsiFault::NoSignature, 0};
constexpr std::uint32_t kAccepted = 0xFFFFFFFF;

const OutcomeRow kOutcomeRows[] = {
    {"no device answers", false, 0, kNoFault, kAccepted, true, kNoFault, kOpenFailed, false, {}},
    {"version 0", true, 0x0000, kNoFault, 0, true, kNoFault, kCleared, false, {0x10, 0xFF}},
    {"version 2.37", true, 0x0237, kNoFault, 0, true, kNoFault, kCleared, false, {0x10, 0xFF}},
    {"2.37, erase fails", true, 0x0237, kNoFault, 0, true, kFails, kNotCleared, false,
     {0x10, 0xFF}},
    {"2.38, user-id query fails", true, 0x0238, kFails, kAccepted, true, kNoFault,
     kUserIdFailure, false, {0x10, 0xAA}},
    {"2.3F, user-id reply unsigned", true, 0x023F, kUnsigned, kAccepted, true, kNoFault,
     kUserIdFailure, false, {0x10, 0xAA}},
    {"2.38, accepted user id", true, 0x0238, kNoFault, kAccepted, true, kNoFault, kCleared,
     false, {0x10, 0xAA, 0xFF}},
    {"2.3F, accepted user id, erase unsigned", true, 0x023F, kNoFault, kAccepted, true,
     kUnsigned, kNotCleared, false, {0x10, 0xAA, 0xFF}},
    {"2.38, other user id", true, 0x0238, kNoFault, 0x12345678, true, kNoFault,
     UserIdRefused("12345678"), false, {0x10, 0xAA}},
    {"2.40, user-id query fails", true, 0x0240, kFails, kAccepted, true, kNoFault,
     kUserIdFailure, false, {0x10, 0xAA}},
    {"FF.FF, other user id", true, 0xFFFF, kNoFault, 0, true, kNoFault, UserIdRefused("   0"),
     false, {0x10, 0xAA}},
    {"2.40, one less than accepted", true, 0x0240, kNoFault, 0xFFFFFFFE, true, kNoFault,
     UserIdRefused("FFFFFFFE"), false, {0x10, 0xAA}},
    {"2.40, differs in the upper half only", true, 0x0240, kNoFault, 0x1234FFFF, true, kNoFault,
     UserIdRefused("1234FFFF"), false, {0x10, 0xAA}},
    {"2.40, Yes", true, 0x0240, kNoFault, kAccepted, true, kNoFault, kCleared, true,
     {0x10, 0xAA, 0xFF}},
    {"FF.FF, Yes, erase fails", true, 0xFFFF, kNoFault, kAccepted, true, kFails, kNotCleared,
     true, {0x10, 0xAA, 0xFF}},
    // The question box answers false for No, a closed box and one that could not be shown.
    {"2.40, No or no box", true, 0x0240, kNoFault, kAccepted, false, kNoFault, std::nullopt,
     true, {0x10, 0xAA}},
};

TEST(OnClear, WalksTheOutcomeTable) {
    for (const OutcomeRow& row : kOutcomeRows) {
        for (LanguageFlag flag : {1, 0}) {
            SCOPED_TRACE(std::string(row.what) + (flag ? " (English)" : " (Chinese)"));
            SimulatedDevice device = DeviceInStorageMode("E", row.version, row.userId);
            if (!row.devicePresent) device.volumes.erase("E");
            device.volumes["D"] = {VolumeKind::Removable, false, true};
            device.volumes["C"] = {VolumeKind::Fixed, false, true};
            device.InjectStorageFault(0xAA, row.userIdFault);
            device.InjectStorageFault(0xFF, row.eraseFault);
            RecordingUserInterface ui;
            ui.answer = row.answer;

            OnClear(device, ui, flag, test::TestImage(), Hardware::Simulated);

            EXPECT_EQ(ui.status, row.status ? row.status->In(flag) : "earlier text");
            EXPECT_EQ(ui.statusWrites, row.status ? 1 : 0);
            EXPECT_EQ(ui.questions.size(), row.asked ? 1u : 0u);
            std::vector<Cdb> expectedCdbs;
            for (std::uint8_t command : row.commandsSent)
                expectedCdbs.push_back(VendorCdbBytes(command));
            EXPECT_EQ(device.CdbsReceivedAt("E"), expectedCdbs);
            const bool erased = row.eraseFault.kind == ScsiFault::None &&
                                !row.commandsSent.empty() && row.commandsSent.back() == 0xFF;
            EXPECT_EQ(device.EraseCount(), erased ? 1u : 0u);
            // Each request asks for exactly its reply, with the 1000 s limit.
            for (const ScsiRequestRecord& request : device.ScsiLog()) {
                EXPECT_EQ(request.timeLimitSeconds, 1000u);
                EXPECT_EQ(request.dataLength, request.cdb[1] == 0xAA ? 8u : 4u);
            }
            // Every volume it opened is closed, each once.
            EXPECT_EQ(device.OpenHandleCount(), 0);
            EXPECT_EQ(device.ProtocolErrors(), 0u);
            EXPECT_EQ(device.VolumeCloses().size(), device.VolumeOpenAttempts().size());
            EXPECT_EQ(device.MostVolumesOpenAtOnce(), 1);
        }
    }
}

TEST(OnClear, AsksAboutTheVersionUnderTheSameCaptionInBothLanguages) {
    for (LanguageFlag flag : {1, 0}) {
        SimulatedDevice device = DeviceInStorageMode("G", 0x0240);
        RecordingUserInterface ui;
        ui.answer = false;
        OnClear(device, ui, flag, test::TestImage(), Hardware::Simulated);
        ASSERT_EQ(ui.questions.size(), 1u);
        EXPECT_EQ(ui.questions[0].first, Question("2.40").In(flag));
        EXPECT_EQ(ui.questions[0].second, kCaption);
    }
}

TEST(OnClear, EachClickSearchesAfresh) {
    SimulatedDevice device = DeviceInStorageMode("E", 0x0238, 0xABC);
    RecordingUserInterface ui;
    OnClear(device, ui, 1, test::TestImage(), Hardware::Simulated);
    device.userId = kAccepted;
    OnClear(device, ui, 1, test::TestImage(), Hardware::Simulated);
    EXPECT_EQ(ui.status, kCleared.english);
    EXPECT_EQ(ui.statusWrites, 2);
    EXPECT_EQ(device.VolumeOpenAttempts(), (std::vector<std::string>{"E", "E"}));
    EXPECT_EQ(device.CdbsReceivedAt("E").size(), 2u + 3u);
    EXPECT_EQ(device.OpenHandleCount(), 0);
}

// The whole story: Clear erases the device, it is re-plugged and comes up in
// vendor mode, and the Update's download fills it.
TEST(ClearThenUpdate, AnErasedDeviceTakesTheDownloadAfterReplug) {
    SimulatedDevice device = DeviceInStorageMode("E", 0x0240);
    device.volumes["D"] = {VolumeKind::Removable, false, true};
    RecordingUserInterface ui;
    OnClear(device, ui, 1, test::TestImage(), Hardware::Simulated);
    ASSERT_EQ(ui.status, kCleared.english);
    EXPECT_FALSE(OpenVendorUsbDevice(device).device);  // not yet re-plugged

    // Until it is re-plugged the device is gone from the drive letters too.
    OnClear(device, ui, 1, test::TestImage(), Hardware::Simulated);
    EXPECT_EQ(ui.status, kOpenFailed.english);

    device.Replug();
    EXPECT_EQ(device.mode, DeviceMode::VendorMode);
    const test::Bytes image = test::EmbeddedImage();
    ASSERT_FALSE(image.empty());
    std::optional<VendorUsbDevice> link = OpenVendorUsbDevice(device).device;
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(DownloadFirmware(*link, kUpdateEndFlag, test::Described(image), kUpdateTimeoutMs),
              DownloadResult::Ok);
    CloseVendorUsbDevice(link);
    EXPECT_TRUE(device.FirmwareComplete());
    EXPECT_EQ(device.OpenHandleCount(), 0);
    EXPECT_EQ(device.ProtocolErrors(), 0u);
}

}  // namespace
}  // namespace fwup
