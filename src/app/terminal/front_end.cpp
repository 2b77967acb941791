#include "app/terminal/front_end.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdarg>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/terminal/progress_line.h"
#include "app/terminal/terminal_output.h"
#include "devices/attached_devices.h"
#include "core/device_model.h"
#include "image/image_description.h"
#include "download/update_command.h"
#include "image/image_file.h"
#include "storage/clear_command.h"
#include "storage/vendor_scsi_commands.h"

#ifndef FWUP_VERSION
#define FWUP_VERSION "unknown"
#endif

namespace fwup {
namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

enum class Texts { Clear, Update };

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char filled[1024] = {};
    std::vsnprintf(filled, sizeof filled, format, arguments);
    va_end(arguments);
    return filled;
}

// The terminal's one table: what each outcome of each command prints, the
// status line as the dialog words it, then what to do next. Any may be
// absent.
struct Said {
    const TerminalText* status = nullptr;
    const TerminalText* hint = nullptr;
    const TerminalText* then = nullptr;
};

Said TextsFor(Texts command, const Outcome& outcome) {
    const bool update = command == Texts::Update;
    switch (outcome.kind) {
    case OutcomeKind::Updated: return {&kUpdatedText};
    case OutcomeKind::Erased: return {&kErasedText, &kHintClearSucceeded};
    case OutcomeKind::Listed: return {};
    case OutcomeKind::NoDevice:
        if (update && outcome.link == LinkStatus::Unavailable)
            return {&kOpenFailedText, &kHintUsbUnavailable};
        return {&kOpenFailedText, update ? &kHintUpdateNoDevice : &kHintClearNoDevice};
    case OutcomeKind::SeveralDevices: return {&kSeveralDevices};
    case OutcomeKind::NoPermission:
        return {&kOpenFailedText, update ? &kHintUsbAccessDenied : &kHintDriveAccessDenied};
    case OutcomeKind::OpenFailed:
        return {&kOpenFailedText,
                outcome.link == LinkStatus::Busy ? &kHintUsbBusy : &kHintUpdateNoDevice};
    case OutcomeKind::UserIdUnreadable: return {&kUserIdFailureText, &kHintClearFailed};
    case OutcomeKind::RefusedByUserId: return {&kUserIdRefusedText, &kHintRefused};
    case OutcomeKind::Declined: return {nullptr, &kHintDeclined};
    case OutcomeKind::CarriesStandIn: return {&kStandInText};
    case OutcomeKind::ImageInvalid: return {};
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

// The image line of info and --version: size, end address, checksum, and
// whether it is the stand-in.
std::string ImageLine(const ImageDescription& summary, Language language) {
    if (!summary.accepted) return Say(kImageMissing, language);
    return Format(Say(kImageLine, language), static_cast<unsigned>(summary.bytes.imageSize),
                  static_cast<unsigned>(summary.endAddress), static_cast<unsigned>(summary.checksum),
                  summary.standIn ? Say(kImageStandIn, language) : "");
}

// The device an ID that list prints names: its id as listed, a block device
// without "/dev/", or "serial:" and a vendor-mode device's serial number.
const AttachedDevice* FindAttachedDevice(const AttachedDevices& attached, const std::string& id) {
    constexpr char kSerialPrefix[] = "serial:";
    const bool bySerial = id.rfind(kSerialPrefix, 0) == 0;
    const std::string serial = bySerial ? id.substr(sizeof kSerialPrefix - 1) : std::string{};
    for (const AttachedDevice& device : attached.devices) {
        if (bySerial) {
            if (device.mode == AttachedMode::Vendor && !serial.empty() && device.usb.serial == serial)
                return &device;
        } else if (device.id == id || device.id == "/dev/" + id) {
            return &device;
        }
    }
    return nullptr;
}

// What came of one device.
struct DeviceRun {
    AttachedDevice device;
    Outcome outcome;
    Texts texts = Texts::Clear;
    bool timedOutWaiting = false;  // run: the device did not come back
};

// The whole of one invocation: the devices, how they show, what came of them.
class Station {
public:
    Station(FrontEnd& frontEnd, ImageDescription image)
        : frontEnd_(frontEnd),
          line_(frontEnd.commandLine),
          image_(std::move(image)),
          output_(frontEnd.out, frontEnd.err, line_.json, frontEnd.codeset) {}

    ExitCode Run();
    TerminalOutput& Output() { return output_; }
    ExitCode ReportUsage(const std::string& message);

private:
    class DeviceView;
    class Question;

    Language Lang() const { return frontEnd_.language; }
    const char* Say(const TerminalText& text) const { return fwup::Say(text, Lang()); }
    bool Interrupted() const {
        return frontEnd_.interrupted != nullptr && frontEnd_.interrupted->load();
    }
    CommandSafety Safety() const {
        return CommandSafety{frontEnd_.realHardware && image_.standIn};
    }

    ExitCode List();
    ExitCode Info();
    ExitCode Work();
    std::optional<std::vector<AttachedDevice>> Choose(bool vendorMode, bool storageMode,
                                                      DeviceRun& refusal);
    void RunOne(DeviceRun& run, DeviceView& view);
    void ClearOne(DeviceRun& run, DeviceView& view);
    void UpdateOne(DeviceRun& run, DeviceView& view, const UsbDeviceInfo* which);
    std::optional<UsbDeviceInfo> AwaitVendorMode(const AttachedDevice& cleared,
                                                 const std::vector<std::string>& before);
    std::vector<std::string> Lines(const DeviceRun& run) const;
    void Report(const DeviceRun& run);
    void Summarize(const DeviceRun& run);
    ExitCode Refuse(DeviceRun& refusal);
    ExitCode Finish(const std::vector<DeviceRun>& runs);
    Json ImageJson() const;
    Json DeviceJson(const DeviceRun& run) const;
    void EmitJson(const std::vector<DeviceRun>& runs, ExitCode exit);
    std::string ListLine(const AttachedDevice& device) const;

    FrontEnd& frontEnd_;
    const CommandLine& line_;
    ImageDescription image_;
    TerminalOutput output_;
    std::vector<AttachedDevice> several_;  // the devices none of which was chosen
};

// One device's view on the terminal, and the sink its command reports to:
// alone, the wait text and a progress line; among several, a line on the
// board. Exchanges are traced with -v; Ctrl-C asks the command to stop.
class Station::DeviceView : public ProgressSink {
public:
    DeviceView(Station& station, const std::string& id, ProgressBoard* board)
        : station_(station), id_(id), board_(board),
          line_(station.frontEnd_.err, station.Lang(), station.frontEnd_.columns) {
        if (board_ != nullptr) index_ = board_->AddLine(id);
    }

    void State(const TerminalText& text) {
        if (board_ != nullptr) board_->SetText(index_, station_.Say(text));
    }
    void OnProgress(const Progress& progress) override {
        if (progress.step != Step::Download) return;
        if (board_ != nullptr) {
            board_->SetProgress(index_, progress);
            return;
        }
        if (!started_) station_.output_.Message(station_.Say(kUpdateWaitText));
        started_ = true;
        if (station_.frontEnd_.drawProgress) {
            // The line is drawn on standard error, and ended before anything else is said.
            line_.Update(progress);
            drawing_ = true;
        }
    }
    void OnExchange(const CommandExchange& exchange) override;
    bool StopRequested() override { return station_.Interrupted(); }
    void Finish() {
        if (drawing_) line_.Finish();
        drawing_ = false;
    }

private:
    Station& station_;
    std::string id_;
    ProgressBoard* board_;
    int index_ = 0;
    ProgressLine line_;
    bool started_ = false;
    bool drawing_ = false;
};

void Station::DeviceView::OnExchange(const CommandExchange& exchange) {
    const int verbosity = station_.line_.verbosity;
    if (verbosity == 0) return;
    const char* name = exchange.code == kBeginCommandCode  ? "begin"
                       : exchange.code == kDataCommandCode ? "data"
                                                           : "end";
    std::string line = id_ + ": " + name;
    if (exchange.code == kDataCommandCode) line += Format(" 0x%08X", exchange.address);
    line += Format(", length %u: ", exchange.length);
    if (exchange.reply == nullptr) {
        line += "no reply";
    } else {
        line += "reply";
        for (std::uint32_t i = 0; i < exchange.replyLength; ++i)
            line += Format(" %02X", exchange.reply[i]);
    }
    line += exchange.result == DownloadResult::Ok ? ", accepted" : Format(", result %d",
                                                                         static_cast<int>(exchange.result));
    if (verbosity > 1) {
        auto dump = [&](const char* what, const std::uint8_t* bytes, std::uint32_t count) {
            for (std::uint32_t at = 0; at < count; at += 16) {
                line += Format("\n  %-6s %04X ", at == 0 ? what : "", at);
                for (std::uint32_t i = at; i < count && i < at + 16; ++i)
                    line += Format(" %02X", bytes[i]);
            }
        };
        dump("header", exchange.header, kCommandHeaderSize);
        dump(exchange.code == kDataCommandCode ? "data" : "payload", exchange.data,
             exchange.dataLength);
        if (exchange.reply != nullptr) dump("reply", exchange.reply, exchange.replyLength);
    }
    station_.output_.Message(line);
}

// Asked on the terminal (on standard error, whatever standard output is);
// only an explicit yes counts. --yes answers it in advance; without a
// terminal to ask on, it counts as No.
class Station::Question : public EraseQuestion {
public:
    explicit Question(Station& station) : station_(station) {}
    bool ConfirmErase(std::uint16_t version) override {
        const std::string question =
            Format(station_.Say(kQuestionText), static_cast<unsigned>(version >> 8),
                   static_cast<unsigned>(version & 0xFF));
        FrontEnd& frontEnd = station_.frontEnd_;
        if (frontEnd.commandLine.assumeYes) {
            // Among several devices' lines the answer given in advance goes unsaid.
            if (!frontEnd.commandLine.all)
                station_.output_.Message(question + " " + station_.Say(kAnsweredYes));
            return true;
        }
        if (!frontEnd.inIsTerminal) {
            station_.output_.Message(question);
            couldNotAsk = true;
            return false;
        }
        station_.output_.Raw(question + " [y/N] ");
        char answer[64] = {};
        // No answer at all (end of input, Ctrl-C) is no Yes either.
        if (std::fgets(answer, sizeof answer, frontEnd.in) == nullptr) {
            station_.output_.Raw("\n");
            return false;
        }
        return IsExplicitYes(answer);
    }

    bool couldNotAsk = false;

private:
    Station& station_;
};

// What the terminal says of a device's outcome, line by line: the status
// line as the dialog words it, then what to do next.
std::vector<std::string> Station::Lines(const DeviceRun& run) const {
    if (run.timedOutWaiting) return {Format(Say(kNotBack), line_.waitSeconds)};
    const Outcome& outcome = run.outcome;
    const Said said = TextsFor(run.texts, outcome);
    std::vector<std::string> lines;
    if (said.status != nullptr)
        lines.push_back(Format(Say(*said.status), static_cast<unsigned>(outcome.userId)));
    for (const TerminalText* hint : {said.hint, said.then})
        if (hint != nullptr) lines.push_back(Format(Say(*hint), outcome.deviceId.c_str()));
    return lines;
}

void Station::Report(const DeviceRun& run) {
    const bool good = Succeeded(run.outcome);
    for (const std::string& line : Lines(run)) {
        if (good) output_.Result(line);
        else output_.Message(line);
    }
}

// The summary's one line for a device: its ID and what came of it.
void Station::Summarize(const DeviceRun& run) {
    const std::vector<std::string> lines = Lines(run);
    output_.Result(run.device.id + ": " + (lines.empty() ? std::string() : lines.front()) + "  [" +
                   OutcomeName(run.outcome.kind) + "]");
}

void Station::ClearOne(DeviceRun& run, DeviceView& view) {
    run.texts = Texts::Clear;
    Question question(*this);
    view.State(kStateClearing);
    const VolumeCandidate* which = run.device.id.empty() ? nullptr : &run.device.volume;
    run.outcome = ClearFirmware(frontEnd_.drives, question, Safety(), view, which);
    // Ctrl-C at the question: nothing was erased, and the user asked to stop.
    if (run.outcome.kind == OutcomeKind::Declined && Interrupted())
        run.outcome.kind = OutcomeKind::Interrupted;
    if (run.outcome.kind == OutcomeKind::Declined && question.couldNotAsk)
        output_.Message(Say(kHintNoTerminal));
}

void Station::UpdateOne(DeviceRun& run, DeviceView& view, const UsbDeviceInfo* which) {
    run.texts = Texts::Update;
    run.outcome = UpdateFirmware(frontEnd_.usb, image_, Safety(), view, which);
    view.Finish();
}

std::optional<UsbDeviceInfo> Station::AwaitVendorMode(const AttachedDevice& cleared,
                                                      const std::vector<std::string>& before) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(line_.waitSeconds);
    for (;;) {
        LinkStatus status = LinkStatus::Ok;
        std::vector<UsbDeviceInfo> fresh;
        for (const UsbDeviceInfo& device : frontEnd_.usb.FindDevices(&status)) {
            // The device keeps its port across the re-plug; where the port is
            // not known, a device that was not there before the clear.
            if (!cleared.volume.usbPort.empty() && device.id == cleared.volume.usbPort) return device;
            bool seen = false;
            for (const std::string& id : before) seen = seen || id == device.id;
            if (!seen) fresh.push_back(device);
        }
        if (cleared.volume.usbPort.empty() && fresh.size() == 1) return fresh.front();
        if (Interrupted() || Clock::now() >= until) return std::nullopt;
        frontEnd_.usb.WaitForArrival(frontEnd_.pollMs);
    }
}

void Station::RunOne(DeviceRun& run, DeviceView& view) {
    if (run.device.mode == AttachedMode::Vendor) {  // cleared already: the update alone
        UpdateOne(run, view, &run.device.usb);
        return;
    }
    std::vector<std::string> before;
    LinkStatus status = LinkStatus::Ok;
    for (const UsbDeviceInfo& device : frontEnd_.usb.FindDevices(&status)) before.push_back(device.id);
    ClearOne(run, view);
    if (run.outcome.kind != OutcomeKind::Erased) return;
    if (line_.all) view.State(kStateWaiting);
    else output_.Message(Format(Say(kReplugAndWait), line_.waitSeconds));
    const std::optional<UsbDeviceInfo> back = AwaitVendorMode(run.device, before);
    if (!back) {
        run.outcome.kind = Interrupted() ? OutcomeKind::Interrupted : OutcomeKind::NoDevice;
        run.timedOutWaiting = !Interrupted();
        run.texts = Texts::Update;
        return;
    }
    UpdateOne(run, view, &*back);
}

std::optional<std::vector<AttachedDevice>> Station::Choose(bool vendorMode, bool storageMode,
                                                           DeviceRun& refusal) {
    const AttachedDevices attached =
        ListAttachedDevices(frontEnd_.usb, frontEnd_.drives, vendorMode, storageMode);
    if (!line_.device.empty()) {
        const AttachedDevice* named = FindAttachedDevice(attached, line_.device);
        if (named == nullptr) {
            refusal.outcome.kind = OutcomeKind::NoDevice;
            refusal.device.id = line_.device;
            output_.Message(Format(Say(kNoSuchDevice), line_.device.c_str()));
            return std::nullopt;
        }
        return std::vector<AttachedDevice>{*named};
    }
    std::vector<AttachedDevice> usable;
    for (const AttachedDevice& device : attached.devices)
        if (device.readable) usable.push_back(device);
    if (usable.size() > 1 && !line_.all) {
        refusal.outcome.kind = OutcomeKind::SeveralDevices;
        output_.Message(Say(kSeveralDevices));
        for (const AttachedDevice& device : usable) output_.Message(ListLine(device));
        several_ = usable;
        return std::nullopt;
    }
    // None usable: the command searches by itself and says why it found none.
    if (usable.empty()) return std::vector<AttachedDevice>{AttachedDevice{}};
    return usable;
}

ExitCode Station::Work() {
    const FrontEndCommand command = line_.command;
    const bool vendor = command == FrontEndCommand::Update || command == FrontEndCommand::Run;
    const bool storage = command == FrontEndCommand::Clear || command == FrontEndCommand::Run;
    DeviceRun refusal;
    refusal.texts = command == FrontEndCommand::Update ? Texts::Update : Texts::Clear;
    const std::optional<std::vector<AttachedDevice>> chosen = Choose(vendor, storage, refusal);
    if (!chosen) return Refuse(refusal);
    std::vector<DeviceRun> runs;
    for (const AttachedDevice& device : *chosen) runs.push_back(DeviceRun{device, {}, refusal.texts, false});

    auto work = [&](DeviceRun& run, DeviceView& view) {
        if (command == FrontEndCommand::Clear) ClearOne(run, view);
        else if (command == FrontEndCommand::Update)
            UpdateOne(run, view, run.device.id.empty() ? nullptr : &run.device.usb);
        else RunOne(run, view);
    };
    if (!line_.all) {
        DeviceView view(*this, runs[0].device.id, nullptr);
        work(runs[0], view);
        Report(runs[0]);
        return Finish(runs);
    }
    // Every device at once, each on a thread of its own: one that fails
    // never stops, slows or changes another.
    ProgressBoard board(output_, Lang(), frontEnd_.columns, frontEnd_.drawProgress);
    std::vector<std::unique_ptr<DeviceView>> views;
    for (DeviceRun& run : runs) views.push_back(std::make_unique<DeviceView>(*this, run.device.id, &board));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < runs.size(); ++i)
        threads.emplace_back([&, i] { work(runs[i], *views[i]); });
    for (std::thread& thread : threads) thread.join();
    board.Finish();
    for (const DeviceRun& run : runs) Summarize(run);
    return Finish(runs);
}

