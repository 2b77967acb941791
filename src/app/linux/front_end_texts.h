#pragma once

// The Linux front end's own texts, in both languages. Like the commands'
// texts they are GBK bytes, converted to UTF-8 when printed. Some are printf
// formats: %s stands for a device path, the numbers for counts and versions.

#include <array>

#include "platform/user_interface.h"

namespace fwup {

// "未找到处于下载模式的设备。请先运行 "firmware-updater clear"，然后重新插拔设备。"
inline constexpr LocalizedText kHintUpdateNoDevice{
    "No device in vendor mode was found. Run \"firmware-updater clear\" first, then "
    "unplug the device and plug it in again.",
    "\xce\xb4\xd5\xd2\xb5\xbd\xb4\xa6\xd3\xda\xcf\xc2\xd4\xd8\xc4\xa3\xca\xbd\xb5\xc4"
    "\xc9\xe8\xb1\xb8\xa1\xa3\xc7\xeb\xcf\xc8\xd4\xcb\xd0\xd0 \"firmware-updater clear\""
    "\xa3\xac\xc8\xbb\xba\xf3\xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa1\xa3"};
// "没有权限打开 %s：请以 root 身份运行，或安装 udev 规则后重新插拔设备。"
inline constexpr LocalizedText kHintUsbAccessDenied{
    "No permission to open %s: run as root, or install the udev rule and plug the device "
    "in again.",
    "\xc3\xbb\xd3\xd0\xc8\xa8\xcf\xde\xb4\xf2\xbf\xaa %s\xa3\xba\xc7\xeb\xd2\xd4 root "
    "\xc9\xed\xb7\xdd\xd4\xcb\xd0\xd0\xa3\xac\xbb\xf2\xb0\xb2\xd7\xb0 udev \xb9\xe6"
    "\xd4\xf2\xba\xf3\xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa1\xa3"};
// "设备 (%s) 正被其他程序或驱动占用：请关闭后重试。"
inline constexpr LocalizedText kHintUsbBusy{
    "Another program or driver holds the device (%s): close it and try again.",
    "\xc9\xe8\xb1\xb8 (%s) \xd5\xfd\xb1\xbb\xc6\xe4\xcb\xfb\xb3\xcc\xd0\xf2\xbb\xf2"
    "\xc7\xfd\xb6\xaf\xd5\xbc\xd3\xc3\xa3\xba\xc7\xeb\xb9\xd8\xb1\xd5\xba\xf3\xd6\xd8"
    "\xca\xd4\xa1\xa3"};
// "更新过程中设备已断开。"
inline constexpr LocalizedText kHintDeviceGone{
    "The device went away during the update.",
    "\xb8\xfc\xd0\xc2\xb9\xfd\xb3\xcc\xd6\xd0\xc9\xe8\xb1\xb8\xd2\xd1\xb6\xcf\xbf\xaa"
    "\xa1\xa3"};
// "设备停止响应。"
inline constexpr LocalizedText kHintDeviceSilent{
    "The device stopped answering.",
    "\xc9\xe8\xb1\xb8\xcd\xa3\xd6\xb9\xcf\xec\xd3\xa6\xa1\xa3"};
// "请重新插拔设备，然后再次运行 "firmware-updater update"。"
inline constexpr LocalizedText kHintUpdateFailed{
    "Unplug the device, plug it in again and run \"firmware-updater update\" again.",
    "\xc7\xeb\xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa3\xac\xc8\xbb\xba\xf3"
    "\xd4\xd9\xb4\xce\xd4\xcb\xd0\xd0 \"firmware-updater update\"\xa1\xa3"};
// "没有处于存储模式的设备响应。请插入设备后重试；如果已经清除过，请运行 "firmware-updater update"。"
inline constexpr LocalizedText kHintClearNoDevice{
    "No device in storage mode answered. Plug the device in and try again; if it has "
    "been cleared already, run \"firmware-updater update\".",
    "\xc3\xbb\xd3\xd0\xb4\xa6\xd3\xda\xb4\xe6\xb4\xa2\xc4\xa3\xca\xbd\xb5\xc4\xc9\xe8"
    "\xb1\xb8\xcf\xec\xd3\xa6\xa1\xa3\xc7\xeb\xb2\xe5\xc8\xeb\xc9\xe8\xb1\xb8\xba\xf3"
    "\xd6\xd8\xca\xd4\xa3\xbb\xc8\xe7\xb9\xfb\xd2\xd1\xbe\xad\xc7\xe5\xb3\xfd\xb9\xfd"
    "\xa3\xac\xc7\xeb\xd4\xcb\xd0\xd0 \"firmware-updater update\"\xa1\xa3"};
// "没有权限向 %s 发送命令：请以 root 身份运行（厂商命令需要 CAP_SYS_RAWIO）。"
inline constexpr LocalizedText kHintDriveAccessDenied{
    "No permission to send commands to %s: run as root (the vendor commands need "
    "CAP_SYS_RAWIO).",
    "\xc3\xbb\xd3\xd0\xc8\xa8\xcf\xde\xcf\xf2 %s \xb7\xa2\xcb\xcd\xc3\xfc\xc1\xee\xa3\xba"
    "\xc7\xeb\xd2\xd4 root \xc9\xed\xb7\xdd\xd4\xcb\xd0\xd0\xa3\xa8\xb3\xa7\xc9\xcc"
    "\xc3\xfc\xc1\xee\xd0\xe8\xd2\xaa CAP_SYS_RAWIO\xa3\xa9\xa1\xa3"};
// "现在请重新插拔设备，然后运行 "firmware-updater update"。"
inline constexpr LocalizedText kHintClearSucceeded{
    "Now unplug the device, plug it in again, then run \"firmware-updater update\".",
    "\xcf\xd6\xd4\xda\xc7\xeb\xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa3\xac"
    "\xc8\xbb\xba\xf3\xd4\xcb\xd0\xd0 \"firmware-updater update\"\xa1\xa3"};
// "请重新插拔设备，然后再次运行 "firmware-updater clear"。"
inline constexpr LocalizedText kHintClearFailed{
    "Unplug the device, plug it in again and run \"firmware-updater clear\" again.",
    "\xc7\xeb\xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa3\xac\xc8\xbb\xba\xf3"
    "\xd4\xd9\xb4\xce\xd4\xcb\xd0\xd0 \"firmware-updater clear\"\xa1\xa3"};
// "该设备的用户ID不允许此次更新：未清除任何内容。"
inline constexpr LocalizedText kHintRefused{
    "The device's user id does not allow this update: nothing was erased.",
    "\xb8\xc3\xc9\xe8\xb1\xb8\xb5\xc4\xd3\xc3\xbb\xa7ID\xb2\xbb\xd4\xca\xd0\xed\xb4\xcb"
    "\xb4\xce\xb8\xfc\xd0\xc2\xa3\xba\xce\xb4\xc7\xe5\xb3\xfd\xc8\xce\xba\xce\xc4\xda"
    "\xc8\xdd\xa1\xa3"};
// "未清除任何内容。"
inline constexpr LocalizedText kHintDeclined{
    "Nothing was erased.",
    "\xce\xb4\xc7\xe5\xb3\xfd\xc8\xce\xba\xce\xc4\xda\xc8\xdd\xa1\xa3"};
// "没有可用于回答的终端，因此视为回答“否”。如需回答“是”，请加 --yes 运行。"
inline constexpr LocalizedText kHintNoTerminal{
    "There is no terminal to answer on, so the answer is No. Run with --yes to answer "
    "Yes.",
    "\xc3\xbb\xd3\xd0\xbf\xc9\xd3\xc3\xd3\xda\xbb\xd8\xb4\xf0\xb5\xc4\xd6\xd5\xb6\xcb"
    "\xa3\xac\xd2\xf2\xb4\xcb\xca\xd3\xce\xaa\xbb\xd8\xb4\xf0\xa1\xb0\xb7\xf1\xa1\xb1"
    "\xa1\xa3\xc8\xe7\xd0\xe8\xbb\xd8\xb4\xf0\xa1\xb0\xca\xc7\xa1\xb1\xa3\xac\xc7\xeb"
    "\xbc\xd3 --yes \xd4\xcb\xd0\xd0\xa1\xa3"};
// "是 (--yes)"
inline constexpr LocalizedText kAnsweredYes{
    "Yes (--yes)",
    "\xca\xc7 (--yes)"};
// "设备位置：%s"
inline constexpr LocalizedText kInfoFoundAt{
    "Device found at %s",
    "\xc9\xe8\xb1\xb8\xce\xbb\xd6\xc3\xa3\xba%s"};
// "固件版本：%X.%02X (0x%04X)"
inline constexpr LocalizedText kInfoVersion{
    "Firmware version: %X.%02X (0x%04X)",
    "\xb9\xcc\xbc\xfe\xb0\xe6\xb1\xbe\xa3\xba%X.%02X (0x%04X)"};
// "用户ID：0x%08X"
inline constexpr LocalizedText kInfoUserId{
    "User id: 0x%08X",
    "\xd3\xc3\xbb\xa7ID\xa3\xba" "0x%08X"};
// "用户ID：读取失败"
inline constexpr LocalizedText kInfoUserIdFailed{
    "User id: could not be read",
    "\xd3\xc3\xbb\xa7ID\xa3\xba\xb6\xc1\xc8\xa1\xca\xa7\xb0\xdc"};
// "用户ID：此版本不检查"
inline constexpr LocalizedText kInfoUserIdNotChecked{
    "User id: not checked for this version",
    "\xd3\xc3\xbb\xa7ID\xa3\xba\xb4\xcb\xb0\xe6\xb1\xbe\xb2\xbb\xbc\xec\xb2\xe9"};
// "已连接处于下载模式的设备 (%s)：请运行 "firmware-updater update"。"
inline constexpr LocalizedText kInfoVendorMode{
    "A device in vendor mode is attached (%s): run \"firmware-updater update\".",
    "\xd2\xd1\xc1\xac\xbd\xd3\xb4\xa6\xd3\xda\xcf\xc2\xd4\xd8\xc4\xa3\xca\xbd\xb5\xc4"
    "\xc9\xe8\xb1\xb8 (%s)\xa3\xba\xc7\xeb\xd4\xcb\xd0\xd0 \"firmware-updater update\""
    "\xa1\xa3"};
// "%llu/%llu 字节，%u/%u 条命令"
inline constexpr LocalizedText kProgressCounts{
    "%llu/%llu bytes, %u/%u commands",
    "%llu/%llu \xd7\xd6\xbd\xda\xa3\xac%u/%u \xcc\xf5\xc3\xfc\xc1\xee"};
// "未知的命令或选项：%s。请参阅 "firmware-updater --help"。"
inline constexpr LocalizedText kUsageError{
    "Unknown command or option: %s. See \"firmware-updater --help\".",
    "\xce\xb4\xd6\xaa\xb5\xc4\xc3\xfc\xc1\xee\xbb\xf2\xd1\xa1\xcf\xee\xa3\xba%s\xa1\xa3"
    "\xc7\xeb\xb2\xce\xd4\xc4 \"firmware-updater --help\"\xa1\xa3"};
// "未指定命令。请参阅 "firmware-updater --help"。"
inline constexpr LocalizedText kNoCommand{
    "No command given. See \"firmware-updater --help\".",
    "\xce\xb4\xd6\xb8\xb6\xa8\xc3\xfc\xc1\xee\xa1\xa3\xc7\xeb\xb2\xce\xd4\xc4 "
    "\"firmware-updater --help\"\xa1\xa3"};
// "此系统无法访问 USB 设备：libusb 无法启动（/dev/bus/usb 是否存在？）。"
inline constexpr LocalizedText kHintUsbUnavailable{
    "USB devices cannot be reached on this system: libusb could not start (is "
    "/dev/bus/usb there?).",
    "\xb4\xcb\xcf\xb5\xcd\xb3\xce\xde\xb7\xa8\xb7\xc3\xce\xca USB \xc9\xe8\xb1\xb8"
    "\xa3\xbalibusb \xce\xde\xb7\xa8\xc6\xf4\xb6\xaf\xa3\xa8/dev/bus/usb \xca\xc7\xb7\xf1"
    "\xb4\xe6\xd4\xda\xa3\xbf\xa3\xa9\xa1\xa3"};
// "（模拟设备：不会访问任何硬件）"
inline constexpr LocalizedText kSimulationNote{
    "(simulated device: no hardware is touched)",
    "\xa3\xa8\xc4\xa3\xc4\xe2\xc9\xe8\xb1\xb8\xa3\xba\xb2\xbb\xbb\xe1\xb7\xc3\xce\xca"
    "\xc8\xce\xba\xce\xd3\xb2\xbc\xfe\xa3\xa9"};

// --help, line by line.
inline constexpr std::array<LocalizedText, 13> kHelpLines{{
    // "用法：firmware-updater [--simulate] [--yes] clear|update|info"
    {"Usage: firmware-updater [--simulate] [--yes] clear|update|info",
     "\xd3\xc3\xb7\xa8\xa3\xba" "firmware-updater [--simulate] [--yes] clear|update|info"},
    // "分三步更换 USB 存储设备的固件："
    {"Replaces the firmware of the USB storage device in three steps:",
     "\xb7\xd6\xc8\xfd\xb2\xbd\xb8\xfc\xbb\xbb USB \xb4\xe6\xb4\xa2\xc9\xe8\xb1\xb8"
     "\xb5\xc4\xb9\xcc\xbc\xfe\xa3\xba"},
    // "  1. firmware-updater clear   清除原固件（设备处于存储模式）"
    {"  1. firmware-updater clear   erases the old firmware (device in storage mode)",
     "  1. firmware-updater clear   \xc7\xe5\xb3\xfd\xd4\xad\xb9\xcc\xbc\xfe\xa3\xa8"
     "\xc9\xe8\xb1\xb8\xb4\xa6\xd3\xda\xb4\xe6\xb4\xa2\xc4\xa3\xca\xbd\xa3\xa9"},
    // "  2. 重新插拔设备：设备进入下载模式"
    {"  2. unplug the device and plug it in again: it comes up in vendor mode",
     "  2. \xd6\xd8\xd0\xc2\xb2\xe5\xb0\xce\xc9\xe8\xb1\xb8\xa3\xba\xc9\xe8\xb1\xb8"
     "\xbd\xf8\xc8\xeb\xcf\xc2\xd4\xd8\xc4\xa3\xca\xbd"},
    // "  3. firmware-updater update  写入内置固件（设备处于下载模式）"
    {"  3. firmware-updater update  writes the built-in firmware (device in vendor mode)",
     "  3. firmware-updater update  \xd0\xb4\xc8\xeb\xc4\xda\xd6\xc3\xb9\xcc\xbc\xfe"
     "\xa3\xa8\xc9\xe8\xb1\xb8\xb4\xa6\xd3\xda\xcf\xc2\xd4\xd8\xc4\xa3\xca\xbd\xa3\xa9"},
    // "  firmware-updater info      显示存储模式下的设备：位置、版本、用户ID"
    {"  firmware-updater info      shows the device in storage mode: where, version, user "
     "id",
     "  firmware-updater info      \xcf\xd4\xca\xbe\xb4\xe6\xb4\xa2\xc4\xa3\xca\xbd"
     "\xcf\xc2\xb5\xc4\xc9\xe8\xb1\xb8\xa3\xba\xce\xbb\xd6\xc3\xa1\xa2\xb0\xe6\xb1\xbe"
     "\xa1\xa2\xd3\xc3\xbb\xa7ID"},
    // "选项："
    {"Options:",
     "\xd1\xa1\xcf\xee\xa3\xba"},
    // "  --yes       对 clear 的提问回答“是”"
    {"  --yes       answer the question of clear with Yes",
     "  --yes       \xb6\xd4 clear \xb5\xc4\xcc\xe1\xce\xca\xbb\xd8\xb4\xf0\xa1\xb0"
     "\xca\xc7\xa1\xb1"},
    // "  --simulate  使用模拟设备代替硬件"
    {"  --simulate  use a simulated device instead of the hardware",
     "  --simulate  \xca\xb9\xd3\xc3\xc4\xa3\xc4\xe2\xc9\xe8\xb1\xb8\xb4\xfa\xcc\xe6"
     "\xd3\xb2\xbc\xfe"},
    // "  --help      显示本说明；  --version  显示程序版本"
    {"  --help      show this text;  --version  show the program's version",
     "  --help      \xcf\xd4\xca\xbe\xb1\xbe\xcb\xb5\xc3\xf7\xa3\xbb  --version  \xcf\xd4"
     "\xca\xbe\xb3\xcc\xd0\xf2\xb0\xe6\xb1\xbe"},
    // "退出码：0 完成，1 设备出错，2 用法错误，3 未找到设备，"
    {"Exit status: 0 done, 1 the device failed, 2 wrong usage, 3 no device found,",
     "\xcd\xcb\xb3\xf6\xc2\xeb\xa3\xba" "0 \xcd\xea\xb3\xc9\xa3\xac" "1 \xc9\xe8\xb1\xb8"
     "\xb3\xf6\xb4\xed\xa3\xac" "2 \xd3\xc3\xb7\xa8\xb4\xed\xce\xf3\xa3\xac" "3 \xce\xb4"
     "\xd5\xd2\xb5\xbd\xc9\xe8\xb1\xb8\xa3\xac"},
    // "  4 设备用户ID不允许，5 拒绝了提问，6 没有权限。"
    {"  4 refused by the device's user id, 5 question declined, 6 no permission.",
     "  4 \xc9\xe8\xb1\xb8\xd3\xc3\xbb\xa7ID\xb2\xbb\xd4\xca\xd0\xed\xa3\xac" "5 \xbe\xdc"
     "\xbe\xf8\xc1\xcb\xcc\xe1\xce\xca\xa3\xac" "6 \xc3\xbb\xd3\xd0\xc8\xa8\xcf\xde"
     "\xa1\xa3"},
    // "clear 和 info 需要 root 权限：厂商命令需要 CAP_SYS_RAWIO。"
    {"clear and info need root: the vendor commands need CAP_SYS_RAWIO.",
     "clear \xba\xcd info \xd0\xe8\xd2\xaa root \xc8\xa8\xcf\xde\xa3\xba\xb3\xa7\xc9\xcc"
     "\xc3\xfc\xc1\xee\xd0\xe8\xd2\xaa CAP_SYS_RAWIO\xa1\xa3"},
}};

}  // namespace fwup
