#include "app/terminal/bench.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "app/terminal/bench_port.h"
#include "app/terminal/device_view.h"
#include "app/terminal/record_file.h"
#include "app/terminal/text_format.h"
#include "app/terminal/unit_texts.h"
#include "core/device_model.h"
#include "devices/device_text.h"
#include "image/image_digest.h"

#ifndef FWUP_VERSION
#define FWUP_VERSION "unknown"
#endif

namespace fwup {
namespace {

// Events keep their fields in the order written: "event" first.
using Json = nlohmann::ordered_json;

std::string VersionOrEmpty(const std::optional<std::uint16_t>& version) {
    return version ? std::string(FormatVersion(*version).View()) : std::string();
}

Json VersionJson(const std::optional<std::uint16_t>& version) {
    return version ? Json(VersionOrEmpty(version)) : Json(nullptr);
}

// The units the bench has seen end, for its counters and its exit status.
struct Tally {
    std::atomic<unsigned> started{0};
    std::atomic<unsigned> passed{0};
    std::atomic<unsigned> failed{0};
    std::atomic<std::int64_t> firstArrivalMs{0};
};

class Bench;

// One port's line on the board, its events and its record lines.
class PortView : public PortObserver {
public:
    PortView(Bench& bench, std::string port) : bench_(bench), port_(std::move(port)) {}

    bool UnitArrived(const UnitRecord& start, PortMode mode) override;
    void StepBegan(UnitStep step) override;
    void UnitEnded(const UnitRecord& end) override;
    void PortHeld() override;
    void NoPermission() override;
    void OnProgress(const Progress& progress) override;
    void OnExchange(const CommandExchange& exchange) override { View().OnExchange(exchange); }
    void OnScsiCommand(const ScsiExchange& exchange) override { View().OnScsiCommand(exchange); }
    bool StopRequested() override;

    // The port's line, added to the board when the port first needs one.
    DeviceView& View();

private:
    void Event(Json event);
    Bench& bench_;
    std::string port_;
    std::string serial_;  // the unit's, as the events name it
    std::unique_ptr<DeviceView> view_;
    int tenthsSaid_ = -1;
    bool heldSaid_ = false;
};

class Bench {
public:
    Bench(FrontEnd& frontEnd, const ImageDescription& image)
        : frontEnd_(frontEnd),
          line_(frontEnd.commandLine),
          image_(image),
          output_(OutputOf(frontEnd, frontEnd.commandLine.json)),
          board_(output_, frontEnd.language, frontEnd.columns, frontEnd.rows, frontEnd.drawProgress,
                 frontEnd.resized),
          settings_{frontEnd.usb,
                    frontEnd.drives,
                    frontEnd.locks,
                    image,
                    frontEnd.realHardware ? Hardware::Real : Hardware::Simulated,
                    frontEnd.commandLine.waitSeconds,
                    frontEnd.pollMs,
                    std::string(FWUP_PROGRAM_NAME " ") + FWUP_VERSION,
                    frontEnd.hostName,
                    UtcNowMs} {
        board_.UseColour(frontEnd.colour);
    }

    ExitCode Run();

    // --- what the ports call, from their own threads
    const FrontEnd& Front() const { return frontEnd_; }
    TerminalOutput& Output() { return output_; }
    ProgressBoard& Board() { return board_; }
    Language Lang() const { return frontEnd_.language; }
    bool JsonEvents() const { return line_.json; }
    bool WriteRecord(const UnitRecord& record);
    // The record cannot be opened or written: said on the board and, under
    // --json, as an error event.
    void SayRecordFailure(const char* code, const TerminalText& text);
    void Ended(const UnitRecord& record);
    bool Interrupted() const { return fwup::Interrupted(frontEnd_); }
    void Emit(const Json& event) {
        output_.Json(event.dump(-1, ' ', false, Json::error_handler_t::replace));
    }

private:
    struct Port {
        std::string id;
        std::unique_ptr<PortView> view;
        std::thread thread;
        std::atomic<bool> done{false};
        PortEnd end = PortEnd::Stopped;
    };

