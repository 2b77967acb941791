#include "app/linux/front_end.h"

#include <array>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "app/dialog_logic.h"
#include "app/linux/download_progress.h"
#include "app/linux/front_end_texts.h"
#include "app/linux/terminal_user_interface.h"
#include "download/update_command.h"
#include "download/vendor_usb_device.h"
#include "platform/gbk_to_utf8.h"
#include "storage/clear_command.h"
#include "storage/vendor_scsi_commands.h"

#ifndef FWUP_VERSION
#define FWUP_VERSION "unknown"
#endif

namespace fwup {

namespace {

// A text in the chosen language and in UTF-8, with its printf arguments
// (paths and words as the system gives them, in UTF-8; numbers) filled in.
std::string Localized(const LocalizedText& text, LanguageFlag flag, ...) {
    const std::string format = GbkToUtf8(Choose(text, flag));
    std::array<char, 1024> filled{};
    va_list arguments;
    va_start(arguments, flag);
    std::vsnprintf(filled.data(), filled.size(), format.c_str(), arguments);
    va_end(arguments);
    return filled.data();
}

bool Is(const std::string& shown, const LocalizedText& text, LanguageFlag languageFlag) {
    return shown == Choose(text, languageFlag);
}

ExitCode ClearOutcome(const TerminalUserInterface& ui, LanguageFlag flag) {
    if (ui.StatusTexts().empty()) return ui.Asked() ? ExitCode::Declined : ExitCode::DeviceFailed;
    const std::string& shown = ui.StatusTexts().back();
    if (Is(shown, kOpenDriverFailedText, flag)) return ExitCode::NoDevice;
    if (Is(shown, kClearSucceededText, flag)) return ExitCode::Done;
    if (shown.rfind(Choose(kUserIdRefusedBefore, flag), 0) == 0) return ExitCode::RefusedByPolicy;
    return ExitCode::DeviceFailed;  // the user id could not be read, or the erase failed
}

ExitCode UpdateOutcome(const TerminalUserInterface& ui, LanguageFlag flag) {
    if (ui.StatusTexts().empty()) return ExitCode::DeviceFailed;
    const std::string& shown = ui.StatusTexts().back();
    if (Is(shown, kUpdateSucceededText, flag)) return ExitCode::Done;
    if (Is(shown, kOpenDriverFailedText, flag)) return ExitCode::NoDevice;
    return ExitCode::DeviceFailed;
}

// A storage-mode command found no device: no permission, or nothing there.
ExitCode NoDriveAdvice(FrontEnd& frontEnd, TerminalUserInterface& ui) {
    const std::string denied = frontEnd.facts.DriveAccessDeniedPath();
    if (!denied.empty()) {
        ui.PrintLine(Localized(kHintDriveAccessDenied, frontEnd.languageFlag, denied.c_str()));
        return ExitCode::NoPermission;
    }
    ui.PrintLine(Localized(kHintClearNoDevice, frontEnd.languageFlag));
    return ExitCode::NoDevice;
}

ExitCode RunClear(FrontEnd& frontEnd) {
    const LanguageFlag flag = frontEnd.languageFlag;
    TerminalUserInterface ui(frontEnd.out, frontEnd.in, frontEnd.inIsTerminal,
                             frontEnd.commandLine.assumeYes, flag);
    OnClear(frontEnd.drives, ui, flag);
    const ExitCode outcome = ClearOutcome(ui, flag);
    switch (outcome) {
    case ExitCode::Done: ui.PrintLine(Localized(kHintClearSucceeded, flag)); break;
    case ExitCode::NoDevice: return NoDriveAdvice(frontEnd, ui);
    case ExitCode::RefusedByPolicy: ui.PrintLine(Localized(kHintRefused, flag)); break;
    case ExitCode::Declined:
        ui.PrintLine(Localized(ui.CouldNotAsk() ? kHintNoTerminal : kHintDeclined, flag));
        break;
    default: ui.PrintLine(Localized(kHintClearFailed, flag)); break;
    }
    return outcome;
}

ExitCode RunUpdate(FrontEnd& frontEnd) {
    const LanguageFlag flag = frontEnd.languageFlag;
    TerminalUserInterface ui(frontEnd.out, frontEnd.in, false, false, flag);
    std::optional<ProgressBar> bar;
    if (frontEnd.outIsTerminal)
        bar.emplace(frontEnd.out, DownloadTraffic(frontEnd.image), flag, frontEnd.columns);
    // The bar lives under the wait text, and ends before the outcome is shown.
    bool downloading = false;
    ui.beforeStatus = [&](const char*) {
        if (bar && downloading) bar->Finish();
        downloading = false;
    };
    ui.afterStatus = [&](const char* text) {
        downloading = Is(text, kUpdateWaitText, flag);
        if (bar && downloading) bar->Update(LinkCount{});
    };
    CountingUsbPlatform link(frontEnd.usb, [&](const LinkCount& count) {
        if (bar && downloading) bar->Update(count);
    });
    OnUpdate(link, ui, flag, frontEnd.image);

    const ExitCode outcome = UpdateOutcome(ui, flag);
    const UsbFacts facts = frontEnd.facts.Usb();
    if (outcome == ExitCode::NoDevice) {
        if (facts.unavailable) {
            ui.PrintLine(Localized(kHintUsbUnavailable, flag));
        } else if (!facts.accessDeniedNode.empty()) {
            ui.PrintLine(Localized(kHintUsbAccessDenied, flag, facts.accessDeniedNode.c_str()));
            return ExitCode::NoPermission;
        } else if (!facts.busyNode.empty()) {
            ui.PrintLine(Localized(kHintUsbBusy, flag, facts.busyNode.c_str()));
        } else {
            ui.PrintLine(Localized(kHintUpdateNoDevice, flag));
        }
    } else if (outcome == ExitCode::DeviceFailed) {
        if (facts.deviceWentAway) ui.PrintLine(Localized(kHintDeviceGone, flag));
        if (facts.deviceStoppedAnswering) ui.PrintLine(Localized(kHintDeviceSilent, flag));
        ui.PrintLine(Localized(kHintUpdateFailed, flag));
    }
    return outcome;
}

ExitCode RunInfo(FrontEnd& frontEnd) {
    const LanguageFlag flag = frontEnd.languageFlag;
    TerminalUserInterface ui(frontEnd.out, frontEnd.in, false, false, flag);
    std::uint16_t version = 0;
    const VendorDrive drive = FindVendorDrive(frontEnd.drives, &version, kClearTimeLimitSeconds);
    if (drive == kInvalidHandleValue) {
        if (const std::optional<std::string> vendorMode = FindVendorModeDevice(frontEnd.usb)) {
            ui.PrintLine(Localized(kInfoVendorMode, flag, vendorMode->c_str()));
            return ExitCode::Done;
        }
        ui.PrintLine(Localized(kOpenDriverFailedText, flag));
        return NoDriveAdvice(frontEnd, ui);
    }
    ui.PrintLine(Localized(kInfoFoundAt, flag, frontEnd.facts.DescribeVolume(drive).c_str()));
    ui.PrintLine(Localized(kInfoVersion, flag, static_cast<unsigned>(version >> 8),
                           static_cast<unsigned>(version & 0xFF), static_cast<unsigned>(version)));
    ExitCode outcome = ExitCode::Done;
    // The user id means something from version 2.38 on, as for the Clear command.
    if (version <= kUserIdCheckedAboveVersion) {
        ui.PrintLine(Localized(kInfoUserIdNotChecked, flag));
    } else if (std::uint32_t userId = 0;
               QueryUserID(frontEnd.drives, drive, &userId, kClearTimeLimitSeconds) ==
               VendorCommandResult::Success) {
        ui.PrintLine(Localized(kInfoUserId, flag, static_cast<unsigned>(userId)));
    } else {
        ui.PrintLine(Localized(kInfoUserIdFailed, flag));
        outcome = ExitCode::DeviceFailed;
    }
    frontEnd.drives.CloseVolume(drive);
    return outcome;
}

void PrintHelp(FrontEnd& frontEnd) {
    for (const LocalizedText& line : kHelpLines)
        std::fprintf(frontEnd.out, "%s\n", GbkToUtf8(Choose(line, frontEnd.languageFlag)).c_str());
}

void PrintVersion(FrontEnd& frontEnd) {
    // The dialog's version line says which firmware the program carries.
    std::fprintf(frontEnd.out, "firmware-updater %s\n%s\n", FWUP_VERSION,
                 GbkToUtf8(Choose(DialogTexts[0].text, frontEnd.languageFlag)).c_str());
}

}  // namespace

std::optional<std::string> FindVendorModeDevice(UsbPlatform& usb) {
    return FindDeviceInterfacePath(usb, kGuidDevinterfaceUsbDevice, kVendorIdText,
                                   kProductIdText);
}

ExitCode RunFrontEnd(FrontEnd& frontEnd) {
    const LanguageFlag flag = frontEnd.languageFlag;
    const CommandLine& line = frontEnd.commandLine;
    if (line.command == FrontEndCommand::Help) {
        PrintHelp(frontEnd);
        return ExitCode::Done;
    }
    if (line.command == FrontEndCommand::Version) {
        PrintVersion(frontEnd);
        return ExitCode::Done;
    }
    if (!line.unknown.empty() || line.command == FrontEndCommand::None) {
        const std::string message = line.unknown.empty()
            ? Localized(kNoCommand, flag)
            : Localized(kUsageError, flag, line.unknown.c_str());
        std::fprintf(frontEnd.err, "%s\n", message.c_str());
        return ExitCode::Usage;
    }
    if (line.simulate)
        std::fprintf(frontEnd.out, "%s\n", Localized(kSimulationNote, flag).c_str());
    switch (line.command) {
    case FrontEndCommand::Clear: return RunClear(frontEnd);
    case FrontEndCommand::Update: return RunUpdate(frontEnd);
    default: return RunInfo(frontEnd);
    }
}

}  // namespace fwup