// No device was chosen: none by that ID, or several and none named. Each of
// the several is in the JSON document, none of them changed.
ExitCode Station::Refuse(DeviceRun& refusal) {
    if (refusal.outcome.kind == OutcomeKind::NoDevice) Report(refusal);
    std::vector<DeviceRun> runs;
    for (const AttachedDevice& device : several_) runs.push_back(DeviceRun{device, refusal.outcome, refusal.texts, false});
    if (runs.empty()) runs.push_back(refusal);
    return Finish(runs);
}

ExitCode Station::Finish(const std::vector<DeviceRun>& runs) {
    ExitCode exit = ExitCode::Done;
    for (const DeviceRun& run : runs) {
        const ExitCode code = ExitCodeOf(run.outcome.kind);
        if (code != ExitCode::Done) {
            exit = code;  // the first that failed, in the order of the list
            break;
        }
    }
    if (line_.json) EmitJson(runs, exit);
    return exit;
}

std::string Station::ListLine(const AttachedDevice& device) const {
    std::string details;
    if (device.mode == AttachedMode::Vendor) {
        if (!device.usb.serial.empty()) details = Format(Say(kListSerial), device.usb.serial.c_str());
    } else {
        details = device.volume.description;
        if (!device.readable) details += std::string(details.empty() ? "" : "  ") + Say(kNeedsRoot);
        if (device.versionKnown)
            details += std::string(details.empty() ? "" : "  ") +
                       Format(Say(kListVersion), std::string(FormatVersion(device.version).View()).c_str());
    }
    return device.id + "  " + Say(device.mode == AttachedMode::Vendor ? kModeVendor : kModeStorage) +
           (details.empty() ? "" : "  " + details);
}

