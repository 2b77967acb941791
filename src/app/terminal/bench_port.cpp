#include "app/terminal/bench_port.h"

#include <chrono>
#include <thread>

#include "app/terminal/outcome_table.h"
#include "app/terminal/text_format.h"
#include "core/device_model.h"
#include "devices/attached_devices.h"
#include "download/update_command.h"
#include "storage/clear_command.h"
#include "storage/info_command.h"

namespace fwup {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kPortLockPrefix[] = "port:";  // the key DeviceLockKey gives a device on a port

// The bench was started with --yes: every unit's erase is answered Yes.
class AnsweredYes : public EraseQuestion {
public:
    bool ConfirmErase(std::uint16_t) override { return true; }
};

// One unit's way through its steps, each timed, and the record kept.
class UnitService {
public:
    UnitService(const BenchSettings& bench, const std::string& port, PortObserver& observer)
        : bench_(bench), observer_(observer) {
        record_.port = port;
        record_.program = bench.program;
        record_.host = bench.host;
        record_.startMs = bench.clockMs();
        // Its start and end lines share the key: no port starts two units in one
        // millisecond.
        record_.unit = bench.host + "/" + port + "/" + std::to_string(record_.startMs);
        record_.image.size = bench.image.bytes.imageSize;
        record_.image.version = bench.image.version;
    }

    UnitRecord Serve(const PortLook& arrival, const VolumeCandidate* answering);

private:
    bool StorageSteps(const VolumeCandidate& volume);
    std::optional<UsbDeviceInfo> AwaitVendorMode();
    bool Download(const UsbDeviceInfo& device);
    void Confirm();
    void Begin(UnitStep step) {
        step_ = step;
        stepStart_ = Clock::now();
        observer_.StepBegan(step);
    }
    void EndStep() {
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stepStart_);
        record_.steps.push_back(StepTime{step_, took.count()});
    }
    void Fail(UnitOutcome outcome, std::string detail) {
        record_.outcome = outcome;
        record_.failedStep = step_;
        record_.detail = std::move(detail);
    }
    PortWait Wait() const {
        return PortWait{bench_.usb,    bench_.drives,
                        record_.port,  bench_.waitSeconds,
                        bench_.pollMs, [this] { return observer_.StopRequested(); }};
    }

    const BenchSettings& bench_;
    PortObserver& observer_;
    UnitRecord record_;
    UnitStep step_ = UnitStep::Read;
    Clock::time_point stepStart_{};
};

// What went wrong with a command in storage mode, in English for the record.
std::string DriveDetail(const char* what, const ClearResult& clear) {
    std::string detail = std::string(what) + ": " + OutcomeName(clear.kind);
    if (clear.failure) {
        detail += Format(", %s", DriveStatusName(clear.failure->drive));
        if (clear.failure->scsiStatus != 0)
            detail += Format(", SCSI status 0x%02X", clear.failure->scsiStatus);
    }
    return detail;
}

std::string UpdateDetail(const UpdateResult& update) {
    std::string detail = OutcomeName(update.kind);
    if (const char* step = StepName(update.step)) detail += std::string(" at ") + step;
    if (update.download) detail += std::string(", ") + DownloadResultName(update.download->result);
    return detail + ", link " + LinkStatusName(update.link);
}

UnitOutcome ClearOutcome(OutcomeKind kind) {
    switch (kind) {
        case OutcomeKind::RefusedByUserId:
        case OutcomeKind::CarriesStandIn: return UnitOutcome::Refused;
        case OutcomeKind::Interrupted: return UnitOutcome::Interrupted;
        default: return UnitOutcome::Failed;
    }
}

UnitRecord UnitService::Serve(const PortLook& arrival, const VolumeCandidate* answering) {
    if (arrival.mode == PortMode::Vendor)
        record_.vendorSerial = arrival.usb.serial;
    else
        record_.storageSerial = arrival.Serial();
    if (!observer_.UnitArrived(record_, arrival.mode)) {
        Fail(UnitOutcome::Failed, "the record could not be written: nothing was sent");
        return record_;
    }
    std::optional<UsbDeviceInfo> vendor;
    if (arrival.mode == PortMode::Vendor) {
        vendor = arrival.usb;  // erased earlier: its download alone
    } else if (answering != nullptr && StorageSteps(*answering)) {
        vendor = AwaitVendorMode();
    }
    if (vendor && Download(*vendor)) Confirm();
    record_.endMs = bench_.clockMs();
    observer_.UnitEnded(record_);
    return record_;
}

