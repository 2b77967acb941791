#pragma once

// Every text the dialog shows, in both languages. The bytes are those the
// dialog shows: the Chinese texts, the captions and the full-width question
// mark in GBK (code page 936), everything else ASCII.

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/device_model.h"

namespace fwup {

struct LocalizedText {
    const char* english;
    const char* chinese;
};

// The dialog's language choice: non-zero selects English, zero Chinese.
using LanguageFlag = int;

inline const char* Choose(const LocalizedText& text, LanguageFlag languageFlag) {
    return languageFlag != 0 ? text.english : text.chinese;
}

// "打开驱动失败": what both commands show when their device cannot be found or
// opened.
inline constexpr LocalizedText kOpenDriverFailedText{
    "Open the driver failed", "\xb4\xf2\xbf\xaa\xc7\xfd\xb6\xaf\xca\xa7\xb0\xdc"};

// --- Update
// "正在更新固件, 请等候......"
inline constexpr LocalizedText kUpdateWaitText{
    "Update the firmware, Please wait...",
    "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE, \xC7\xEB\xB5\xC8\xBA\xF2......"};
// "更新固件成功"
inline constexpr LocalizedText kUpdateSucceededText{
    "Update the firmware successfully", "\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE\xB3\xC9\xB9\xA6"};
// "更新固件失败"
inline constexpr LocalizedText kUpdateFailedText{
    "Update the firmware failure", "\xB8\xFC\xD0\xC2\xB9\xCC\xBC\xFE\xCA\xA7\xB0\xDC"};

// --- Clear
// "获取UserID失败"
inline constexpr LocalizedText kGetUserIdFailureText{
    "Get UserID failure", "\xbb\xf1\xc8\xa1" "UserID" "\xca\xa7\xb0\xdc"};
// "用户ID不符, ID = 0x" / ", 不能更新"
inline constexpr LocalizedText kUserIdRefusedBefore{
    "UserID is not error, ID = 0x", "\xd3\xc3\xbb\xa7" "ID" "\xb2\xbb\xb7\xfb" ", ID = 0x"};
inline constexpr LocalizedText kUserIdRefusedAfter{
    ", Can not update", ", " "\xb2\xbb\xc4\xdc\xb8\xfc\xd0\xc2"};
// "当前版本为V" / ", 是否更新？"; both languages end in the full-width question mark.
inline constexpr LocalizedText kQuestionBefore{
    "Then current version is V", "\xb5\xb1\xc7\xb0\xb0\xe6\xb1\xbe\xce\xaa" "V"};
inline constexpr LocalizedText kQuestionAfter{
    ", whether to update \xa3\xbf", ", " "\xca\xc7\xb7\xf1\xb8\xfc\xd0\xc2\xa3\xbf"};
// "提示", the question box's caption in both languages.
inline constexpr char kQuestionCaption[] = "\xcc\xe1\xca\xbe";
// "清除原固件成功" / "清除原固件失败"
inline constexpr LocalizedText kClearSucceededText{
    "Clear the original firmware successfully",
    "\xc7\xe5\xb3\xfd\xd4\xad\xb9\xcc\xbc\xfe\xb3\xc9\xb9\xa6"};
inline constexpr LocalizedText kClearFailedText{
    "Clear the original firmware failure",
    "\xc7\xe5\xb3\xfd\xd4\xad\xb9\xcc\xbc\xfe\xca\xa7\xb0\xdc"};

// --- Both commands, when the program carries the stand-in image and found a
// real device: nothing was changed. "仅含测试固件, 请用设备自己的固件重新构建"
inline constexpr LocalizedText kStandInImageText{
    "Test image only: rebuild with the device's own image",
    "\xBD\xF6\xBA\xAC\xB2\xE2\xCA\xD4\xB9\xCC\xBC\xFE, \xC7\xEB\xD3\xC3\xC9\xE8\xB1\xB8"
    "\xD7\xD4\xBC\xBA\xB5\xC4\xB9\xCC\xBC\xFE\xD6\xD8\xD0\xC2\xB9\xB9\xBD\xA8"};

inline constexpr std::size_t kComposedTextSize = 256;
using ComposedText = std::array<char, kComposedTextSize>;

// "...ID = 0x" and the id in upper-case hex, at least four wide, blank-filled.
ComposedText ComposeUserIdText(std::uint32_t userId, LanguageFlag languageFlag);

// "...V" major "." minor: the minor part at least two wide, blank-filled, so
// 0x0305 reads "3. 5".
ComposedText ComposeVersionQuestion(std::uint16_t version, LanguageFlag languageFlag);

}  // namespace fwup