    bool Draining() const {
        return (frontEnd_.draining != nullptr && frontEnd_.draining->load()) || recordFailed_;
    }
    bool Stopping() const { return Draining() || Interrupted() || UnitsServed(); }
    bool UnitsServed() const {
        return line_.units > 0 && tally_.started.load() >= static_cast<unsigned>(line_.units);
    }
    bool TakeUnit();
    bool Named(const std::string& port) const;
    std::set<std::string> PortsOnTheBus();
    void Start(const std::string& port);
    void Tend();
    void SayCounters();
    void SayDraining();
    ExitCode Finish();

    FrontEnd& frontEnd_;
    const CommandLine& line_;
    const ImageDescription& image_;
    TerminalOutput output_;
    ProgressBoard board_;
    BenchSettings settings_;
    RecordFile record_;  // appended to from every port's thread
    std::atomic<bool> recordFailed_{false};
    Tally tally_;
    std::map<std::string, std::unique_ptr<Port>> ports_;
    std::set<std::string> unknownPortSaid_;
    bool drainingSaid_ = false;
    std::string imageDigest_;
    std::string recordPath_;
};

// --- PortView

DeviceView& PortView::View() {
    if (!view_)
        view_ = std::make_unique<DeviceView>(bench_.Front(), bench_.Output(),
                                             ShowableDeviceText(port_), &bench_.Board());
    return *view_;
}

void PortView::Event(Json event) {
    if (!bench_.JsonEvents()) return;
    event["port"] = port_;
    event["serial"] = serial_.empty() ? Json(nullptr) : Json(serial_);
    bench_.Emit(event);
}

bool PortView::UnitArrived(const UnitRecord& start, PortMode mode) {
    serial_ = !start.storageSerial.empty() ? start.storageSerial : start.vendorSerial;
    tenthsSaid_ = -1;
    heldSaid_ = false;
    Event({{"event", "arrived"}, {"mode", mode == PortMode::Vendor ? "vendor" : "storage"}});
    return bench_.WriteRecord(start);
}

const TerminalText& StepState(UnitStep step) {
    switch (step) {
        case UnitStep::Read: return kStateReading;
        case UnitStep::Erase: return kStateClearing;
        case UnitStep::ReplugToVendor: return kStateReplug;
        case UnitStep::Download: return kUpdateWaitText;
        case UnitStep::ReplugToStorage: return kStateReplugToConfirm;
        case UnitStep::Confirm: return kStateConfirming;
    }
    return kStateReading;
}

void PortView::StepBegan(UnitStep step) {
    View().State(StepState(step));
    Event({{"event", "step"}, {"step", UnitStepName(step)}});
}

void PortView::OnProgress(const Progress& progress) {
    View().OnProgress(progress);
    if (progress.step == Step::Erase || progress.total == 0) return;
    const int tenths = static_cast<int>(progress.done * 10 / progress.total);
    if (tenths == tenthsSaid_) return;
    tenthsSaid_ = tenths;
    Event({{"event", "progress"}, {"tenths", tenths}});
}

bool PortView::StopRequested() { return bench_.Interrupted(); }

void PortView::UnitEnded(const UnitRecord& end) {
    if (!end.storageSerial.empty()) serial_ = end.storageSerial;
    // On disk before anyone is told: a unit shown done is a unit recorded.
    const bool recorded = bench_.WriteRecord(end);
    bench_.Ended(end);
    std::string text = Say(UnitOutcomeText(end.outcome), bench_.Lang());
    if (!serial_.empty()) text += "  " + ShowableDeviceText(serial_);
    if (end.versionBefore && end.versionAfter && *end.versionBefore != *end.versionAfter)
        text += "  " + VersionOrEmpty(end.versionBefore) + "→" + VersionOrEmpty(end.versionAfter);
    else if (end.versionBefore || end.versionAfter)
        text += "  " + VersionOrEmpty(end.versionBefore ? end.versionBefore : end.versionAfter);
    View().Show(text, Passed(end.outcome) ? ProgressBoard::Tone::Good : ProgressBoard::Tone::Bad);
    Json event{{"event", "result"}, {"outcome", UnitOutcomeName(end.outcome)}};
    event["failed_step"] = end.failedStep ? Json(UnitStepName(*end.failedStep)) : Json(nullptr);
    event["detail"] = end.detail.empty() ? Json(nullptr) : Json(end.detail);
    event["version_before"] = VersionJson(end.versionBefore);
    event["version_after"] = VersionJson(end.versionAfter);
    event["recorded"] = recorded;
    Event(std::move(event));
}

void PortView::PortHeld() {
    if (heldSaid_) return;
    heldSaid_ = true;
    View().Show(Say(kStateHeld, bench_.Lang()), ProgressBoard::Tone::Bad);
}

void PortView::NoPermission() {
    View().Show(Say(kStateNoPermission, bench_.Lang()), ProgressBoard::Tone::Bad);
}

// --- Bench

bool Bench::WriteRecord(const UnitRecord& line) {
    UnitRecord record = line;
    record.image.sha256 = imageDigest_;
    if (record_.Append(record)) return true;
    // A unit that cannot be recorded is not served: the bench stops taking units.
    if (!recordFailed_.exchange(true)) SayRecordFailure("record-unwritable", kRecordUnwritable);
    return false;
}

void Bench::SayRecordFailure(const char* code, const TerminalText& text) {
    const std::string message = Format(Say(text, Lang()), recordPath_.c_str());
    board_.Tell(message);
    if (line_.json) Emit({{"event", "error"}, {"code", code}, {"message", message}});
}

void Bench::Ended(const UnitRecord& record) {
    if (Passed(record.outcome))
        ++tally_.passed;
    else
        ++tally_.failed;
    SayCounters();
}

bool Bench::TakeUnit() {
    if (Draining() || Interrupted()) return false;
    // Reserved before its start line: --units N serves exactly N.
    unsigned started = tally_.started.load();
    do {
        if (line_.units > 0 && started >= static_cast<unsigned>(line_.units)) return false;
    } while (!tally_.started.compare_exchange_weak(started, started + 1));
    std::int64_t none = 0;
    tally_.firstArrivalMs.compare_exchange_strong(none, UtcNowMs());
    return true;
}

void Bench::SayCounters() {
    const unsigned ended = tally_.passed + tally_.failed;
    const std::int64_t since = tally_.firstArrivalMs.load();
    const double hours = since == 0 ? 0.0 : static_cast<double>(UtcNowMs() - since) / 3.6e6;
    const std::string perHour = ended == 0 || hours <= 0.0 ? "-" : Format("%.0f", ended / hours);
    board_.SetHeader(Format(Say(kBenchCounters, Lang()), tally_.passed.load(), tally_.failed.load(),
                            perHour.c_str()));
}

bool Bench::Named(const std::string& port) const {
    if (line_.devices.empty()) return true;
    for (const std::string& named : line_.devices)
        if (named == port) return true;
    return false;
}

// The ports a unit of the model may stand on: those of the vendor-mode
// devices, and of every removable volume whose port the system knows.
std::set<std::string> Bench::PortsOnTheBus() {
    std::set<std::string> ports;
    LinkStatus status = LinkStatus::Ok;
    for (const UsbDeviceInfo& device : frontEnd_.usb.FindDevices(&status))
        if (!PortOf(device).empty()) ports.insert(PortOf(device));
    for (const VolumeCandidate& volume : frontEnd_.drives.FindCandidateVolumes()) {
        if (!PortOf(volume).empty()) {
            ports.insert(PortOf(volume));
            continue;
        }
        // Named by the user, it is told why it is not served.
        if (!line_.devices.empty() && Named(volume.id) && unknownPortSaid_.insert(volume.id).second)
            board_.Tell(
                Format(Say(kBenchPortUnknown, Lang()), ShowableDeviceText(volume.id).c_str()));
    }
    return ports;
}

void Bench::Start(const std::string& id) {
    auto port = std::make_unique<Port>();
    port->id = id;
    port->view = std::make_unique<PortView>(*this, id);
    Port* started = port.get();
    ports_[id] = std::move(port);
    started->thread = std::thread([this, started] {
        started->end = ServePort(
            settings_, started->id, *started->view, [this] { return TakeUnit(); },
            [this] { return Stopping(); });
        started->done = true;
    });
}

// One round of the bench: new ports served, ports that are not the model's
// forgotten once they leave.
void Bench::Tend() {
    const std::set<std::string> present = PortsOnTheBus();
    for (auto it = ports_.begin(); it != ports_.end();) {
        Port& port = *it->second;
        const bool gone = present.count(port.id) == 0;
        if (port.done && port.end == PortEnd::NotOurs && gone) {
            port.thread.join();
            it = ports_.erase(it);
            continue;
        }
        ++it;
    }
    if (Stopping()) return;
    for (const std::string& id : present)
        if (Named(id) && ports_.count(id) == 0) Start(id);
}

void Bench::SayDraining() {
    if (drainingSaid_ || !Draining() || Interrupted()) return;
    drainingSaid_ = true;
    board_.Tell(Say(kBenchDraining, Lang()));
    if (line_.json) Emit({{"event", "draining"}});
}

ExitCode Bench::Run() {
    recordPath_ = line_.record.empty() ? frontEnd_.recordPath : line_.record;
    const RecordFileStatus opened =
        record_.Open(recordPath_, frontEnd_.openFile, frontEnd_.syncFile);
    if (opened != RecordFileStatus::Opened) {
        // Before any unit: a bench without its record serves nothing.
        if (opened == RecordFileStatus::NotOurs) SayRecordFailure("record-not-ours", kRecordNotOurs);
        else SayRecordFailure("record-unwritable", kRecordUnwritable);
        return ExitCode::Usage;
    }
    if (record_.OpenedOnCutLine())
        output_.Message(Format(Say(kRecordCutLine, Lang()), recordPath_.c_str()));
    imageDigest_ = Sha256Hex(image_.bytes.imageData, image_.bytes.imageSize);
    if (line_.simulate) output_.Message(Say(kSimulationNote, Lang()));
    output_.Message(Format(Say(kBenchServing, Lang()), recordPath_.c_str()));
    // The ports named are on the board from the start, waiting for their units.
    for (const std::string& id : line_.devices) {
        Start(id);
        ports_[id]->view->View().State(kStateAwaitingUnit);
    }
    SayCounters();
    for (;;) {
        Tend();
        SayDraining();
        bool busy = false;
        for (const auto& [id, port] : ports_) busy = busy || !port->done;
        if (Stopping() && !busy) break;
        board_.Refresh();
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<std::uint32_t>(frontEnd_.pollMs, 200)));
    }
    return Finish();
}

ExitCode Bench::Finish() {
    for (auto& [id, port] : ports_)
        if (port->thread.joinable()) port->thread.join();
    SayCounters();
    board_.Finish();
    output_.Result(Format(Say(kBenchSummary, Lang()), tally_.passed.load(), tally_.failed.load()));
    if (line_.json)
        Emit({{"event", "summary"},
              {"passed", tally_.passed.load()},
              {"failed", tally_.failed.load()}});
    if (Interrupted()) return ExitCode::Interrupted;
    return tally_.failed > 0 ? ExitCode::DeviceFailed : ExitCode::Done;
}

}  // namespace

ExitCode RunBench(FrontEnd& frontEnd, const ImageDescription& image) {
    return Bench(frontEnd, image).Run();
}

}  // namespace fwup
