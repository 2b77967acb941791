#pragma once

// The dialog's decisions, apart from the window calls: its texts in both
// languages, the language choice, where it is placed and which handler a
// command reaches.

#include <array>
#include <cstdint>

#include "app/dialog/dialog_texts.h"

namespace fwup {

// Resources of the program's own module.
inline constexpr std::uint16_t kIconResourceId = 128;
inline constexpr std::uint16_t kDialogTemplateId = 129;
inline constexpr std::uint16_t kFirmwareImageResourceId = 201;
inline constexpr char kFirmwareImageResourceType[] = "Data";

// Controls of dialog 129.
inline constexpr std::uint16_t kUpdateButtonId = 1;  // IDOK
inline constexpr std::uint16_t kCancelButtonId = 2;  // IDCANCEL
inline constexpr std::uint16_t kStatusLineId = 1002;
inline constexpr std::uint16_t kClearButtonId = 1003;
inline constexpr std::uint16_t kVersionLineId = 1004;
inline constexpr std::uint16_t kStep1LineId = 1005;
inline constexpr std::uint16_t kStep2LineId = 1006;
inline constexpr std::uint16_t kStep3LineId = 1007;

struct ControlText {
    std::uint16_t controlId;
    LocalizedText text;
};

// Every control text, in the order the dialog writes them at start.
inline constexpr std::array<ControlText, 7> DialogTexts{{
    // "更新到版本2.40"
    {kVersionLineId, {"Update version to 2.40", "\xB8\xFC\xD0\xC2\xB5\xBD\xB0\xE6\xB1\xBE" "2.40"}},
    // "步骤1.运行[清除], 清除原固件"
    {kStep1LineId,
     {"Step 1.Run [Clear], Clear the original firmware",
      "\xB2\xBD\xD6\xE8" "1.\xD4\xCB\xD0\xD0[\xC7\xE5\xB3\xFD], "
      "\xC7\xE5\xB3\xFD\xD4\xAD\xB9\xCC\xBC\xFE"}},
    // "步骤2.重新插拔设备, 安装USB驱动"
    {kStep2LineId,
     {"Step 2.Re-plug the device , install the USB driver",
      "\xB2\xBD\xD6\xE8" "2.\xD6\xD8\xD0\xC2\xB2\xE5\xB0\xCE\xC9\xE8\xB1\xB8, "
      "\xB0\xB2\xD7\xB0USB\xC7\xFD\xB6\xAF"}},
    // "步骤3.运行[更新], 更新固件"
    {kStep3LineId,
     {"Step 3.Run [Update], Update the firmware",
      "\xB2\xBD\xD6\xE8" "3.\xD4\xCB\xD0\xD0[\xB8\xFC\xD0\xC2], \xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE"}},
    // "清除(&L)"
    {kClearButtonId, {"Clear(&L)", "\xC7\xE5\xB3\xFD(&L)"}},
    // "更新(&U)"
    {kUpdateButtonId, {"Update(&U)", "\xB8\xFC\xD0\xC2(&U)"}},
    // "取消(&C)"
    {kCancelButtonId, {"Cancel(&C)", "\xC8\xA1\xCF\xFB(&C)"}},
}};

// The version line names the version the embedded firmware brings.
static_assert(EndsWith(DialogTexts[0].text.english, FormatVersion(kUpdatedFirmwareVersion).View()));
static_assert(EndsWith(DialogTexts[0].text.chinese, FormatVersion(kUpdatedFirmwareVersion).View()));

// "厂商:Pelora 充电电流1.0A", the caption in both languages.
inline constexpr char DialogCaption[] =
    "\xB3\xA7\xC9\xCC:Pelora \xB3\xE4\xB5\xE7\xB5\xE7\xC1\xF7" "1.0A";

// Chinese (Simplified, People's Republic of China).
inline constexpr std::uint16_t kChineseTextsLangId = 2052;

// Chinese only for exactly 2052, all 16 bits compared; English otherwise,
// other Chinese language ids included.
LanguageFlag ChooseLanguageFlag(std::uint16_t userDefaultLangId);

struct ScreenRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};

struct ScreenPoint {
    std::int32_t x;
    std::int32_t y;
};

// The top-left corner that centres a width x height window on the work area,
// kept inside it; the left and top edges win when the window is larger.
ScreenPoint CenterDialog(const ScreenRect& workArea, std::int32_t width, std::int32_t height);

enum class DialogCommand { None, Update, Cancel, Clear };

inline constexpr std::uint16_t kButtonClicked = 0;  // BN_CLICKED

// Update and Cancel whatever the notification; Clear only on a click.
DialogCommand RouteCommand(std::uint16_t commandId, std::uint16_t notificationCode);

}  // namespace fwup
