#include "app/terminal/json_report.h"

#include <nlohmann/json.hpp>

#include "app/terminal/text_format.h"
#include "core/device_model.h"
#include "image/image_description.h"

namespace fwup {
namespace {

using Json = nlohmann::ordered_json;

Json ImageJson(const ImageDescription& summary) {
    if (!summary.accepted) return nullptr;
    return Json{{"size", summary.bytes.imageSize},
                {"end_address", Format("0x%08X", summary.endAddress)},
                {"checksum", Format("0x%04X", summary.checksum)},
                {"stand_in", summary.standIn}};
}

Json NameOrNull(const char* name) { return name == nullptr ? Json(nullptr) : Json(name); }

// What a command to the device in storage mode read of it and where it went
// wrong; every field that no step produced is null.
struct DriveFields {
    std::optional<std::uint16_t> version;
    std::optional<std::uint32_t> userId;
    DriveStep step = DriveStep::None;
    std::optional<DriveFailure> failure;
};

DriveFields DriveOf(const Listed&) { return {}; }
DriveFields DriveOf(const Refusal&) { return {}; }
DriveFields DriveOf(const DeviceInfo& info) { return {info.version, info.userId, info.step, info.failure}; }
DriveFields DriveOf(const ClearResult& clear) { return {clear.version, clear.userId, clear.step, clear.failure}; }
DriveFields DriveOf(const UpdateResult&) { return {}; }
DriveFields DriveOf(const RunResult& run) { return run.clear ? DriveOf(*run.clear) : DriveFields{}; }

const UpdateResult* UpdateOf(const UpdateResult& update) { return &update; }
const UpdateResult* UpdateOf(const RunResult& run) { return run.update ? &*run.update : nullptr; }
template <typename Other>
const UpdateResult* UpdateOf(const Other&) { return nullptr; }

// The failing request: how the system carried it out and, for a vendor
// command, the SCSI status and sense that came with it.
void AddDriveFailure(Json& entry, const DriveFields& drive) {
    const std::optional<DriveFailure>& failure = drive.failure;
    entry["drive"] = failure ? Json(DriveStatusName(failure->drive)) : Json(nullptr);
    const bool scsiSent = failure && (drive.step == DriveStep::UserId || drive.step == DriveStep::Erase);
    entry["scsi_status"] = scsiSent ? Json(Format("0x%02X", failure->scsiStatus)) : Json(nullptr);
    entry["sense"] = scsiSent && failure->sense.length > 0
                         ? Json(HexBytes(failure->sense.bytes.data(), failure->sense.length))
                         : Json(nullptr);
}

void AddBytes(Json& entry, const UpdateResult* update) {
    const bool downloaded = update != nullptr && update->download;
    entry["bytes_sent"] = downloaded ? Json(update->download->bytesAccepted) : Json(nullptr);
    entry["bytes_total"] = downloaded ? Json(update->download->bytesTotal) : Json(nullptr);
}

void AddLink(Json& entry, const UpdateResult* update) {
    const bool downloaded = update != nullptr && update->download;
    entry["download_result"] =
        downloaded ? Json(DownloadResultName(update->download->result)) : Json(nullptr);
    entry["link"] = update != nullptr ? Json(LinkStatusName(update->link)) : Json(nullptr);
}

// run: whether the erased device came back in vendor mode; null where it was
// not waited for.
Json CameBack(const CommandResult& result) {
    const RunResult* run = std::get_if<RunResult>(&result);
    if (run == nullptr || run->replug == Replug::NotAwaited) return nullptr;
    return run->replug == Replug::CameBack;
}

const char* ConfirmationName(Confirmation how) {
    switch (how) {
    case Confirmation::Confirmed: return "confirmed";
    case Confirmation::NotCompared: return "not-compared";
    case Confirmation::WrongVersion: return "wrong-version";
    case Confirmation::DidNotStart: return "did-not-start";
    case Confirmation::NotBack: return "not-back";
    case Confirmation::Replaced: return "replaced";
    case Confirmation::Unreadable: return "unreadable";
    case Confirmation::Interrupted: return "interrupted";
    }
    return "not-back";
}

// run --confirm: what the version read back said, and the version; null
// where no confirmation ran.
void AddConfirmation(Json& entry, const CommandResult& result) {
    const RunResult* run = std::get_if<RunResult>(&result);
    const ConfirmResult* confirm = run != nullptr && run->confirm ? &*run->confirm : nullptr;
    entry["confirmation"] = confirm != nullptr ? Json(ConfirmationName(confirm->how)) : Json(nullptr);
    entry["version_after"] = confirm != nullptr && confirm->version
                                 ? Json(std::string(FormatVersion(*confirm->version).View()))
                                 : Json(nullptr);
}

void AddWhere(Json& entry, const AttachedDevice& device, const DriveFields& drive) {
    if (device.mode == AttachedMode::Vendor) {
        entry["serial"] = device.usb.serial.empty() ? Json(nullptr) : Json(device.usb.serial);
        return;
    }
    entry["block_device"] = device.volume.id.empty() ? Json(nullptr) : Json(device.volume.id);
    entry["description"] = device.volume.description;
    // What the command read, else what the listing read.
    const bool versionKnown = drive.version.has_value() || device.versionKnown;
    const std::uint16_t version = drive.version.value_or(device.version);
    entry["version"] = versionKnown ? Json(std::string(FormatVersion(version).View())) : Json(nullptr);
    entry["user_id"] = drive.userId ? Json(Format("0x%08X", *drive.userId)) : Json(nullptr);
    entry["readable"] = device.readable;
}

Json DeviceJson(FrontEndCommand command, const DeviceRun& run) {
    const AttachedDevice& device = run.device;
    const DriveFields drive = std::visit([](const auto& one) { return DriveOf(one); }, run.result);
    const UpdateResult* update = std::visit([](const auto& one) { return UpdateOf(one); }, run.result);
    const OutcomeKind kind = KindOf(run.result);
    Json entry{{"id", device.id.empty() ? Json(nullptr) : Json(device.id)}};
    entry["mode"] = device.mode == AttachedMode::Vendor ? "vendor" : "storage";
    AddWhere(entry, device, drive);
    entry["outcome"] = OutcomeName(kind);
    entry["exit_status"] = static_cast<int>(ExitCodeOf(kind));
    const bool updates = command == FrontEndCommand::Update || command == FrontEndCommand::Run;
    if (updates) AddBytes(entry, update);
    entry["step"] = NameOrNull(StepName(run.result));
    if (updates) AddLink(entry, update);
    if (command != FrontEndCommand::Update) AddDriveFailure(entry, drive);
    if (command == FrontEndCommand::Run) {
        entry["came_back"] = CameBack(run.result);
        AddConfirmation(entry, run.result);
    }
    return entry;
}

const char* ErrorCode(EarlyFailure failure) {
    switch (failure) {
    case EarlyFailure::Usage: return "usage";
    case EarlyFailure::ImageUnreadable: return "image-unreadable";
    case EarlyFailure::ImageRefused: return "image-refused";
    case EarlyFailure::BadEnvironment: return "bad-environment";
    }
    return "usage";
}

std::string Document(FrontEndCommand command, const ImageDescription& image, Json devices,
                     Json error, ExitCode exit) {
    Json document{{"schema", 2}, {"command", NameOrNull(CommandWord(command))}};
    document["image"] = ImageJson(image);
    document["devices"] = std::move(devices);
    document["error"] = std::move(error);
    document["exit_status"] = static_cast<int>(exit);
    // Text that is not UTF-8 cannot end the program: it is shown replaced.
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string JsonReport(FrontEndCommand command, const ImageDescription& image,
                       const std::vector<DeviceRun>& runs, ExitCode exit) {
    Json devices = Json::array();
    for (const DeviceRun& run : runs) devices.push_back(DeviceJson(command, run));
    return Document(command, image, std::move(devices), nullptr, exit);
}

std::string JsonErrorReport(FrontEndCommand command, const ImageDescription& image,
                            const EarlyError& error) {
    return Document(command, image, Json::array(),
                    Json{{"code", ErrorCode(error.failure)}, {"message", error.message}},
                    ExitCode::Usage);
}

}  // namespace fwup