ExitCode Station::List() {
    const AttachedDevices attached = ListAttachedDevices(frontEnd_.usb, frontEnd_.drives, true, true);
    if (attached.usbStatus == LinkStatus::Unavailable) output_.Message(Say(kHintUsbUnavailable));
    std::vector<DeviceRun> runs;
    if (attached.devices.empty()) {
        output_.Message(Say(kNothingAttached));
    } else {
        output_.Result(Say(kListHeader));
        for (const AttachedDevice& device : attached.devices) output_.Result(ListLine(device));
    }
    for (const AttachedDevice& device : attached.devices) {
        DeviceRun run{device, {}, Texts::Clear, false};
        run.outcome.kind = OutcomeKind::Listed;
        runs.push_back(run);
    }
    if (line_.json) EmitJson(runs, ExitCode::Done);
    return ExitCode::Done;
}

ExitCode Station::Info() {
    DeviceRun refusal;
    const std::optional<std::vector<AttachedDevice>> chosen = Choose(true, true, refusal);
    if (!chosen) return Refuse(refusal);
    DeviceRun run{chosen->front(), {}, Texts::Clear, false};
    run.outcome.kind = OutcomeKind::Listed;
    if (run.device.mode == AttachedMode::Vendor && !run.device.id.empty()) {
        output_.Result(Format(Say(kInfoVendorMode), run.device.id.c_str()));
        output_.Result(ImageLine(image_, Lang()));
        std::vector<DeviceRun> runs{run};
        return Finish(runs);
    }
    std::uint16_t version = 0;
    const VolumeCandidate* only = run.device.id.empty() ? nullptr : &run.device.volume;
    const FoundDrive found = FindVendorDrive(frontEnd_.drives, &version, kClearTimeLimitSeconds, only);
    if (found.handle == kInvalidHandleValue) {
        run.outcome.kind = found.permissionDenied ? OutcomeKind::NoPermission : OutcomeKind::NoDevice;
        run.outcome.deviceId = found.deniedVolume;
        Report(run);
        std::vector<DeviceRun> runs{run};
        return Finish(runs);
    }
    run.device.id = found.volume.id;
    run.device.volume = found.volume;
    run.device.versionKnown = true;
    run.device.version = version;
    run.outcome.deviceId = found.volume.id;
    const std::string where = found.volume.description.empty()
                                  ? found.volume.id
                                  : found.volume.id + " (" + found.volume.description + ")";
    output_.Result(Format(Say(kInfoFoundAt), where.c_str()));
    output_.Result(Format(Say(kInfoVersion), static_cast<unsigned>(version >> 8),
                          static_cast<unsigned>(version & 0xFF), static_cast<unsigned>(version)));
    // The user id means something from version 2.38 on, as for the Clear command.
    if (version <= kUserIdCheckedAboveVersion) {
        output_.Result(Say(kInfoUserIdNotChecked));
    } else if (std::uint32_t userId = 0;
               QueryUserID(frontEnd_.drives, found.handle, &userId, kClearTimeLimitSeconds) ==
               VendorCommandResult::Success) {
        output_.Result(Format(Say(kInfoUserId), static_cast<unsigned>(userId)));
        run.outcome.userIdKnown = true;
        run.outcome.userId = userId;
    } else {
        output_.Message(Say(kInfoUserIdFailed));
        run.outcome.kind = OutcomeKind::UserIdUnreadable;
    }
    frontEnd_.drives.CloseVolume(found.handle);
    output_.Result(ImageLine(image_, Lang()));
    std::vector<DeviceRun> runs{run};
    return Finish(runs);
}

