#include "app/terminal/station.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/terminal/device_list.h"
#include "app/terminal/device_run.h"
#include "app/terminal/device_view.h"
#include "app/terminal/image_loading.h"
#include "app/terminal/json_report.h"
#include "app/terminal/outcome_texts.h"
#include "app/terminal/text_format.h"
#include "core/device_model.h"
#include "devices/returning_device.h"
#include "download/update_command.h"
#include "storage/info_command.h"

namespace fwup {
namespace {

using Clock = std::chrono::steady_clock;

// Why none of the devices listed can be worked on: none answered, or one
// may not be asked for want of rights (the first such is named).
void NoneUsable(const AttachedDevices& attached, Refusal& refusal) {
    refusal.kind = OutcomeKind::NoDevice;
    refusal.usbStatus = attached.usbStatus;
    for (const AttachedDevice& device : attached.devices)
        if (!device.readable) {
            refusal.kind = OutcomeKind::NoPermission;
            refusal.deviceId = device.volume.id;
            break;
        }
}

TerminalOutput OutputFor(const FrontEnd& frontEnd) {
    return OutputOf(frontEnd, frontEnd.commandLine.json);
}

// The whole of one invocation: the devices, how they show, what came of them.
class Station {
public:
    Station(FrontEnd& frontEnd, const ImageDescription& image)
        : frontEnd_(frontEnd), line_(frontEnd.commandLine), image_(image),
          output_(OutputFor(frontEnd)) {}

    ExitCode Run();

private:
    Language Lang() const { return frontEnd_.language; }
    const char* Say(const TerminalText& text) const { return fwup::Say(text, Lang()); }
    bool Interrupted() const { return fwup::Interrupted(frontEnd_); }
    Hardware SpokenTo() const {
        return frontEnd_.realHardware ? Hardware::Real : Hardware::Simulated;
    }

    ExitCode List();
    ExitCode Info();
    ExitCode Work();
    std::optional<std::vector<AttachedDevice>> Choose(bool vendorMode, bool storageMode,
                                                      Refusal& refusal);
    CommandResult Perform(const AttachedDevice& device, DeviceView& view);
    RunResult RunOn(const AttachedDevice& device, DeviceView& view);
    void Confirm(RunResult& run, const UsbDeviceInfo& updated, const std::string& serialBefore,
                 DeviceView& view);
    ClearResult Clear(const AttachedDevice& device, DeviceView& view);
    UpdateResult Update(DeviceView& view, const UsbDeviceInfo* which);
    std::optional<UsbDeviceInfo> AwaitVendorMode(const AttachedDevice& cleared,
                                                 const std::vector<std::string>& before);
    void SayInfo(const AttachedDevice& device, const DeviceInfo& info);
    void Report(const DeviceRun& run);
    void Trace(const DeviceRun& run);
    void Summarize(const DeviceRun& run);
    ExitCode Refuse(const Refusal& refusal);
    ExitCode Finish(const std::vector<DeviceRun>& runs);
    void EmitJson(const std::vector<DeviceRun>& runs, ExitCode exit);

