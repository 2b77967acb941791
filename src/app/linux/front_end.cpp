#include "app/linux/front_end.h"

#include <cstdarg>
#include <optional>
#include <string>
#include <vector>

#include "app/linux/progress_line.h"
#include "core/stand_in_image.h"
#include "download/update_command.h"
#include "storage/clear_command.h"
#include "storage/vendor_scsi_commands.h"

#ifndef FWUP_VERSION
#define FWUP_VERSION "unknown"
#endif

namespace fwup {
namespace {

enum class Command { Clear, Update };

// A text in the chosen language with its printf arguments filled in.
std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char filled[1024] = {};
    std::vsnprintf(filled, sizeof filled, format, arguments);
    va_end(arguments);
    return filled;
}

void PrintLine(std::FILE* out, const std::string& text) {
    std::fprintf(out, "%s\n", text.c_str());
    std::fflush(out);
}

// The terminal's one table: what each outcome of each command prints, the
// status line as the dialog words it, then what to do next. Either may be
// absent.
struct Said {
    const TerminalText* status = nullptr;
    const TerminalText* hint = nullptr;
    const TerminalText* then = nullptr;
};

Said TextsFor(Command command, const Outcome& outcome) {
    const bool update = command == Command::Update;
    switch (outcome.kind) {
    case OutcomeKind::Updated: return {&kUpdatedText, nullptr};
    case OutcomeKind::Erased: return {&kErasedText, &kHintClearSucceeded};
    case OutcomeKind::Listed: return {};
    case OutcomeKind::NoDevice:
    case OutcomeKind::SeveralDevices:
        if (update && outcome.link == LinkStatus::Unavailable)
            return {&kOpenFailedText, &kHintUsbUnavailable};
        return {&kOpenFailedText, update ? &kHintUpdateNoDevice : &kHintClearNoDevice};
    case OutcomeKind::NoPermission:
        return {&kOpenFailedText, update ? &kHintUsbAccessDenied : &kHintDriveAccessDenied};
    case OutcomeKind::OpenFailed:
        return {&kOpenFailedText,
                outcome.link == LinkStatus::Busy ? &kHintUsbBusy : &kHintUpdateNoDevice};
    case OutcomeKind::UserIdUnreadable: return {&kUserIdFailureText, &kHintClearFailed};
    case OutcomeKind::RefusedByUserId: return {&kUserIdRefusedText, &kHintRefused};
    case OutcomeKind::Declined: return {nullptr, &kHintDeclined};
    case OutcomeKind::CarriesStandIn: return {&kStandInText, nullptr};
    case OutcomeKind::ImageInvalid:
    case OutcomeKind::Failed:
        if (!update) return {&kEraseFailedText, &kHintClearFailed};
        if (outcome.link == LinkStatus::DeviceGone)
            return {&kUpdateFailedText, &kHintDeviceGone, &kHintUpdateFailed};
        if (outcome.link == LinkStatus::TimedOut)
            return {&kUpdateFailedText, &kHintDeviceSilent, &kHintUpdateFailed};
        return {&kUpdateFailedText, &kHintUpdateFailed};
    case OutcomeKind::Interrupted:
        return {&kInterruptedText, update ? &kHintInterruptedUpdate : &kHintInterruptedClear};
    }
    return {};
}

// Asked on the terminal; only an explicit yes counts.
class TerminalQuestion : public EraseQuestion {
public:
    TerminalQuestion(FrontEnd& frontEnd) : frontEnd_(frontEnd) {}
    bool ConfirmErase(std::uint16_t version) override {
        const std::string question =
            Format(Say(kQuestionText, frontEnd_.language), static_cast<unsigned>(version >> 8),
                   static_cast<unsigned>(version & 0xFF));
        std::FILE* out = frontEnd_.out;
        if (frontEnd_.commandLine.assumeYes) {
            PrintLine(out, question + " " + Say(kAnsweredYes, frontEnd_.language));
            return true;
        }
        if (!frontEnd_.inIsTerminal) {
            PrintLine(out, question);
            couldNotAsk = true;
            return false;
        }
        std::fprintf(out, "%s [y/N] ", question.c_str());
        std::fflush(out);
        char answer[64] = {};
        // No answer at all (end of input) is no Yes either.
        if (std::fgets(answer, sizeof answer, frontEnd_.in) == nullptr) {
            std::fputc('\n', out);
            return false;
        }
        return IsExplicitYes(answer);
    }