// Read, and erase unless it runs the image's version already; true once erased.
bool UnitService::StorageSteps(const VolumeCandidate& volume) {
    Begin(UnitStep::Read);
    const DeviceInfo info = ReadDeviceInfo(bench_.drives, &volume, observer_);
    EndStep();
    record_.versionBefore = info.version;
    record_.userId = info.userId;
    if (!info.version || info.kind != OutcomeKind::Listed) {
        Fail(UnitOutcome::Failed, std::string("read: ") + OutcomeName(info.kind));
        return false;
    }
    if (bench_.image.version && *info.version == *bench_.image.version) {
        record_.outcome = UnitOutcome::UpToDate;
        record_.versionAfter = info.version;  // it runs that version still
        return false;
    }
    if (observer_.StopRequested()) {
        Fail(UnitOutcome::Interrupted, "stopped before the erase: nothing was changed");
        return false;
    }
    Begin(UnitStep::Erase);
    AnsweredYes yes;
    const ClearResult clear = ClearFirmware(bench_.drives, yes, CarriedImageOf(bench_.image),
                                            bench_.hardware, observer_, &volume);
    EndStep();
    if (clear.userId) record_.userId = clear.userId;
    if (clear.kind == OutcomeKind::Erased) return true;
    Fail(ClearOutcome(clear.kind), DriveDetail("erase", clear));
    return false;
}

// The erased unit re-plugged by the person, on the same port in vendor mode.
std::optional<UsbDeviceInfo> UnitService::AwaitVendorMode() {
    Begin(UnitStep::ReplugToVendor);
    bool replaced = false;
    PortLook look;
    const WaitEnd end = WatchPort(
        Wait(),
        [&](const PortLook& seen) {
            // Another unit put on the port in storage mode: this one was taken
            // away.
            replaced = seen.mode == PortMode::Storage && !record_.storageSerial.empty() &&
                       !seen.Serial().empty() && seen.Serial() != record_.storageSerial;
            return seen.mode == PortMode::Vendor || replaced;
        },
        &look);
    EndStep();
    if (end == WaitEnd::Settled && !replaced) {
        record_.vendorSerial = look.usb.serial;
        return look.usb;
    }
    Fail(UnitOutcome::ErasedNotWritten,
         replaced ? "removed: another unit stands on the port"
         : end == WaitEnd::Stopped
             ? "stopped while waiting for the re-plug"
             : Format("not back in vendor mode within %d s", bench_.waitSeconds));
    return std::nullopt;
}

bool UnitService::Download(const UsbDeviceInfo& device) {
    Begin(UnitStep::Download);
    const UpdateResult update =
        UpdateFirmware(bench_.usb, bench_.image, bench_.hardware, observer_, &device);
    EndStep();
    if (update.kind == OutcomeKind::Updated) return true;
    // Nothing was erased where the program changes no real device.
    Fail(update.kind == OutcomeKind::CarriesStandIn ? UnitOutcome::Refused
                                                    : UnitOutcome::ErasedNotWritten,
         "download: " + UpdateDetail(update));
    return false;
}

