#include "app/terminal/outcome_table.h"

namespace fwup {
namespace {

struct Row {
    ExitCode exit;
    const char* name;
};

// Every kind has its row: the switch has no default, so a new kind does not
// compile until it is given one.
Row RowOf(OutcomeKind kind) {
    switch (kind) {
    case OutcomeKind::Updated: return {ExitCode::Done, "updated"};
    case OutcomeKind::Erased: return {ExitCode::Done, "erased"};
    case OutcomeKind::ErasedNotUpdated: return {ExitCode::ErasedNotUpdated, "erased-not-updated"};
    case OutcomeKind::Listed: return {ExitCode::Done, "listed"};
    case OutcomeKind::NoDevice: return {ExitCode::NoDevice, "no-device"};
    case OutcomeKind::SeveralDevices: return {ExitCode::Usage, "several-devices"};
    case OutcomeKind::NoPermission: return {ExitCode::NoPermission, "no-permission"};
    case OutcomeKind::OpenFailed: return {ExitCode::NoDevice, "open-failed"};
    case OutcomeKind::UserIdUnreadable: return {ExitCode::DeviceFailed, "user-id-unreadable"};
    case OutcomeKind::RefusedByUserId: return {ExitCode::RefusedByPolicy, "refused-by-user-id"};
    case OutcomeKind::Declined: return {ExitCode::Declined, "declined"};
    case OutcomeKind::CarriesStandIn: return {ExitCode::StandInImage, "carries-stand-in"};
    case OutcomeKind::Failed: return {ExitCode::DeviceFailed, "failed"};
    case OutcomeKind::Interrupted: return {ExitCode::Interrupted, "interrupted"};
    case OutcomeKind::Busy: return {ExitCode::NoDevice, "busy"};
    case OutcomeKind::Confirmed: return {ExitCode::Done, "confirmed"};
    case OutcomeKind::NotConfirmed: return {ExitCode::NotConfirmed, "not-confirmed"};
    }
    return {ExitCode::DeviceFailed, "failed"};
}

// Every status has its meaning: the switch has no default, so a new status
// does not compile until it is given one. Null for a number that is none.
const TerminalText* MeaningOf(ExitCode code) {
    switch (code) {
    case ExitCode::Done: return &kExitDone;
    case ExitCode::DeviceFailed: return &kExitDeviceFailed;
    case ExitCode::Usage: return &kExitUsage;
    case ExitCode::NoDevice: return &kExitNoDevice;
    case ExitCode::RefusedByPolicy: return &kExitRefused;
    case ExitCode::Declined: return &kExitDeclined;
    case ExitCode::NoPermission: return &kExitNoPermission;
    case ExitCode::StandInImage: return &kExitStandIn;
    case ExitCode::ErasedNotUpdated: return &kExitErasedNotUpdated;
    case ExitCode::NotConfirmed: return &kExitNotConfirmed;
    case ExitCode::Interrupted: return &kExitInterrupted;
    }
    return nullptr;
}

}  // namespace

std::vector<ExitCode> AllExitCodes() {
    std::vector<ExitCode> codes;
    for (int number = 0; number < 256; ++number)
        if (MeaningOf(static_cast<ExitCode>(number)) != nullptr)
            codes.push_back(static_cast<ExitCode>(number));
    return codes;
}

std::string ExitStatusSentence(Language language) {
    std::string sentence = Say(kExitStatusOpening, language);
    const char* separator = "";
    for (ExitCode code : AllExitCodes()) {
        sentence += separator + std::to_string(static_cast<int>(code)) + " " +
                    Say(*MeaningOf(code), language);
        separator = Say(kExitStatusSeparator, language);
    }
    return sentence + Say(kExitStatusClosing, language);
}

ExitCode ExitCodeOf(OutcomeKind kind) {
    return RowOf(kind).exit;
}

const char* OutcomeName(OutcomeKind kind) {
    return RowOf(kind).name;
}

const char* StepName(DriveStep step) {
    switch (step) {
    case DriveStep::None: return nullptr;
    case DriveStep::Search: return "search";
    case DriveStep::UserId: return "user-id";
    case DriveStep::Erase: return "erase";
    }
    return nullptr;
}

const char* StepName(UpdateStep step) {
    switch (step) {
    case UpdateStep::None: return nullptr;
    case UpdateStep::Search: return "search";
    case UpdateStep::Open: return "open";
    case UpdateStep::Begin: return "begin";
    case UpdateStep::Data: return "data";
    case UpdateStep::End: return "end";
    }
    return nullptr;
}

namespace {

const char* StepOf(const Listed&) { return nullptr; }
const char* StepOf(const Refusal& refusal) {
    return refusal.kind == OutcomeKind::SeveralDevices ? nullptr : "search";
}
const char* StepOf(const DeviceInfo& info) { return StepName(info.step); }
const char* StepOf(const ClearResult& clear) { return StepName(clear.step); }
const char* StepOf(const UpdateResult& update) { return StepName(update.step); }
const char* StepOf(const RunResult& run) {
    if (run.confirm && run.confirm->how != Confirmation::Confirmed &&
        run.confirm->how != Confirmation::NotCompared)
        return "confirm";
    if (run.update) return StepName(run.update->step);
    if (run.replug == Replug::NotBack) return "replug";
    return run.clear ? StepName(run.clear->step) : nullptr;
}

}  // namespace

const char* StepName(const CommandResult& result) {
    return std::visit([](const auto& one) { return StepOf(one); }, result);
}

const char* DownloadResultName(DownloadResult result) {
    switch (result) {
    case DownloadResult::Ok: return "ok";
    case DownloadResult::Interrupted: return "interrupted";
    case DownloadResult::Failed: return "failed";
    case DownloadResult::BeginRejected: return "begin-rejected";
    case DownloadResult::DataRejected: return "data-rejected";
    case DownloadResult::EndRejected: return "end-rejected";
    }
    return "failed";
}

const char* LinkStatusName(LinkStatus status) {
    switch (status) {
    case LinkStatus::Ok: return "ok";
    case LinkStatus::TimedOut: return "timed-out";
    case LinkStatus::Stalled: return "stalled";
    case LinkStatus::DeviceGone: return "device-gone";
    case LinkStatus::NoPermission: return "no-permission";
    case LinkStatus::Busy: return "busy";
    case LinkStatus::NotFound: return "not-found";
    case LinkStatus::Unavailable: return "unavailable";
    case LinkStatus::Cancelled: return "cancelled";
    case LinkStatus::Failed: return "failed";
    }
    return "failed";
}

const char* DriveStatusName(DriveStatus status) {
    switch (status) {
    case DriveStatus::Ok: return "ok";
    case DriveStatus::NoPermission: return "no-permission";
    case DriveStatus::Gone: return "gone";
    case DriveStatus::Failed: return "failed";
    }
    return "failed";
}

}  // namespace fwup