    bool couldNotAsk = false;

private:
    FrontEnd& frontEnd_;
};

// The wait text when the download starts, then the progress line on a terminal.
class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(FrontEnd& frontEnd)
        : frontEnd_(frontEnd), line_(frontEnd.out, frontEnd.language, frontEnd.columns) {}
    void OnProgress(const Progress& progress) override {
        if (progress.step != Step::Download) return;
        if (!started_) {
            PrintLine(frontEnd_.out, Say(kUpdateWaitText, frontEnd_.language));
            started_ = true;
        }
        if (frontEnd_.outIsTerminal) line_.Update(progress);
    }
    void Finish() { line_.Finish(); }

private:
    FrontEnd& frontEnd_;
    ProgressLine line_;
    bool started_ = false;
};

CommandSafety SafetyOf(const FrontEnd& frontEnd) {
    return CommandSafety{frontEnd.realHardware && IsStandInImage(frontEnd.image)};
}

ExitCode Report(FrontEnd& frontEnd, Command command, const Outcome& outcome) {
    const Language language = frontEnd.language;
    const Said said = TextsFor(command, outcome);
    if (said.status != nullptr)
        PrintLine(frontEnd.out, Format(Say(*said.status, language),
                                       static_cast<unsigned>(outcome.userId)));
    for (const TerminalText* hint : {said.hint, said.then})
        if (hint != nullptr)
            PrintLine(frontEnd.out, Format(Say(*hint, language), outcome.deviceId.c_str()));
    return ExitCodeOf(outcome.kind);
}

ExitCode RunClear(FrontEnd& frontEnd) {
    TerminalQuestion question(frontEnd);
    const Outcome outcome = ClearFirmware(frontEnd.drives, question, SafetyOf(frontEnd));
    if (outcome.kind == OutcomeKind::Declined && question.couldNotAsk) {
        PrintLine(frontEnd.out, Say(kHintNoTerminal, frontEnd.language));
        return ExitCodeOf(outcome.kind);
    }
    return Report(frontEnd, Command::Clear, outcome);
}

ExitCode RunUpdate(FrontEnd& frontEnd) {
    TerminalProgress progress(frontEnd);
    const Outcome outcome =
        UpdateFirmware(frontEnd.usb, frontEnd.image, SafetyOf(frontEnd), progress);
    progress.Finish();
    return Report(frontEnd, Command::Update, outcome);
}

ExitCode RunInfo(FrontEnd& frontEnd) {
    const Language language = frontEnd.language;
    std::uint16_t version = 0;
    const FoundDrive found = FindVendorDrive(frontEnd.drives, &version, kClearTimeLimitSeconds);
    if (found.handle == kInvalidHandleValue) {
        LinkStatus listed = LinkStatus::Ok;
        const std::vector<UsbDeviceInfo> vendorMode = frontEnd.usb.FindDevices(&listed);
        if (!vendorMode.empty()) {
            PrintLine(frontEnd.out, Format(Say(kInfoVendorMode, language), vendorMode[0].id.c_str()));
            return ExitCode::Done;
        }
        Outcome outcome;
        outcome.kind = found.permissionDenied ? OutcomeKind::NoPermission : OutcomeKind::NoDevice;
        outcome.deviceId = found.deniedVolume;
        return Report(frontEnd, Command::Clear, outcome);
    }
    const std::string where = found.volume.description.empty()
                                  ? found.volume.id
                                  : found.volume.id + " (" + found.volume.description + ")";
    PrintLine(frontEnd.out, Format(Say(kInfoFoundAt, language), where.c_str()));
    PrintLine(frontEnd.out, Format(Say(kInfoVersion, language), static_cast<unsigned>(version >> 8),
                                   static_cast<unsigned>(version & 0xFF),
                                   static_cast<unsigned>(version)));
    ExitCode exit = ExitCode::Done;
    // The user id means something from version 2.38 on, as for the Clear command.
    if (version <= kUserIdCheckedAboveVersion) {
        PrintLine(frontEnd.out, Say(kInfoUserIdNotChecked, language));
    } else if (std::uint32_t userId = 0;
               QueryUserID(frontEnd.drives, found.handle, &userId, kClearTimeLimitSeconds) ==
               VendorCommandResult::Success) {
        PrintLine(frontEnd.out, Format(Say(kInfoUserId, language), static_cast<unsigned>(userId)));
    } else {
        PrintLine(frontEnd.out, Say(kInfoUserIdFailed, language));
        exit = ExitCode::DeviceFailed;
    }
    frontEnd.drives.CloseVolume(found.handle);
    return exit;
}

