#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/drive_platform.h"
#include "platform/user_interface.h"

namespace fwup {

inline constexpr std::uint32_t kClearTimeLimitSeconds = 1000;
// The user id is read from version 2.38 on, the user asked from 2.40 on.
inline constexpr std::uint16_t kUserIdCheckedAboveVersion = 0x0237;
inline constexpr std::uint16_t kQuestionFromVersion = 0x0240;
inline constexpr std::uint32_t kAcceptedUserId = 0xFFFFFFFF;
inline constexpr std::size_t kComposedTextSize = 256;

using ComposedText = std::array<char, kComposedTextSize>;

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

// "...ID = 0x" and the id in upper-case hex, at least four wide, blank-filled.
ComposedText ComposeUserIdText(std::uint32_t userId, LanguageFlag languageFlag);

// "...V" major "." minor: the minor part at least two wide, blank-filled, so
// 0x0305 reads "3. 5".
ComposedText ComposeVersionQuestion(std::uint16_t version, LanguageFlag languageFlag);

// The Clear button: finds the device among the drive letters, applies the
// version and user-id policy, asks from version 2.40 on, erases, and writes
// the one outcome text (nothing when the user declines). The drive it found is
// closed on every path. Always 0.
int OnClear(DrivePlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag);

}  // namespace fwup
