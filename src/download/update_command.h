#pragma once

#include "download/firmware_image.h"
#include "platform/usb_platform.h"
#include "platform/user_interface.h"

namespace fwup {

// The texts it shows besides the open failure; front ends tell the outcome by them.
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

// The Update button: opens the device in vendor mode, shows the wait text,
// downloads the whole image, shows the outcome and closes the device again.
// A device that does not open shows the open-failure text alone: no wait
// text, nothing sent. Always 0.
int OnUpdate(UsbPlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag,
             FirmwareImage image);

}  // namespace fwup
