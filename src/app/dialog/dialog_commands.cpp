#include "app/dialog/dialog_commands.h"

#include <cstdio>
#include <new>

#include "download/update_command.h"
#include "storage/clear_command.h"

namespace fwup {
namespace {

// The download starts: the status line says to wait, and draws it at once,
// since the download blocks the dialog.
class WaitText : public ProgressSink {
public:
    WaitText(UserInterface& userInterface, LanguageFlag languageFlag)
        : userInterface_(userInterface), languageFlag_(languageFlag) {}
    void OnProgress(const Progress& progress) override {
        if (shown_ || progress.step != Step::Download) return;
        userInterface_.SetStatusText(Choose(kUpdateWaitText, languageFlag_));
        shown_ = true;
    }

private:
    UserInterface& userInterface_;
    LanguageFlag languageFlag_;
    bool shown_ = false;
};

class DialogQuestion : public EraseQuestion {
public:
    DialogQuestion(UserInterface& userInterface, LanguageFlag languageFlag)
        : userInterface_(userInterface), languageFlag_(languageFlag) {}
    bool ConfirmErase(std::uint16_t version) override {
        const ComposedText question = ComposeVersionQuestion(version, languageFlag_);
        return userInterface_.AskYesNo(question.data(), kQuestionCaption);
    }

private:
    UserInterface& userInterface_;
    LanguageFlag languageFlag_;
};

void Show(UserInterface& userInterface, const char* text) {
    if (text != nullptr) userInterface.SetStatusText(text);
}

// Memory that runs out in the middle of a command ends the command with its
// failure text, not the program: the library's exception is turned into the
// command's result here, at the dialog's edge.
// A result's default kind is Failed.
template <typename Command>
auto Guarded(Command&& command) -> decltype(command()) {
    try {
        return command();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// The text both commands show for a kind; failed: the command's own failure
// text.
const char* KindText(OutcomeKind kind, const LocalizedText& failed, LanguageFlag flag) {
    switch (kind) {
    case OutcomeKind::Updated:
    case OutcomeKind::Confirmed: return Choose(kUpdateSucceededText, flag);
    case OutcomeKind::Erased:
    case OutcomeKind::ErasedNotUpdated: return Choose(kClearSucceededText, flag);
    case OutcomeKind::NoDevice:
    case OutcomeKind::NoPermission:
    case OutcomeKind::OpenFailed:
    case OutcomeKind::Busy:
    case OutcomeKind::SeveralDevices: return Choose(kOpenDriverFailedText, flag);
    case OutcomeKind::UserIdUnreadable: return Choose(kGetUserIdFailureText, flag);
    case OutcomeKind::Declined:
    case OutcomeKind::Listed: return nullptr;
    case OutcomeKind::CarriesStandIn: return Choose(kStandInImageText, flag);
    case OutcomeKind::RefusedByUserId:  // composed by Clear's own text
    case OutcomeKind::Failed:
    case OutcomeKind::NotConfirmed:
    case OutcomeKind::Interrupted: return Choose(failed, flag);
    }
    return Choose(failed, flag);
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

const char* DialogStatusText(const ClearResult& result, LanguageFlag flag, ComposedText& buffer) {
    if (result.kind != OutcomeKind::RefusedByUserId || !result.userId)
        return KindText(result.kind, kClearFailedText, flag);
    buffer = ComposeUserIdText(*result.userId, flag);
    return buffer.data();
}

const char* DialogStatusText(const UpdateResult& result, LanguageFlag flag) {
    return KindText(result.kind, kUpdateFailedText, flag);
}

void OnUpdate(UsbLink& link, UserInterface& userInterface, LanguageFlag languageFlag,
              const ImageDescription& image, Hardware hardware) {
    WaitText wait(userInterface, languageFlag);
    const UpdateResult result = Guarded([&] { return UpdateFirmware(link, image, hardware, wait); });
    Show(userInterface, DialogStatusText(result, languageFlag));
}

void OnClear(ScsiDrives& drives, UserInterface& userInterface, LanguageFlag languageFlag,
             const ImageDescription& image, Hardware hardware) {
    // A device is never erased that this program could not then update.
    if (image.problem != ImageProblem::None) {
        Show(userInterface, Choose(kClearFailedText, languageFlag));
        return;
    }
    DialogQuestion question(userInterface, languageFlag);
    const ClearResult result = Guarded([&] { return ClearFirmware(drives, question, CarriedImageOf(image), hardware); });
    ComposedText buffer{};
    Show(userInterface, DialogStatusText(result, languageFlag, buffer));
}

}  // namespace fwup