void PrintImage(FrontEnd& frontEnd) {
    const ImageSummary image = SummarizeImage(frontEnd.image);
    if (!image.accepted) {
        PrintLine(frontEnd.out, Say(kImageMissing, frontEnd.language));
        return;
    }
    PrintLine(frontEnd.out,
              Format(Say(kImageLine, frontEnd.language), static_cast<unsigned>(image.size),
                     static_cast<unsigned>(image.endAddress), static_cast<unsigned>(image.checksum),
                     image.standIn ? Say(kImageStandIn, frontEnd.language) : ""));
}

constexpr TerminalText kHelpLines[] = {
    {"Usage: firmware-updater [--simulate] [--yes] clear|update|info",
     "用法：firmware-updater [--simulate] [--yes] clear|update|info"},
    {"Replaces the firmware of the USB storage device in three steps:",
     "分三步更换 USB 存储设备的固件："},
    {"  1. firmware-updater clear   erases the old firmware (device in storage mode)",
     "  1. firmware-updater clear   清除原固件（设备处于存储模式）"},
    {"  2. unplug the device and plug it in again: it comes up in vendor mode",
     "  2. 重新插拔设备：设备进入下载模式"},
    {"  3. firmware-updater update  writes the built-in firmware (device in vendor mode)",
     "  3. firmware-updater update  写入内置固件（设备处于下载模式）"},
    {"  firmware-updater info      shows the device in storage mode: where, version, user id",
     "  firmware-updater info      显示存储模式下的设备：位置、版本、用户ID"},
    {"Options:", "选项："},
    {"  -y, --yes   answer the question of clear with Yes", "  -y, --yes   对 clear 的提问回答“是”"},
    {"  --simulate  use a simulated device instead of the hardware",
     "  --simulate  使用模拟设备代替硬件"},
    {"  -h, --help  show this text;  --version  show the program's version and its image",
     "  -h, --help  显示本说明；  --version  显示程序版本及其固件映像"},
    {"Exit status: 0 done, 1 the device failed, 2 wrong usage, 3 no device found,",
     "退出码：0 完成，1 设备出错，2 用法错误，3 未找到设备，"},
    {"  4 refused by the device's user id, 5 question declined, 6 no permission,",
     "  4 设备用户ID不允许，5 拒绝了提问，6 没有权限，"},
    {"  7 the program carries the stand-in test image, 130 interrupted.",
     "  7 程序带有测试用替代映像，130 已中断。"},
    {"clear and info need root: the vendor commands need CAP_SYS_RAWIO.",
     "clear 和 info 需要 root 权限：厂商命令需要 CAP_SYS_RAWIO。"},
};

}  // namespace

bool IsExplicitYes(std::string answer) {
    const char* blanks = " \t\r\n";
    const std::size_t first = answer.find_first_not_of(blanks);
    if (first == std::string::npos) return false;
    answer = answer.substr(first, answer.find_last_not_of(blanks) - first + 1);
    for (char& c : answer)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return answer == "y" || answer == "yes" || answer == "是";
}

ExitCode RunFrontEnd(FrontEnd& frontEnd) {
    const Language language = frontEnd.language;
    const CommandLine& line = frontEnd.commandLine;
    if (line.command == FrontEndCommand::Help) {
        for (const TerminalText& text : kHelpLines) PrintLine(frontEnd.out, Say(text, language));
        return ExitCode::Done;
    }
    if (line.command == FrontEndCommand::Version) {
        PrintLine(frontEnd.out, std::string("firmware-updater ") + FWUP_VERSION);
        PrintImage(frontEnd);
        return ExitCode::Done;
    }
    if (!line.unknown.empty() || line.command == FrontEndCommand::None) {
        const std::string message = line.unknown.empty()
            ? Say(kNoCommand, language)
            : Format(Say(kUsageError, language), line.unknown.c_str());
        PrintLine(frontEnd.err, message);
        return ExitCode::Usage;
    }
    if (line.simulate) PrintLine(frontEnd.out, Say(kSimulationNote, language));
    switch (line.command) {
    case FrontEndCommand::Clear: return RunClear(frontEnd);
    case FrontEndCommand::Update: return RunUpdate(frontEnd);
    default: return RunInfo(frontEnd);
    }
}

}  // namespace fwup