    FrontEnd& frontEnd_;
    const CommandLine& line_;
    const ImageDescription& image_;
    TerminalOutput output_;
    std::vector<AttachedDevice> several_;  // the devices none of which was chosen
};

void Station::Report(const DeviceRun& run) {
    const bool good = Succeeded(KindOf(run.result));
    Trace(run);
    for (const std::string& line : OutcomeLines(run.result, Lang())) {
        if (good) output_.Result(line);
        else output_.Message(line);
    }
}

// With -v, where a device failed and what the device said of it.
void Station::Trace(const DeviceRun& run) {
    const std::string trace = FailureTrace(run);
    if (line_.verbosity > 0 && !trace.empty()) output_.Message(trace);
}

// The summary's one line for a device: its ID and what came of it.
void Station::Summarize(const DeviceRun& run) {
    Trace(run);
    const std::vector<std::string> lines = OutcomeLines(run.result, Lang());
    output_.Result(run.device.id + ": " + (lines.empty() ? std::string() : lines.front()) + "  [" +
                   OutcomeName(KindOf(run.result)) + "]");
}

ClearResult Station::Clear(const AttachedDevice& device, DeviceView& view) {
    TerminalQuestion question(frontEnd_, output_);
    view.State(kStateClearing);
    ClearResult result = ClearFirmware(frontEnd_.drives, question, CarriedImageOf(image_),
                                       SpokenTo(), view, &device.volume);
    // Ctrl-C at the question: nothing was erased, and the user asked to stop.
    if (result.kind == OutcomeKind::Declined && Interrupted()) result.kind = OutcomeKind::Interrupted;
    if (result.kind == OutcomeKind::Declined && question.couldNotAsk)
        output_.Message(Say(kHintNoTerminal));
    return result;
}

UpdateResult Station::Update(DeviceView& view, const UsbDeviceInfo* which) {
    const UpdateResult result = UpdateFirmware(frontEnd_.usb, image_, SpokenTo(), view, which);
    view.Finish();
    return result;
}

std::optional<UsbDeviceInfo> Station::AwaitVendorMode(const AttachedDevice& cleared,
                                                      const std::vector<std::string>& before) {
    const Clock::time_point until = Clock::now() + std::chrono::seconds(line_.waitSeconds);
    for (;;) {
        LinkStatus status = LinkStatus::Ok;
        std::vector<UsbDeviceInfo> fresh;
        const std::vector<UsbDeviceInfo> listed = frontEnd_.usb.FindDevices(&status);
        // The device keeps its port and serial across the re-plug. Only a
        // lone device known by neither is taken as the one that is new.
        if (const UsbDeviceInfo* back = FindReturnedDevice(cleared.volume, listed)) return *back;
        for (const UsbDeviceInfo& device : listed) {
            bool seen = false;
            for (const std::string& id : before) seen = seen || id == device.id;
            if (!seen) fresh.push_back(device);
        }
        if (!line_.all && !ReturnCanBeRecognized(cleared.volume) && fresh.size() == 1)
            return fresh.front();
        if (Interrupted() || Clock::now() >= until) return std::nullopt;
        frontEnd_.usb.WaitForArrival(frontEnd_.pollMs);
    }
}

// --confirm: the updated device re-plugged by the person, and its version
// read back on its port.
void Station::Confirm(RunResult& run, const UsbDeviceInfo& updated, const std::string& serialBefore,
                      DeviceView& view) {
    if (!line_.confirm || !run.update || run.update->kind != OutcomeKind::Updated) return;
    if (line_.all) view.State(kStateReplugToConfirm);
    else output_.Message(Format(Say(kReplugToConfirm), line_.waitSeconds));
    const PortWait wait{frontEnd_.usb, frontEnd_.drives, PortOf(updated), line_.waitSeconds,
                        frontEnd_.pollMs, [this] { return Interrupted(); }};
    run.confirm = ConfirmAfterReplug(wait, image_.version, serialBefore);
}

RunResult Station::RunOn(const AttachedDevice& device, DeviceView& view) {
    RunResult run;
    run.waitSeconds = line_.waitSeconds;
    if (device.mode == AttachedMode::Vendor) {  // cleared already: the update alone
        run.update = Update(view, &device.usb);
        Confirm(run, device.usb, {}, view);
        return run;
    }
    std::vector<std::string> before;
    LinkStatus status = LinkStatus::Ok;
    for (const UsbDeviceInfo& found : frontEnd_.usb.FindDevices(&status)) before.push_back(found.id);
    run.clear = Clear(device, view);
    if (run.clear->kind != OutcomeKind::Erased) return run;
    if (line_.all) view.State(kStateWaiting);
    else output_.Message(Format(Say(kReplugAndWait), line_.waitSeconds));
    const std::optional<UsbDeviceInfo> back = AwaitVendorMode(device, before);
    if (!back) {
        run.replug = Interrupted() ? Replug::Interrupted : Replug::NotBack;
        return run;
    }
    run.replug = Replug::CameBack;
    run.update = Update(view, &*back);
    Confirm(run, *back, device.volume.usbSerial, view);
    return run;
}

CommandResult Station::Perform(const AttachedDevice& device, DeviceView& view) {
    switch (line_.command) {
    case FrontEndCommand::Clear: return Clear(device, view);
    case FrontEndCommand::Update: return Update(view, &device.usb);
    default: return RunOn(device, view);
    }
}

std::optional<std::vector<AttachedDevice>> Station::Choose(bool vendorMode, bool storageMode,
                                                           Refusal& refusal) {
    const AttachedDevices attached =
        ListAttachedDevices(frontEnd_.usb, frontEnd_.drives, vendorMode, storageMode, line_.device);
    if (!line_.device.empty()) {
        const AttachedDevice* named = FindAttachedDevice(attached, line_.device);
        if (named == nullptr) {
            refusal.kind = OutcomeKind::NoDevice;
            // An ID that names no volume at all is unknown: only then is every
            // volume asked, to name what is attached. A volume it names that is
            // not the device leaves the other drives unasked.
            const AttachedDevices all =
                attached.volumesAsked == 0
                    ? ListAttachedDevices(frontEnd_.usb, frontEnd_.drives, vendorMode, storageMode)
                    : attached;
            output_.Message(Format(Say(kNoSuchDevice), line_.device.c_str(),
                                   DeviceIds(all.devices, Lang()).c_str()));
            return std::nullopt;
        }
        return std::vector<AttachedDevice>{*named};
    }
    std::vector<AttachedDevice> usable;
    for (const AttachedDevice& device : attached.devices)
        if (device.readable) usable.push_back(device);
    if (usable.empty()) {
        // Decided from the listing: no second search, with a command's long limits.
        NoneUsable(attached, refusal);
        Report(DeviceRun{{}, refusal});
        return std::nullopt;
    }
    if (usable.size() > 1 && !line_.all) {
        refusal.kind = OutcomeKind::SeveralDevices;
        output_.Message(Say(kSeveralDevices));
        for (const std::string& line : DeviceListLines(usable, Lang())) output_.Message(line);
        several_ = usable;
        return std::nullopt;
    }
    return usable;
}

ExitCode Station::Work() {
    const FrontEndCommand command = line_.command;
    const bool vendor = command == FrontEndCommand::Update || command == FrontEndCommand::Run;
    const bool storage = command == FrontEndCommand::Clear || command == FrontEndCommand::Run;
    Refusal refusal{OutcomeKind::NoDevice, command, LinkStatus::Ok, {}};
    const std::optional<std::vector<AttachedDevice>> chosen = Choose(vendor, storage, refusal);
    if (!chosen) return Refuse(refusal);
    // run --all waits for several devices at once: each must be known again
    // by its port or serial, or two waits could take the same device.
    for (const AttachedDevice& device : *chosen)
        if (command == FrontEndCommand::Run && line_.all && device.mode == AttachedMode::Storage &&
            !ReturnCanBeRecognized(device.volume)) {
            output_.Message(Format(Say(kRunAllUnrecognizable), device.id.c_str()));
            refusal.kind = OutcomeKind::SeveralDevices;
            return Refuse(refusal);
        }
    std::vector<DeviceRun> runs;
    for (const AttachedDevice& device : *chosen) runs.push_back(DeviceRun{device, Listed{}});

    auto work = [&](DeviceRun& run, DeviceView& view) {
        // Held from the first command to the last, across the re-plug of run.
        const std::unique_ptr<DeviceLock> held =
            frontEnd_.locks != nullptr ? frontEnd_.locks->TryLock(DeviceLockKey(run.device)) : nullptr;
        if (frontEnd_.locks != nullptr && held == nullptr) {
            run.result = Refusal{OutcomeKind::Busy, command, LinkStatus::Ok, run.device.id};
            return;
        }
        run.result = Perform(run.device, view);
    };
    if (!line_.all) {
        DeviceView view(frontEnd_, output_, runs[0].device.id, nullptr);
        work(runs[0], view);
        Report(runs[0]);
        return Finish(runs);
    }
    // Every device at once, each on a thread of its own: one that fails
    // never stops, slows or changes another.
    ProgressBoard board(output_, Lang(), frontEnd_.columns, frontEnd_.rows, frontEnd_.drawProgress,
                        frontEnd_.resized);
    std::vector<std::unique_ptr<DeviceView>> views;
    for (DeviceRun& run : runs)
        views.push_back(std::make_unique<DeviceView>(frontEnd_, output_, run.device.id, &board));
    std::vector<std::thread> threads;
    std::atomic<std::size_t> finished{0};
    for (std::size_t i = 0; i < runs.size(); ++i)
        threads.emplace_back([&, i] {
            work(runs[i], *views[i]);
            ++finished;
        });
    // The window may change size while every device waits on its own.
    while (finished < runs.size()) {
        board.Refresh();
        std::this_thread::sleep_for(ProgressLine::kRedrawInterval);
    }
    for (std::thread& thread : threads) thread.join();
    board.Finish();
    bool erased = false;
    for (const DeviceRun& run : runs) {
        Summarize(run);
        erased = erased || KindOf(run.result) == OutcomeKind::Erased;
    }
    if (command == FrontEndCommand::Clear && erased) output_.Message(Say(kHintClearAllSucceeded));
    return Finish(runs);
}

// No device was chosen: none by that ID, none usable, or several and none
// named. Each of the several is in the JSON document, none of them changed.
ExitCode Station::Refuse(const Refusal& refusal) {
    std::vector<DeviceRun> runs;
    for (const AttachedDevice& device : several_) runs.push_back(DeviceRun{device, refusal});
    const ExitCode exit = ExitCodeOf(refusal.kind);
    if (line_.json) EmitJson(runs, exit);
    return exit;
}

ExitCode Station::Finish(const std::vector<DeviceRun>& runs) {
    ExitCode exit = ExitCode::Done;
    for (const DeviceRun& run : runs) {
        const ExitCode code = ExitCodeOf(KindOf(run.result));
        if (code != ExitCode::Done) {
            exit = code;  // the first that failed, in the order of the list
            break;
        }
    }
    if (line_.json) EmitJson(runs, exit);
    return exit;
}

void Station::EmitJson(const std::vector<DeviceRun>& runs, ExitCode exit) {
    output_.Json(JsonReport(line_.command, image_, runs, exit));
}

ExitCode Station::List() {
    const AttachedDevices attached = ListAttachedDevices(frontEnd_.usb, frontEnd_.drives, true, true);
    if (attached.usbStatus == LinkStatus::Unavailable) output_.Message(Say(kHintUsbUnavailable));
    std::vector<DeviceRun> runs;
    if (attached.devices.empty()) {
        output_.Message(Say(kNothingAttached));
    } else {
        for (const std::string& line : DeviceListLines(attached.devices, Lang())) output_.Result(line);
    }
    for (const AttachedDevice& device : attached.devices) runs.push_back(DeviceRun{device, Listed{}});
    if (line_.json) EmitJson(runs, ExitCode::Done);
    return ExitCode::Done;
}

// Where the device is, its version and its user id, as info says them.
void Station::SayInfo(const AttachedDevice& device, const DeviceInfo& info) {
    const std::uint16_t version = info.version.value_or(0);
    std::string where = device.id;
    std::string details = device.volume.id == device.id ? std::string() : device.volume.id;
    if (!device.volume.description.empty())
        details += (details.empty() ? "" : ", ") + device.volume.description;
    if (!details.empty()) where += " (" + details + ")";
    output_.Result(Format(Say(kInfoFoundAt), where.c_str()));
    output_.Result(Format(Say(kInfoVersion), static_cast<unsigned>(version >> 8),
                          static_cast<unsigned>(version & 0xFF), static_cast<unsigned>(version)));
    if (!info.userIdChecked) output_.Result(Say(kInfoUserIdNotChecked));
    else if (info.userId)
        output_.Result(Format(Say(kInfoUserId), static_cast<unsigned>(*info.userId)));
    else output_.Message(Say(kInfoUserIdFailed));
}

ExitCode Station::Info() {
    Refusal refusal{OutcomeKind::NoDevice, FrontEndCommand::Info, LinkStatus::Ok, {}};
    const std::optional<std::vector<AttachedDevice>> chosen = Choose(true, true, refusal);
    if (!chosen) return Refuse(refusal);
    DeviceRun run{chosen->front(), Listed{}};
    if (run.device.mode == AttachedMode::Vendor) {
        output_.Result(Format(Say(kInfoVendorMode), run.device.id.c_str()));
        output_.Result(ImageLine(image_, Lang()));
        return Finish({run});
    }
    DeviceView view(frontEnd_, output_, run.device.id, nullptr);
    const DeviceInfo info = ReadDeviceInfo(frontEnd_.drives, &run.device.volume, view);
    run.result = info;
    if (!info.version) {  // none found, or none this user may ask
        Report(run);
        return Finish({run});
    }
    run.device.versionKnown = true;
    run.device.version = *info.version;
    SayInfo(run.device, info);
    output_.Result(ImageLine(image_, Lang()));
    return Finish({run});
}

ExitCode Station::Run() {
    if (line_.simulate) output_.Message(Say(kSimulationNote));
    switch (line_.command) {
    case FrontEndCommand::List: return List();
    case FrontEndCommand::Info: return Info();
    default: return Work();
    }
}

}  // namespace

ExitCode RunStation(FrontEnd& frontEnd, const ImageDescription& image) {
    return Station(frontEnd, image).Run();
}

ExitCode ReportUsage(FrontEnd& frontEnd, const ImageDescription& image, const EarlyError& error) {
    TerminalOutput output = OutputFor(frontEnd);
    output.Message(error.message);
    if (frontEnd.commandLine.json)
        output.Json(JsonErrorReport(frontEnd.commandLine.command, image, error));
    return ExitCode::Usage;
}

}  // namespace fwup
