#include "app/terminal/outcome_texts.h"

#include "app/terminal/text_format.h"
#include "core/device_model.h"

namespace fwup {
namespace {

// What both commands say alike, and what they say of no device.
Said Common(OutcomeKind kind, bool update) {
    switch (kind) {
    case OutcomeKind::Listed: return {};
    case OutcomeKind::NoDevice:
        return {&kNoDeviceText, update ? &kHintUpdateNoDevice : &kHintClearNoDevice, nullptr};
    case OutcomeKind::SeveralDevices: return {&kSeveralDevices, nullptr, nullptr};
    case OutcomeKind::NoPermission:
        return {&kOpenFailedText,
                update ? &kSystemTexts.usbAccessDenied : &kSystemTexts.driveAccessDenied, nullptr};
    case OutcomeKind::CarriesStandIn: return {&kStandInText, nullptr, nullptr};
    case OutcomeKind::Busy: return {&kBusyText, nullptr, nullptr};
    default: return {};
    }
}

Told Texts(const Listed&) { return {}; }

Told Texts(const Refusal& refusal) {
    const bool update = refusal.command == FrontEndCommand::Update;
    Said said = Common(refusal.kind, update);
    if (update && refusal.kind == OutcomeKind::NoDevice && refusal.usbStatus == LinkStatus::Unavailable)
        said = {&kOpenFailedText, &kHintUsbUnavailable, nullptr};
    return {said, 0, refusal.deviceId};
}

Told Texts(const DeviceInfo& info) { return {Common(info.kind, false), 0, info.deviceId}; }

Told Texts(const ClearResult& clear) {
    Said said;
    switch (clear.kind) {
    case OutcomeKind::Erased: said = {&kErasedText, &kHintClearSucceeded, nullptr}; break;
    case OutcomeKind::UserIdUnreadable: said = {&kUserIdFailureText, &kHintClearFailed, nullptr}; break;
    case OutcomeKind::RefusedByUserId: said = {&kUserIdRefusedText, &kHintRefused, nullptr}; break;
    case OutcomeKind::Declined: said = {nullptr, &kHintDeclined}; break;
    case OutcomeKind::Failed: said = {&kEraseFailedText, &kHintClearFailed, nullptr}; break;
    case OutcomeKind::Interrupted: said = {&kInterruptedText, &kHintInterruptedClear, nullptr}; break;
    default: said = Common(clear.kind, false);
    }
    return {said, clear.userId.value_or(0), clear.deviceId};
}

// Why an update failed, as the link said.
const TerminalText* FailureHint(LinkStatus link) {
    if (link == LinkStatus::DeviceGone) return &kHintDeviceGone;
    if (link == LinkStatus::TimedOut) return &kHintDeviceSilent;
    return nullptr;
}

Told Texts(const UpdateResult& update) {
    Said said;
    switch (update.kind) {
    case OutcomeKind::Updated: said = {&kUpdatedText, nullptr, nullptr}; break;
    case OutcomeKind::OpenFailed:
        said = {&kOpenFailedText,
                update.link == LinkStatus::Busy ? &kHintUsbBusy : &kHintUpdateNoDevice, nullptr};
        break;
    case OutcomeKind::Failed: {
        const TerminalText* why = FailureHint(update.link);
        said = why != nullptr ? Said{&kUpdateFailedText, why, &kHintUpdateFailed}
                              : Said{&kUpdateFailedText, &kHintUpdateFailed, nullptr};
        break;
    }
    case OutcomeKind::Interrupted: said = {&kInterruptedText, &kHintInterruptedUpdate, nullptr}; break;
    default: said = Common(update.kind, true);
    }
    if (update.kind == OutcomeKind::NoDevice && update.link == LinkStatus::Unavailable)
        said = {&kOpenFailedText, &kHintUsbUnavailable, nullptr};
    return {said, 0, update.deviceId};
}

// What the version read back says; the version (or the wait) goes into the hint.
Told ConfirmTexts(const ConfirmResult& confirm, int waitSeconds) {
    const std::string version =
        confirm.version ? std::string(FormatVersion(*confirm.version).View()) : std::string();
    switch (confirm.how) {
    case Confirmation::Confirmed: return {{&kConfirmedText, &kHintRunsVersion, nullptr}, 0, version};
    case Confirmation::NotCompared: return {{&kUpdatedText, &kHintNotCompared, nullptr}, 0, version};
    case Confirmation::WrongVersion:
        return {{&kNotConfirmedText, &kHintWrongVersion, nullptr}, 0, version};
    case Confirmation::DidNotStart: return {{&kNotConfirmedText, &kHintDidNotStart, nullptr}, 0, {}};
    case Confirmation::NotBack:
        return {{&kNotConfirmedText, &kHintNotBackInStorage, nullptr}, 0, std::to_string(waitSeconds)};
    case Confirmation::Replaced: return {{&kNotConfirmedText, &kHintReplaced, nullptr}, 0, {}};
    case Confirmation::Unreadable:
        return {{&kNotConfirmedText, &kHintVersionUnreadable, nullptr}, 0, {}};
    case Confirmation::Interrupted:
        return {{&kInterruptedText, &kHintInterruptedConfirm, nullptr}, 0, {}};
    }
    return {};
}

Told Texts(const RunResult& run) {
    if (run.confirm) return ConfirmTexts(*run.confirm, run.waitSeconds);
    if (run.update) return Texts(*run.update);
    if (run.clear && run.clear->kind != OutcomeKind::Erased) return Texts(*run.clear);
    // Erased, and waiting for its firmware.
    if (run.replug == Replug::Interrupted)
        return {{&kInterruptedText, &kHintErasedNotUpdated, nullptr}, 0, {}};
    return {{&kNotBack, &kHintErasedNotUpdated, nullptr}, static_cast<unsigned>(run.waitSeconds), {}};
}

}  // namespace

Told TextsFor(const CommandResult& result) {
    return std::visit([](const auto& one) { return Texts(one); }, result);
}

std::vector<std::string> OutcomeLines(const CommandResult& result, Language language) {
    const Told told = TextsFor(result);
    const Said& said = told.said;
    std::vector<std::string> lines;
    if (said.status != nullptr) lines.push_back(Format(Say(*said.status, language), told.number));
    for (const TerminalText* hint : {said.hint, said.then})
        if (hint != nullptr) lines.push_back(Format(Say(*hint, language), told.deviceId.c_str()));
    return lines;
}

}  // namespace fwup