Json Station::ImageJson() const {
    const ImageDescription& image = image_;
    if (!image.accepted) return nullptr;
    return Json{{"size", image.bytes.imageSize},
                {"end_address", Format("0x%08X", image.endAddress)},
                {"checksum", Format("0x%04X", image.checksum)},
                {"stand_in", image.standIn}};
}

Json Station::DeviceJson(const DeviceRun& run) const {
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
        entry["block_device"] = id.empty() ? Json(nullptr) : Json(id);
        entry["description"] = device.volume.description;
        const bool versionKnown = device.versionKnown || outcome.versionKnown;
        const std::uint16_t version = outcome.versionKnown ? outcome.version : device.version;
        entry["version"] = versionKnown ? Json(std::string(FormatVersion(version).View())) : Json(nullptr);
        entry["user_id"] = outcome.userIdKnown ? Json(Format("0x%08X", outcome.userId)) : Json(nullptr);
        entry["readable"] = device.readable;
    }
    entry["outcome"] = OutcomeName(outcome.kind);
    entry["exit_status"] = static_cast<int>(ExitCodeOf(outcome.kind));
    if (line_.command == FrontEndCommand::Update || line_.command == FrontEndCommand::Run) {
        entry["bytes_sent"] = outcome.bytesAccepted;
        entry["bytes_total"] = outcome.bytesTotal;
    }
    return entry;
}

