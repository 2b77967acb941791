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

// Where it went wrong: the step, and what the download or the SCSI command
// that failed there said of it.
void AddFailureJson(Json& entry, const DeviceRun& run) {
    const Outcome& outcome = run.outcome;
    const char* step = StepName(outcome.step);
    entry["step"] = step == nullptr ? Json(nullptr) : Json(step);
    if (run.texts == Texts::Update) {
        entry["download_result"] = DownloadResultName(outcome.download);
        entry["link"] = LinkStatusName(outcome.link);
        return;
    }
    entry["drive"] = DriveStatusName(outcome.drive);
    const bool scsiSent = outcome.step == CommandStep::UserId || outcome.step == CommandStep::Erase;
    entry["scsi_status"] = scsiSent ? Json(Format("0x%02X", outcome.scsiStatus)) : Json(nullptr);
    entry["sense"] = scsiSent && outcome.sense.length > 0
                         ? Json(HexBytes(outcome.sense.bytes.data(), outcome.sense.length))
                         : Json(nullptr);
}

Json DeviceJson(FrontEndCommand command, const DeviceRun& run) {
    const AttachedDevice& device = run.device;
    const Outcome& outcome = run.outcome;
    const std::string id = device.id.empty() ? outcome.deviceId : device.id;
    Json entry{{"id", id.empty() ? Json(nullptr) : Json(id)}};
    const bool vendor = device.id.empty() ? run.texts == Texts::Update
                                          : device.mode == AttachedMode::Vendor;
    entry["mode"] = vendor ? "vendor" : "storage";
    if (vendor) {
        entry["serial"] = device.usb.serial.empty() ? Json(nullptr) : Json(device.usb.serial);
    } else {
        const std::string& volume = device.volume.id.empty() ? id : device.volume.id;
        entry["block_device"] = volume.empty() ? Json(nullptr) : Json(volume);
        entry["description"] = device.volume.description;
        const bool versionKnown = device.versionKnown || outcome.versionKnown;
        const std::uint16_t version = outcome.versionKnown ? outcome.version : device.version;
        entry["version"] = versionKnown ? Json(std::string(FormatVersion(version).View())) : Json(nullptr);
        entry["user_id"] = outcome.userIdKnown ? Json(Format("0x%08X", outcome.userId)) : Json(nullptr);
        entry["readable"] = device.readable;
    }
    entry["outcome"] = OutcomeName(outcome.kind);
    entry["exit_status"] = static_cast<int>(ExitCodeOf(outcome.kind));
    if (command == FrontEndCommand::Update || command == FrontEndCommand::Run) {
        entry["bytes_sent"] = outcome.bytesAccepted;
        entry["bytes_total"] = outcome.bytesTotal;
    }
    AddFailureJson(entry, run);
    return entry;
}

}  // namespace

std::string JsonReport(FrontEndCommand command, const ImageDescription& image,
                       const std::vector<DeviceRun>& runs, ExitCode exit) {
    const char* name = CommandWord(command);
    Json document{{"schema", 1}, {"command", name == nullptr ? Json(nullptr) : Json(name)}};
    document["image"] = ImageJson(image);
    Json devices = Json::array();
    for (const DeviceRun& run : runs) devices.push_back(DeviceJson(command, run));
    document["devices"] = devices;
    document["exit_status"] = static_cast<int>(exit);
    // Text that is not UTF-8 cannot end the program: it is shown replaced.
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace fwup