void UnitService::Confirm() {
    Begin(UnitStep::ReplugToStorage);
    bool read = false;
    const ConfirmResult confirm =
        ConfirmAfterReplug(Wait(), bench_.image.version, record_.storageSerial, [&] {
            read = true;
            step_ = UnitStep::Confirm;
            observer_.StepBegan(UnitStep::Confirm);
        });
    record_.steps.push_back(StepTime{UnitStep::ReplugToStorage, confirm.waitedMs});
    if (read) record_.steps.push_back(StepTime{UnitStep::Confirm, confirm.readMs});
    if (!confirm.storageSerial.empty()) record_.storageSerial = confirm.storageSerial;
    record_.versionAfter = confirm.version;
    switch (confirm.how) {
        case Confirmation::Confirmed: record_.outcome = UnitOutcome::Confirmed; return;
        case Confirmation::NotCompared: record_.outcome = UnitOutcome::NotCompared; return;
        case Confirmation::WrongVersion:
            Fail(UnitOutcome::WrongVersion,
                 Format("came back at %s",
                        std::string(FormatVersion(*confirm.version).View()).c_str()));
            return;
        case Confirmation::DidNotStart:
            Fail(UnitOutcome::DidNotStart, "came back in vendor mode: the firmware did not start");
            return;
        case Confirmation::NotBack:
            Fail(UnitOutcome::WrittenNotConfirmed,
                 Format("not back in storage mode within %d s", bench_.waitSeconds));
            return;
        case Confirmation::Replaced:
            Fail(UnitOutcome::WrittenNotConfirmed, "removed: another unit stands on the port");
            return;
        case Confirmation::Unreadable:
            Fail(UnitOutcome::WrittenNotConfirmed,
                 "back in storage mode; its version could not be read");
            return;
        case Confirmation::Interrupted:
            Fail(UnitOutcome::WrittenNotConfirmed, "stopped while waiting for the re-plug");
            return;
    }
}

// The volume on the port that answers as the model does; none where none
// does. permissionDenied: one may not be asked by this user.
std::optional<VolumeCandidate> ProbePort(const BenchSettings& bench, const std::string& port,
                                         bool& permissionDenied) {
    const AttachedDevices attached =
        ListAttachedDevices(bench.usb, bench.drives, false, true, port);
    permissionDenied = false;
    for (const AttachedDevice& device : attached.devices) {
        if (device.versionKnown) return device.volume;
        permissionDenied = permissionDenied || !device.readable;
    }
    return std::nullopt;
}

// After a unit has ended: until the port is empty, or another unit stands
// on it (a serial the unit did not give in either mode), or the bench stops.
void AwaitDeparture(const BenchSettings& bench, const std::string& port,
                    const std::string& storageSerial, const std::string& vendorSerial,
                    const std::function<bool()>& stopping) {
    const bool known = !storageSerial.empty() || !vendorSerial.empty();
    for (;;) {
        const PortLook look = LookAtPort(bench.usb, bench.drives, port);
        if (look.mode == PortMode::Empty) return;
        const std::string now = look.Serial();
        if (known && !now.empty() && now != storageSerial && now != vendorSerial) return;
        if (stopping()) return;
        bench.usb.WaitForArrival(bench.pollMs);
    }
}

}  // namespace

UnitRecord ServeUnit(const BenchSettings& bench, const std::string& port, const PortLook& arrival,
                     const VolumeCandidate* answering, PortObserver& observer) {
    return UnitService(bench, port, observer).Serve(arrival, answering);
}

PortEnd ServePort(const BenchSettings& bench, const std::string& port, PortObserver& observer,
                  const TakeUnit& takeUnit, const std::function<bool()>& stopping) {
    for (;;) {
        if (stopping()) return PortEnd::Stopped;
        const PortLook look = LookAtPort(bench.usb, bench.drives, port);
        if (look.mode == PortMode::Empty) {
            bench.usb.WaitForArrival(bench.pollMs);
            continue;
        }
        // Held from the probe to the unit's end, across its re-plugs.
        std::unique_ptr<DeviceLock> held =
            bench.locks != nullptr ? bench.locks->TryLock(kPortLockPrefix + port) : nullptr;
        if (bench.locks != nullptr && held == nullptr) {
            observer.PortHeld();
            bench.usb.WaitForArrival(bench.pollMs);
            continue;
        }
        std::optional<VolumeCandidate> answering;
        if (look.mode == PortMode::Storage) {
            bool permissionDenied = false;
            answering = ProbePort(bench, port, permissionDenied);
            if (!answering && !permissionDenied) return PortEnd::NotOurs;
            if (!answering) {
                observer.NoPermission();
                held.reset();
                AwaitDeparture(bench, port, look.Serial(), {}, stopping);
                continue;
            }
        }
        if (!takeUnit()) return PortEnd::Stopped;
        const UnitRecord record =
            ServeUnit(bench, port, look, answering ? &*answering : nullptr, observer);
        // The unit is done with: whoever comes for it next may have it.
        held.reset();
        AwaitDeparture(bench, port, record.storageSerial, record.vendorSerial, stopping);
    }
}

}  // namespace fwup