const char* CommandName(FrontEndCommand command) {
    switch (command) {
    case FrontEndCommand::List: return "list";
    case FrontEndCommand::Info: return "info";
    case FrontEndCommand::Clear: return "clear";
    case FrontEndCommand::Update: return "update";
    case FrontEndCommand::Run: return "run";
    default: return nullptr;
    }
}

void Station::EmitJson(const std::vector<DeviceRun>& runs, ExitCode exit) {
    const char* command = CommandName(line_.command);
    Json document{{"schema", 1}, {"command", command == nullptr ? Json(nullptr) : Json(command)}};
    document["image"] = ImageJson();
    Json devices = Json::array();
    for (const DeviceRun& run : runs) devices.push_back(DeviceJson(run));
    document["devices"] = devices;
    document["exit_status"] = static_cast<int>(exit);
    output_.Json(document.dump());
}

ExitCode Station::ReportUsage(const std::string& message) {
    output_.Message(message);
    if (line_.json) EmitJson({}, ExitCode::Usage);
    return ExitCode::Usage;
}

ExitCode Station::Run() {
    switch (line_.command) {
    case FrontEndCommand::List: return List();
    case FrontEndCommand::Info: return Info();
    default: return Work();
    }
}

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
    TerminalOutput plain(frontEnd.out, frontEnd.err, false, frontEnd.codeset);
    if (line.command == FrontEndCommand::Help) {
        plain.Result(line.help);
        return ExitCode::Done;
    }
    std::vector<std::uint8_t> fileBytes;
    FirmwareImage image = frontEnd.image;
    const bool imageFromFile = !line.image.empty() && line.usageError.empty();
    // A refused image is wrong usage, and no image goes into the document.
    if (imageFromFile) {
        std::string error;
        if (!ReadImageFile(line.image, fileBytes, error))
            return Station(frontEnd, {}).ReportUsage(
                Format(Say(kImageUnreadable, language), line.image.c_str(), error.c_str()));
        image = FirmwareImage{fileBytes.empty() ? nullptr : fileBytes.data(),
                              static_cast<std::uint32_t>(fileBytes.size())};
    }
    ImageDescription described = DescribeImage(image);
    if (imageFromFile && described.problem != ImageProblem::None)
        return Station(frontEnd, {}).ReportUsage(Format(Say(kImageRefused, language),
                                                        line.image.c_str(),
                                                        DescribeImageProblem(described).c_str()));
    if (line.command == FrontEndCommand::Version) {
        plain.Result(std::string("firmware-updater ") + FWUP_VERSION);
        plain.Result(ImageLine(described, language));
        return ExitCode::Done;
    }
    Station station(frontEnd, std::move(described));
    if (!line.usageError.empty())
        return station.ReportUsage(Format(Say(kUsageError, language), line.usageError.c_str()));
    if (line.command == FrontEndCommand::None)
        return station.ReportUsage(Say(kNoCommand, language));
    if (line.simulate) station.Output().Message(Say(kSimulationNote, language));
    return station.Run();
}

}  // namespace fwup
