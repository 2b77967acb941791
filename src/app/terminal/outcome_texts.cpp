#include "app/terminal/outcome_texts.h"

#include "app/terminal/text_format.h"

namespace fwup {

Said TextsFor(Texts command, const Outcome& outcome) {
    const bool update = command == Texts::Update;
    switch (outcome.kind) {
    case OutcomeKind::Updated: return {&kUpdatedText};
    case OutcomeKind::Erased: return {&kErasedText, &kHintClearSucceeded};
    case OutcomeKind::Listed: return {};
    case OutcomeKind::NoDevice:
        if (update && outcome.link == LinkStatus::Unavailable)
            return {&kOpenFailedText, &kHintUsbUnavailable};
        return {&kNoDeviceText, update ? &kHintUpdateNoDevice : &kHintClearNoDevice};
    case OutcomeKind::SeveralDevices: return {&kSeveralDevices};
    case OutcomeKind::NoPermission:
        return {&kOpenFailedText, update ? &kSystemTexts.usbAccessDenied : &kSystemTexts.driveAccessDenied};
    case OutcomeKind::OpenFailed:
        return {&kOpenFailedText,
                outcome.link == LinkStatus::Busy ? &kHintUsbBusy : &kHintUpdateNoDevice};
    case OutcomeKind::UserIdUnreadable: return {&kUserIdFailureText, &kHintClearFailed};
    case OutcomeKind::RefusedByUserId: return {&kUserIdRefusedText, &kHintRefused};
    case OutcomeKind::Declined: return {nullptr, &kHintDeclined};
    case OutcomeKind::CarriesStandIn: return {&kStandInText};
    case OutcomeKind::Failed:
        if (!update) return {&kEraseFailedText, &kHintClearFailed};
        if (outcome.link == LinkStatus::DeviceGone)
            return {&kUpdateFailedText, &kHintDeviceGone, &kHintUpdateFailed};
        if (outcome.link == LinkStatus::TimedOut)
            return {&kUpdateFailedText, &kHintDeviceSilent, &kHintUpdateFailed};
        return {&kUpdateFailedText, &kHintUpdateFailed};
    case OutcomeKind::Interrupted:
        return {&kInterruptedText, update ? &kHintInterruptedUpdate : &kHintInterruptedClear};
    case OutcomeKind::Busy: return {&kBusyText};
    }
    return {};
}

std::vector<std::string> OutcomeLines(const DeviceRun& run, int waitSeconds, Language language) {
    if (run.timedOutWaiting) return {Format(Say(kNotBack, language), waitSeconds)};
    const Outcome& outcome = run.outcome;
    const Said said = TextsFor(run.texts, outcome);
    std::vector<std::string> lines;
    if (said.status != nullptr)
        lines.push_back(Format(Say(*said.status, language), static_cast<unsigned>(outcome.userId)));
    for (const TerminalText* hint : {said.hint, said.then})
        if (hint != nullptr) lines.push_back(Format(Say(*hint, language), outcome.deviceId.c_str()));
    return lines;
}

}  // namespace fwup
