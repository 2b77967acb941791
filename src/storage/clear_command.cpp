#include "storage/clear_command.h"

#include <cstdio>

#include "storage/vendor_scsi_commands.h"

namespace fwup {
namespace {

// The policy for a device that was found; the caller closes the drive.
void ClearFoundDrive(DrivePlatform& platform, VendorDrive drive, std::uint16_t version,
                     UserInterface& userInterface, LanguageFlag languageFlag) {
    if (version > kUserIdCheckedAboveVersion) {
        std::uint32_t userId = 0;
        if (QueryUserID(platform, drive, &userId, kClearTimeLimitSeconds) !=
            VendorCommandResult::Success) {
            userInterface.SetStatusText(Choose(kGetUserIdFailureText, languageFlag));
            return;
        }
        if (userId != kAcceptedUserId) {
            const ComposedText refused = ComposeUserIdText(userId, languageFlag);
            userInterface.SetStatusText(refused.data());
            return;
        }
    }
    // The user is asked only about a device whose user id has passed.
    if (version >= kQuestionFromVersion) {
        const ComposedText question = ComposeVersionQuestion(version, languageFlag);
        if (!userInterface.AskYesNo(question.data(), kQuestionCaption)) return;
    }
    const bool erased =
        EraseFirmware(platform, drive, kClearTimeLimitSeconds) == VendorCommandResult::Success;
    userInterface.SetStatusText(Choose(erased ? kClearSucceededText : kClearFailedText,
                                       languageFlag));
}

}  // namespace

ComposedText ComposeUserIdText(std::uint32_t userId, LanguageFlag languageFlag) {
    ComposedText text{};
    std::snprintf(text.data(), text.size(), "%s%4X%s", Choose(kUserIdRefusedBefore, languageFlag),
                  static_cast<unsigned int>(userId), Choose(kUserIdRefusedAfter, languageFlag));
    return text;
}

ComposedText ComposeVersionQuestion(std::uint16_t version, LanguageFlag languageFlag) {
    ComposedText text{};
    std::snprintf(text.data(), text.size(), "%s%X.%2X%s", Choose(kQuestionBefore, languageFlag),
                  static_cast<unsigned int>(version >> 8),
                  static_cast<unsigned int>(version & 0xFF),
                  Choose(kQuestionAfter, languageFlag));
    return text;
}

int OnClear(DrivePlatform& platform, UserInterface& userInterface, LanguageFlag languageFlag) {
    std::uint16_t version = 0;
    const VendorDrive drive = FindVendorDrive(platform, &version, kClearTimeLimitSeconds);
    if (drive == kInvalidHandleValue) {
        userInterface.SetStatusText(Choose(kOpenDriverFailedText, languageFlag));
        return 0;
    }
    ClearFoundDrive(platform, drive, version, userInterface, languageFlag);
    platform.CloseVolume(drive);
    return 0;
}

}  // namespace fwup
