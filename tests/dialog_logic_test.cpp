#include "app/dialog/dialog_logic.h"

#include <gtest/gtest.h>

#include <string>

#include "gbk_to_utf8.h"

namespace fwup::test {
namespace {

TEST(DialogTexts, EveryControlInBothLanguagesInWritingOrder) {
    struct Expected {
        std::uint16_t controlId;
        const char* english;
        const char* chineseUtf8;
    };
    const Expected expected[] = {
        {1004, "Update version to 2.40", "更新到版本2.40"},
        {1005, "Step 1.Run [Clear], Clear the original firmware", "步骤1.运行[清除], 清除原固件"},
        {1006, "Step 2.Re-plug the device , install the USB driver",
         "步骤2.重新插拔设备, 安装USB驱动"},
        {1007, "Step 3.Run [Update], Update the firmware", "步骤3.运行[更新], 更新固件"},
        {1003, "Clear(&L)", "清除(&L)"},
        {1, "Update(&U)", "更新(&U)"},
        {2, "Cancel(&C)", "取消(&C)"},
    };
    ASSERT_EQ(DialogTexts.size(), std::size(expected));
    for (std::size_t i = 0; i < DialogTexts.size(); ++i) {
        SCOPED_TRACE(expected[i].controlId);
        EXPECT_EQ(DialogTexts[i].controlId, expected[i].controlId);
        EXPECT_STREQ(Choose(DialogTexts[i].text, 1), expected[i].english);
        EXPECT_EQ(GbkToUtf8(Choose(DialogTexts[i].text, 0)), expected[i].chineseUtf8);
    }
}

TEST(DialogTexts, CaptionIsOneChineseText) {
    EXPECT_EQ(GbkToUtf8(DialogCaption), "厂商:Pelora 充电电流1.0A");
}

TEST(DialogLanguage, OnlyTheExactChineseSimplifiedIdGivesChinese) {
    EXPECT_EQ(ChooseLanguageFlag(2052), 0);
    // Traditional Chinese, Hong Kong, Singapore, the neutral Chinese id, US English,
    // and 2052 with any other bit set.
    for (std::uint16_t id : {1028, 3076, 4100, 4, 1033, 0, 0x0805, 0x8804, 0xFFFF})
        EXPECT_NE(ChooseLanguageFlag(id), 0) << id;
}

TEST(CenterDialog, CentresAndKeepsTheDialogOnTheWorkArea) {
    struct Case {
        ScreenRect workArea;
        std::int32_t width, height;
        ScreenPoint expected;
    };
    const Case cases[] = {
        {{0, 0, 1000, 700}, 400, 300, {300, 200}},
        {{0, 0, 1000, 700}, 1200, 300, {0, 200}},   // wider: the left edge wins
        {{0, 0, 1000, 700}, 400, 900, {300, 0}},    // taller: the top edge wins
        {{0, 0, 1023, 767}, 301, 201, {361, 283}},  // halves round toward zero
        {{0, 40, 1024, 768}, 300, 200, {362, 304}},  // task bar on top
        {{-1280, 0, 0, 1024}, 301, 201, {-790, 412}},  // a monitor left of the main one
        // (-2 + 1) / 2 rounds to 0, which leaves the right edge outside.
        {{-2, -2, 1, 1}, 3, 3, {-2, -2}},
    };
    for (const Case& c : cases) {
        const ScreenPoint at = CenterDialog(c.workArea, c.width, c.height);
        EXPECT_EQ(at.x, c.expected.x) << c.workArea.left << " " << c.width;
        EXPECT_EQ(at.y, c.expected.y) << c.workArea.top << " " << c.height;
    }
}

TEST(RouteCommand, UpdateAndCancelWhateverTheNotificationClearOnlyOnAClick) {
    struct Case {
        std::uint16_t id, notification;
        DialogCommand expected;
    };
    const Case cases[] = {
        {1, 0, DialogCommand::Update},     {1, 1, DialogCommand::Update},
        {1, 0xFFFF, DialogCommand::Update}, {2, 0, DialogCommand::Cancel},
        {2, 5, DialogCommand::Cancel},     {1003, 0, DialogCommand::Clear},
        {1003, 1, DialogCommand::None},    {1003, 5, DialogCommand::None},
        {1002, 0, DialogCommand::None},    {1004, 0, DialogCommand::None},
        {0, 0, DialogCommand::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RouteCommand(c.id, c.notification), c.expected)
            << c.id << "/" << c.notification;
}

}  // namespace
// The dialog's texts are GBK bytes: written as any other code page, they
// show as other characters on a Chinese system.
TEST(DialogTexts, AreTheGbkBytesOfTheirCharacters) {
    EXPECT_EQ(GbkToUtf8(kOpenDriverFailedText.chinese), "打开驱动失败");
    EXPECT_EQ(GbkToUtf8(kQuestionAfter.english), ", whether to update ？");
    EXPECT_EQ(GbkToUtf8(kQuestionCaption), "提示");
}

}  // namespace fwup::test
