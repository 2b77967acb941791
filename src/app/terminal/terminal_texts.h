#pragma once

// Every text the terminal program shows, in English and Chinese, as UTF-8.
// Some are printf formats: %s stands for a device's name, the numbers for
// counts and versions.

namespace fwup {

struct TerminalText {
    const char* english;
    const char* chinese;
};

enum class Language { English, Chinese };

inline const char* Say(const TerminalText& text, Language language) {
    return language == Language::Chinese ? text.chinese : text.english;
}

// The name a person types (FWUP_PROGRAM_NAME) and the manual (FWUP_MANUAL)
// are the build's, for the system it builds for.

// What a system asks of a user for rights, and how it names devices: each
// system's program gives its own (linux/system_texts.cpp).
struct SystemTexts {
    TerminalText usbAccessDenied;    // %s: the device in vendor mode
    TerminalText driveAccessDenied;  // %s: the volume
    TerminalText needsRights;        // list: a volume this user may not ask
    TerminalText rightsNote;         // --help: who may do what
    TerminalText idNote;             // --help: the forms of a device's ID
};
extern const SystemTexts kSystemTexts;

// --- The outcome of a command: what became of the device.
inline constexpr TerminalText kNoDeviceText{"No device found.", "未找到设备。"};
inline constexpr TerminalText kOpenFailedText{"Could not open the device.", "无法打开设备。"};
inline constexpr TerminalText kUpdateWaitText{"Updating the firmware, please wait...",
                                              "正在更新固件，请稍候……"};
inline constexpr TerminalText kUpdatedText{"Firmware updated.", "固件已更新。"};
inline constexpr TerminalText kUpdateFailedText{"The update failed.", "更新失败。"};
inline constexpr TerminalText kUserIdFailureText{"Could not read the device's user id.",
                                                 "无法读取设备的用户ID。"};
inline constexpr TerminalText kUserIdRefusedText{
    "The device's user id 0x%08X does not allow an update.",
    "设备的用户ID 0x%08X 不允许更新。"};
inline constexpr TerminalText kErasedText{"Firmware erased.", "固件已清除。"};
inline constexpr TerminalText kEraseFailedText{"The erase failed.", "清除失败。"};
inline constexpr TerminalText kBusyText{
    "The device is busy: another program is working on it. Nothing was sent.",
    "设备正忙：另一个程序正在使用它。未发送任何内容。"};
inline constexpr TerminalText kStandInText{
    "This program carries the stand-in test image, not the device's firmware: nothing was "
    "changed. Build it with the device's own image: cmake -DFIRMWARE_IMAGE=/path/to/image.bin",
    "此程序带有测试用的替代固件映像，而不是设备的固件：未做任何更改。请用设备自己的固件映像构建："
    "cmake -DFIRMWARE_IMAGE=/path/to/image.bin"};

// --- The question of clear, with an ASCII question mark.
inline constexpr TerminalText kQuestionText{
    "The device has firmware version %X.%02X. Erase it to update the device?",
    "设备的固件版本为 %X.%02X。是否清除固件以便更新?"};
inline constexpr TerminalText kAnsweredYes{"Yes (--yes)", "是 (--yes)"};

// --- What to do next.
inline constexpr TerminalText kHintUpdateNoDevice{
    "No device is in vendor mode. Run \"" FWUP_PROGRAM_NAME " clear\" first, then unplug the "
    "device and plug it in again.",
    "没有处于下载模式的设备。请先运行 \"" FWUP_PROGRAM_NAME " clear\"，然后重新插拔设备。"};
inline constexpr TerminalText kHintUsbBusy{
    "Another program or driver holds the device (%s): close it and try again.",
    "设备 (%s) 正被其他程序或驱动占用：请关闭后重试。"};
inline constexpr TerminalText kHintDeviceGone{"The device went away during the update.",
                                              "更新过程中设备已断开。"};
inline constexpr TerminalText kHintDeviceSilent{"The device stopped answering.", "设备停止响应。"};
inline constexpr TerminalText kHintUpdateFailed{
    "Unplug the device, plug it in again and run \"" FWUP_PROGRAM_NAME " update\" again.",
    "请重新插拔设备，然后再次运行 \"" FWUP_PROGRAM_NAME " update\"。"};
inline constexpr TerminalText kHintClearNoDevice{
    "No device in storage mode answered. Plug the device in and try again; if it has been "
    "cleared already, run \"" FWUP_PROGRAM_NAME " update\".",
    "没有处于存储模式的设备响应。请插入设备后重试；如果已经清除过，请运行 \"" FWUP_PROGRAM_NAME " "
    "update\"。"};
inline constexpr TerminalText kHintClearAllSucceeded{
    "Now unplug the erased devices, plug them in again, then run \"" FWUP_PROGRAM_NAME " update "
    "--all\".",
    "现在请重新插拔已清除的设备，然后运行 \"" FWUP_PROGRAM_NAME " update --all\"。"};
inline constexpr TerminalText kHintClearSucceeded{
    "Now unplug the device, plug it in again, then run \"" FWUP_PROGRAM_NAME " update\".",
    "现在请重新插拔设备，然后运行 \"" FWUP_PROGRAM_NAME " update\"。"};
inline constexpr TerminalText kHintClearFailed{
    "Unplug the device, plug it in again and run \"" FWUP_PROGRAM_NAME " clear\" again.",
    "请重新插拔设备，然后再次运行 \"" FWUP_PROGRAM_NAME " clear\"。"};
inline constexpr TerminalText kHintRefused{"Nothing was erased.", "未清除任何内容。"};
inline constexpr TerminalText kHintDeclined{"Nothing was erased.", "未清除任何内容。"};
inline constexpr TerminalText kHintNoTerminal{
    "There is no terminal to answer on, so the answer is No. Run with --yes to answer Yes.",
    "没有可用于回答的终端，因此视为回答“否”。如需回答“是”，请加 --yes 运行。"};
inline constexpr TerminalText kHintUsbUnavailable{
    "USB devices cannot be reached on this system: libusb could not start (is /dev/bus/usb "
    "there?).",
    "此系统无法访问 USB 设备：libusb 无法启动（/dev/bus/usb 是否存在？）。"};
inline constexpr TerminalText kInterruptedText{"interrupted", "已中断"};
inline constexpr TerminalText kHintInterruptedUpdate{
    "The device stays in vendor mode: run \"" FWUP_PROGRAM_NAME " update\" again.",
    "设备仍处于下载模式：请再次运行 \"" FWUP_PROGRAM_NAME " update\"。"};
inline constexpr TerminalText kHintInterruptedClear{"Nothing was erased.", "未清除任何内容。"};

// --- run, list, choosing a device
inline constexpr TerminalText kReplugAndWait{
    "Now unplug the device and plug it in again: waiting up to %d s for it to come up in "
    "vendor mode.",
    "现在请重新插拔设备：最多等待 %d 秒，直到它以下载模式出现。"};
inline constexpr TerminalText kStateClearing{"clearing", "正在清除"};
inline constexpr TerminalText kStateErasing{"erasing", "正在擦除"};
inline constexpr TerminalText kStateWaiting{"waiting for the re-plug", "等待重新插拔"};
inline constexpr TerminalText kStateReplugToConfirm{"re-plug to confirm", "请重新插拔以确认"};

// --- station: the bench's board, one line a port.
inline constexpr TerminalText kStateAwaitingUnit{"waiting for a unit", "等待设备"};
inline constexpr TerminalText kStateReading{"reading", "正在读取"};
inline constexpr TerminalText kStateReplug{"re-plug", "请重新插拔"};
inline constexpr TerminalText kStateConfirming{"reading the version", "正在读取版本"};
inline constexpr TerminalText kStateHeld{"busy: another program holds it", "忙：另一个程序正在使用"};
inline constexpr TerminalText kStateNoPermission{"no permission to ask the unit", "无权访问该设备"};
inline constexpr TerminalText kBenchCounters{"passed %u   failed %u   units per hour %s",
                                             "通过 %u   失败 %u   每小时 %s 台"};
inline constexpr TerminalText kBenchServing{
    "Serving every port; Ctrl-C stops taking units.\nEach unit is recorded in %s",
    "正在服务所有端口；按 Ctrl-C 停止接受新设备。\n每台设备都记录在 %s 中。"};
inline constexpr TerminalText kBenchDraining{
    "Stopping: no new unit is taken, the units in flight finish. Press Ctrl-C again to "
    "interrupt them now.",
    "正在停止：不再接受新设备，进行中的设备将完成。再按一次 Ctrl-C 立即中断。"};
inline constexpr TerminalText kBenchPortUnknown{
    "%s: its USB port is not known, so the station cannot follow it through its re-plugs: use "
    "\"" FWUP_PROGRAM_NAME " run\".",
    "%s：其 USB 端口未知，工作站无法在重新插拔后找回它：请使用 \"" FWUP_PROGRAM_NAME " run\"。"};
inline constexpr TerminalText kBenchSummary{"Units: %u passed, %u failed.",
                                            "设备：%u 台通过，%u 台失败。"};
inline constexpr TerminalText kRecordNotOurs{
    "%s is not a units' record of this program: it is left as it is. Name another file with "
    "--record.",
    "%s 不是本程序的设备记录：保持原样。请用 --record 指定另一个文件。"};
inline constexpr TerminalText kRecordCutLine{
    "The last line of %s was cut short (a station stopped while writing it): it is kept as "
    "it is and skipped; the next unit starts a line of its own.",
    "%s 的最后一行不完整（工作站在写入时被停止）：保持原样并跳过；下一台设备另起一行。"};
inline constexpr TerminalText kRecordUnwritable{
    "The units' record %s cannot be written: no unit is served without its record.",
    "无法写入设备记录 %s：没有记录就不服务任何设备。"};
// The last line of a board taller than the window: the devices not shown.
inline constexpr TerminalText kBoardMoreDevices{"... and %u more", "……另有 %u 台"};
inline constexpr TerminalText kNotBack{
    "The device did not come up in vendor mode within %d s.",
    "设备在 %d 秒内没有以下载模式出现。"};
inline constexpr TerminalText kHintErasedNotUpdated{
    "The device is erased and awaits its firmware: plug it in and run \"" FWUP_PROGRAM_NAME
    " update\".",
    "设备已清除，正在等待固件：请插入设备并运行 \"" FWUP_PROGRAM_NAME " update\"。"};
// --- run --confirm: the version read back after the update's re-plug.
inline constexpr TerminalText kReplugToConfirm{
    "Updated. Now unplug the device and plug it in again: waiting up to %d s to read its "
    "version.",
    "已更新。现在请重新插拔设备：最多等待 %d 秒以读取其版本。"};
inline constexpr TerminalText kConfirmedText{"Firmware updated and confirmed.", "固件已更新并已确认。"};
inline constexpr TerminalText kNotConfirmedText{"The update is not confirmed.", "更新未得到确认。"};
inline constexpr TerminalText kHintRunsVersion{"The device came back running version %s.",
                                               "设备重新出现，运行版本 %s。"};
inline constexpr TerminalText kHintNotCompared{
    "The device came back running version %s; the image's version is not known, so nothing "
    "was compared (--image-version).",
    "设备重新出现，运行版本 %s；映像的版本未知，未做比对（--image-version）。"};
inline constexpr TerminalText kHintWrongVersion{
    "The device came back running version %s, not the image's version.",
    "设备重新出现，运行版本 %s，与映像的版本不符。"};
inline constexpr TerminalText kHintDidNotStart{
    "The device came back in vendor mode: its new firmware did not start. Run \"" FWUP_PROGRAM_NAME
    " update\" again.",
    "设备以下载模式重新出现：新固件未能启动。请再次运行 \"" FWUP_PROGRAM_NAME " update\"。"};
inline constexpr TerminalText kHintNotBackInStorage{
    "The firmware is written; the device did not come back in storage mode within %s s, so its "
    "version was not read.",
    "固件已写入；设备在 %s 秒内没有以存储模式出现，未能读取其版本。"};
inline constexpr TerminalText kHintReplaced{
    "Another device was plugged in on its port: the updated device's version was not read.",
    "该端口上插入了另一台设备：未读取已更新设备的版本。"};
inline constexpr TerminalText kHintVersionUnreadable{
    "The device came back, but its version could not be read.",
    "设备已重新出现，但无法读取其版本。"};
inline constexpr TerminalText kHintInterruptedConfirm{
    "The firmware is written; its version was not read.", "固件已写入；未读取其版本。"};
inline constexpr TerminalText kListId{"ID", "ID"};
inline constexpr TerminalText kListMode{"MODE", "模式"};
inline constexpr TerminalText kListDetails{"DETAILS", "详情"};
inline constexpr TerminalText kModeVendor{"vendor", "下载模式"};
inline constexpr TerminalText kModeStorage{"storage", "存储模式"};
inline constexpr TerminalText kListSerial{"serial %s", "序列号 %s"};
inline constexpr TerminalText kListVersion{"version %s", "版本 %s"};
inline constexpr TerminalText kNothingAttached{"No device of this model is attached.",
                                               "没有连接此型号的设备。"};
inline constexpr TerminalText kSeveralDevices{
    "Several devices are attached: choose one with --device ID, or all with --all. Nothing "
    "was changed.",
    "连接了多个设备：请用 --device ID 选择一个，或用 --all 选择全部。未做任何更改。"};
inline constexpr TerminalText kRunAllUnrecognizable{
    "run --all cannot tell %s apart from the others once it comes back: the system knows "
    "neither its USB port nor its serial number. Nothing was sent. Run it alone with "
    "--device ID.",
    "run --all 无法在 %s 重新连接后将其与其他设备区分：系统既不知道它的 USB 端口，也不知道它的"
    "序列号。未发送任何内容。请用 --device ID 单独运行它。"};
inline constexpr TerminalText kNoSuchDevice{
    "No device %s is attached in the mode this command needs. Attached: %s.",
    "没有以此命令所需模式连接的设备 %s。已连接：%s。"};
inline constexpr TerminalText kNoIds{"none", "无"};
inline constexpr TerminalText kImageUnreadable{"Cannot read the image %s: %s",
                                               "无法读取固件映像 %s：%s"};
inline constexpr TerminalText kImageRefused{"The image %s is refused: %s.",
                                            "固件映像 %s 被拒绝：%s。"};
inline constexpr TerminalText kBuiltInImageRefused{
    "The built-in firmware image is refused: %s. Nothing was sent to any device.",
    "内置固件映像被拒绝：%s。未向任何设备发送命令。"};

// --- info
inline constexpr TerminalText kInfoFoundAt{"Device found at %s", "设备位置：%s"};
inline constexpr TerminalText kInfoVersion{"Firmware version: %X.%02X (0x%04X)",
                                           "固件版本：%X.%02X (0x%04X)"};
inline constexpr TerminalText kInfoUserId{"User id: 0x%08X", "用户ID：0x%08X"};
inline constexpr TerminalText kInfoUserIdFailed{"User id: could not be read", "用户ID：读取失败"};
inline constexpr TerminalText kInfoUserIdNotChecked{"User id: not checked for this version",
                                                    "用户ID：此版本不检查"};
inline constexpr TerminalText kInfoVendorMode{
    "A device in vendor mode is attached (%s): run \"" FWUP_PROGRAM_NAME " update\".",
    "已连接处于下载模式的设备 (%s)：请运行 \"" FWUP_PROGRAM_NAME " update\"。"};
inline constexpr TerminalText kImageLine{
    "Firmware image: %u bytes, end address 0x%08X, checksum 0x%04X%s",
    "固件映像：%u 字节，结束地址 0x%08X，校验和 0x%04X%s"};
inline constexpr TerminalText kImageStandIn{" (stand-in test image: changes no real device)",
                                            "（测试用替代映像：不会更改真实设备）"};
inline constexpr TerminalText kImageMissing{"Firmware image: none (nothing to send)",
                                            "固件映像：无（没有可发送的内容）"};

// --- progress, usage
inline constexpr TerminalText kProgressCounts{"%llu/%llu bytes", "%llu/%llu 字节"};
inline constexpr TerminalText kUsageError{
    "%s. See \"" FWUP_PROGRAM_NAME " --help\".",
    "%s。请参阅 \"" FWUP_PROGRAM_NAME " --help\"。"};
inline constexpr TerminalText kNoCommand{"No command given. See \"" FWUP_PROGRAM_NAME " --help\".",
                                         "未指定命令。请参阅 \"" FWUP_PROGRAM_NAME " --help\"。"};
inline constexpr TerminalText kSettingNotUnderstood{
    "%s is not understood: see FWUP_DEMO_* in " FWUP_MANUAL ".",
    "无法理解 %s：请参阅 " FWUP_MANUAL " 中的 FWUP_DEMO_*。"};
inline constexpr TerminalText kSimulationNote{"(simulated device: no hardware is touched)",
                                              "（模拟设备：不会访问任何硬件）"};

// The sentence --help ends with, one meaning for each exit status.
inline constexpr TerminalText kExitStatusOpening{"Exit status: ", "退出码："};
inline constexpr TerminalText kExitStatusSeparator{", ", "，"};
inline constexpr TerminalText kExitStatusClosing{".", "。"};
inline constexpr TerminalText kExitDone{"done", "完成"};
inline constexpr TerminalText kExitDeviceFailed{"the device failed", "设备出错"};
inline constexpr TerminalText kExitUsage{"wrong usage or several devices", "用法错误或有多个设备"};
inline constexpr TerminalText kExitNoDevice{"no device found", "未找到设备"};
inline constexpr TerminalText kExitRefused{"refused by the device's user id", "设备用户ID不允许"};
inline constexpr TerminalText kExitDeclined{"question declined", "拒绝了提问"};
inline constexpr TerminalText kExitNoPermission{"no permission", "没有权限"};
inline constexpr TerminalText kExitStandIn{"the program carries the stand-in test image",
                                           "程序带有测试用替代映像"};
inline constexpr TerminalText kExitErasedNotUpdated{
    "erased, not updated: plug the device in and run update",
    "已清除但未更新：请插入设备并运行 update"};
inline constexpr TerminalText kExitNotConfirmed{
    "not confirmed: updated, but not back at the image's version",
    "未确认：已更新，但设备没有以映像的版本重新出现"};
inline constexpr TerminalText kExitInterrupted{"interrupted", "已中断"};

}  // namespace fwup
