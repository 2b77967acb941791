#include "platform/simulation/scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "core/device_model.h"
#include "platform/simulation/in_process_locks.h"

namespace fwup {
namespace {

// The transfers of one download, counted from its first: the reply to the
// first data command, and a transfer in the middle of the image.
constexpr std::uint32_t kFirstDataReply = 6;
constexpr std::uint32_t kMiddleOfDownload = 30;
constexpr std::uint32_t kMostDevices = 16;
constexpr std::uint32_t kMostUnits = 100000;
constexpr char kPortLockPrefix[] = "port:";  // how the station names a port's lock
constexpr PlatformHandle kHandlesPerDevice = 0x1000;

bool ReadNumber(const char* text, int base, std::uint32_t minimum, std::uint32_t maximum,
                std::uint32_t& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, base);
    if (*end != '\0' || parsed < minimum || parsed > maximum) return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

// Where a fault is set: "N" (a device) or "N.K" (its port's K-th unit).
bool ReadFaultPlace(const std::string& place, std::uint32_t devices, std::uint32_t units,
                    DeviceFault& given) {
    const auto dot = std::find(place.begin(), place.end(), '.');
    if (!ReadNumber(std::string(place.begin(), dot).c_str(), 10, 1, devices, given.device))
        return false;
    // Without units, the device that stays is its port's only unit.
    return dot == place.end() ||
           ReadNumber(std::string(dot + 1, place.end()).c_str(), 10, 1, std::max(units, 1u),
                      given.unit);
}

// One entry of the fault list, "fault", "N:fault" or "N.K:fault", for at most
// devices and units. (Iterators, not substr: the demo program links no
// out_of_range.)
bool ReadDeviceFault(const std::string& entry, std::uint32_t devices, std::uint32_t units,
                     DeviceFault& given) {
    const auto colon = std::find(entry.begin(), entry.end(), ':');
    given = DeviceFault{};
    if (colon != entry.end() &&
        !ReadFaultPlace(std::string(entry.begin(), colon), devices, units, given))
        return false;
    const std::string name(colon == entry.end() ? entry.begin() : colon + 1, entry.end());
    for (const auto& [known, fault] : ScenarioFaultNames())
        if (name == known) {
            given.fault = fault;
            return true;
        }
    return false;
}

// FWUP_DEMO_FAULT: a comma-separated list of faults, each for one device or
// for every one.
bool ReadFaultList(const std::string& text, std::uint32_t devices, std::uint32_t units,
                   std::vector<DeviceFault>& faults) {
    auto start = text.begin();
    for (;;) {
        const auto comma = std::find(start, text.end(), ',');
        DeviceFault given;
        if (!ReadDeviceFault(std::string(start, comma), devices, units, given)) return false;
        faults.push_back(given);
        if (comma == text.end()) return true;
        start = comma + 1;
    }
}

// Volume names sort in the order the search meets them: an ordinary CD-ROM
// first, then the devices, then other volumes that are never reached.
std::string DeviceVolumeName(std::size_t index) {
    return "sim-disk-" + std::to_string(index + 1);
}

// A unit's serial, unique across ports and units: "SIM1-0001" for port 1's
// first unit.
std::string UnitSerial(std::size_t index, std::uint32_t unit) {
    std::string number = std::to_string(unit);
    if (number.size() < 4) number.insert(number.begin(), 4 - number.size(), '0');
    return "SIM" + std::to_string(index + 1) + "-" + number;
}

}  // namespace

const std::vector<std::pair<const char*, ScenarioFault>>& ScenarioFaultNames() {
    static const std::vector<std::pair<const char*, ScenarioFault>> names{
        {"none", ScenarioFault::None},
        {"no-device", ScenarioFault::NoDevice},
        {"user-id-fails", ScenarioFault::UserIdFails},
        {"erase-rejected", ScenarioFault::EraseRejected},
        {"data-rejected", ScenarioFault::DataRejected},
        {"stops-answering", ScenarioFault::StopsAnswering},
        {"stalls", ScenarioFault::Stalls},
        {"unplugged", ScenarioFault::Unplugged},
        {"never-returns", ScenarioFault::NeverReturns},
        {"firmware-does-not-start", ScenarioFault::FirmwareDoesNotStart},
        {"wrong-version", ScenarioFault::WrongVersion},
    };
    return names;
}

ScenarioFault FaultOf(const Scenario& scenario, std::size_t index, std::uint32_t unit) {
    ScenarioFault fault = ScenarioFault::None;
    for (const DeviceFault& given : scenario.faults)
        if ((given.device == 0 || given.device == index + 1) &&
            (given.unit == 0 || given.unit == unit))
            fault = given.fault;
    return fault;
}

Scenario ReadScenario(const std::function<const char*(const char*)>& lookup,
                      std::vector<std::string>& problems) {
    Scenario scenario;
    auto complain = [&](const char* name, const char* value) {
        problems.push_back(std::string(name) + "=" + value);
    };
    std::uint32_t number = 0;
    if (const char* value = lookup(kDemoVersionVariable)) {
        if (ReadNumber(value, 16, 0, 0xFFFF, number))
            scenario.version = static_cast<std::uint16_t>(number);
        else complain(kDemoVersionVariable, value);
    }
    if (const char* value = lookup(kDemoUserIdVariable)) {
        if (ReadNumber(value, 16, 0, 0xFFFFFFFF, number)) scenario.userId = number;
        else complain(kDemoUserIdVariable, value);
    }
    if (const char* value = lookup(kDemoDelayVariable)) {
        if (ReadNumber(value, 10, 0, 10000, number)) scenario.transferDelayMs = number;
        else complain(kDemoDelayVariable, value);
    }
    if (const char* value = lookup(kDemoDevicesVariable)) {
        if (ReadNumber(value, 10, 1, kMostDevices, number)) scenario.devices = number;
        else complain(kDemoDevicesVariable, value);
    }
    if (const char* value = lookup(kDemoUnitsVariable)) {
        if (ReadNumber(value, 10, 1, kMostUnits, number)) scenario.units = number;
        else complain(kDemoUnitsVariable, value);
    }
    if (const char* value = lookup(kDemoFaultVariable)) {
        std::vector<DeviceFault> faults;
        if (ReadFaultList(value, scenario.devices, scenario.units, faults)) scenario.faults = faults;
        else complain(kDemoFaultVariable, value);
    }
    if (const char* value = lookup(kDemoReportVariable)) scenario.reportPath = value;
    return scenario;
}

// The bench's locks within this process; a port's lock released takes out
// the unit the station is done with.
class Simulation::BenchLocks : public DeviceLocks {
public:
    explicit BenchLocks(Simulation& simulation) : simulation_(simulation) {}

    std::unique_ptr<DeviceLock> TryLock(const std::string& key) override {
        std::unique_ptr<DeviceLock> held = locks_.TryLock(key);
        if (held == nullptr) return nullptr;
        return std::make_unique<Held>(simulation_, key, std::move(held));
    }

private:
    class Held : public DeviceLock {
    public:
        Held(Simulation& simulation, std::string key, std::unique_ptr<DeviceLock> held)
            : simulation_(simulation), key_(std::move(key)), held_(std::move(held)) {}
        // The unit is out before the lock is free again.
        ~Held() override { simulation_.Released(key_); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        Simulation& simulation_;
        std::string key_;
        std::unique_ptr<DeviceLock> held_;
    };

    Simulation& simulation_;
    InProcessDeviceLocks locks_;
};

Simulation::Simulation(const Scenario& scenario)
    : scenario_(scenario), locks_(std::make_unique<BenchLocks>(*this)) {
    // Real time, in slices: a wait for a device that keeps silent ends soon
    // after a stop request.
    sleep_ = scenario.sleepFor ? scenario.sleepFor : [this](std::uint32_t ms) {
        constexpr std::uint32_t kSlice = 20;
        for (std::uint32_t waited = 0; waited < ms && !StopRequested(); waited += kSlice)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSlice, ms - waited)));
    };
    for (std::size_t i = 0; i < scenario.devices; ++i) {
        devices_.push_back(std::make_unique<Slot>());
        if (scenario.units > 0) {
            NextUnit(i);
            continue;
        }
        Slot& slot = *devices_.back();
        slot.fault = FaultOf(scenario, i);
        slot.device = MakeDevice(i, slot.fault);
    }
}

Simulation::~Simulation() = default;

std::uint32_t Simulation::UnitsArrived(std::size_t index) const {
    std::lock_guard<std::mutex> hold(devices_[index]->lock);
    return devices_[index]->unit;
}

DeviceLocks& Simulation::Locks() {
    return *locks_;
}

std::chrono::steady_clock::time_point Simulation::Now() const {
    return scenario_.now ? scenario_.now() : std::chrono::steady_clock::now();
}

std::unique_ptr<SimulatedDevice> Simulation::MakeDevice(std::size_t index, ScenarioFault fault) const {
    const DeviceMode start = fault == ScenarioFault::NoDevice   ? DeviceMode::Absent
                             : scenario_.startInVendorMode      ? DeviceMode::VendorMode
                                                                : DeviceMode::StorageMode;
    auto made = std::make_unique<SimulatedDevice>(start);
    SimulatedDevice& device = *made;
    device.usbId = "sim-" + std::to_string(index + 1);
    device.serial = scenario_.units > 0 ? UnitSerial(index, devices_[index]->unit)
                                        : "SIM" + std::to_string(1000 + index);
    device.firstHandle = kHandlesPerDevice * (index + 1);
    if (index == 0) {
        device.volumes["sim-cdrom"] = SimulatedVolume{VolumeKind::CdRom, false, true};
        device.volumes["sim-fixed"] = SimulatedVolume{VolumeKind::Fixed, false, true};
        device.volumes["sim-network"] = SimulatedVolume{VolumeKind::Network, false, true};
        device.volumes["sim-removable"] = SimulatedVolume{VolumeKind::Removable, false, true};
    }
    device.volumes[DeviceVolumeName(index)] = SimulatedVolume{VolumeKind::Removable, true, true};
    device.firmwareVersion = scenario_.version;
    device.userId = scenario_.userId;
    if (fault == ScenarioFault::UserIdFails)
        device.InjectStorageFault(kUserIdQueryCommand, StorageFault{ScsiFault::PassThroughFails, 0});
    if (fault == ScenarioFault::EraseRejected)
        device.InjectStorageFault(kEraseCommand, StorageFault{ScsiFault::NoSignature, 0});
    device.comesBackAfterErase = fault != ScenarioFault::NeverReturns;
    device.transferDelayMs = scenario_.transferDelayMs;
    device.keepTraffic = scenario_.keepTraffic;
    device.sleepFor = sleep_;
    return made;
}

void Simulation::NextUnit(std::size_t index) {
    Slot& slot = *devices_[index];
    if (slot.unit >= scenario_.units) {
        slot.stage = UnitStage::AllServed;
        return;
    }
    ++slot.unit;
    slot.fault = FaultOf(scenario_, index, slot.unit);
    // What the unit before left is dropped here: a long bench keeps one unit per port.
    slot.device = MakeDevice(index, slot.fault);
    if (const std::atomic<bool>* request = stopRequest_.load()) slot.device->StopWhen(request);
    slot.workedOn = false;
    slot.stage = UnitStage::AtPort;
    if (slot.fault == ScenarioFault::NoDevice) {  // a unit that never shows: the port stays empty
        slot.stage = UnitStage::TakenOut;
        slot.dueAt = Now() + std::chrono::milliseconds(scenario_.nextUnitMs);
    }
}

void Simulation::CatchUp(std::size_t index) {
    Slot& slot = *devices_[index];
    if (scenario_.units == 0 || Now() < slot.dueAt) return;
    if (slot.stage == UnitStage::TakenOut) {
        NextUnit(index);
    } else if (slot.stage == UnitStage::Replugging) {
        slot.stage = UnitStage::AtPort;
        SimulatedDevice& device = *slot.device;
        if (slot.fault == ScenarioFault::FirmwareDoesNotStart) {
            device.ComeBack(DeviceMode::VendorMode);
            return;
        }
        const std::uint16_t off = slot.fault == ScenarioFault::WrongVersion ? 1 : 0;
        device.firmwareVersion = static_cast<std::uint16_t>(scenario_.imageVersion + off);
        device.ComeBack(DeviceMode::StorageMode);
    }
}

void Simulation::LeaveAfterDownload(Slot& slot) {
    SimulatedDevice& device = *slot.device;
    if (scenario_.units == 0 || slot.stage != UnitStage::AtPort || !device.FirmwareComplete() ||
        device.mode != DeviceMode::VendorMode || device.OpenHandleCount() != 0)
        return;
    device.mode = DeviceMode::Absent;
    slot.stage = UnitStage::Replugging;
    slot.dueAt = Now() + std::chrono::milliseconds(scenario_.replugMs);
}

void Simulation::Released(const std::string& key) {
    const std::string_view prefix = kPortLockPrefix;
    if (scenario_.units == 0 || !std::string_view(key).starts_with(prefix)) return;
    Slot* slot = SlotOfUsbId(std::string(key.begin() + prefix.size(), key.end()));
    if (slot == nullptr) return;
    std::lock_guard<std::mutex> hold(slot->lock);
    const bool onTheBench = slot->stage == UnitStage::AtPort || slot->stage == UnitStage::Replugging;
    if (!slot->workedOn || !onTheBench) return;
    slot->device->mode = DeviceMode::Absent;
    slot->stage = UnitStage::TakenOut;
    slot->dueAt = Now() + std::chrono::milliseconds(scenario_.nextUnitMs);
}

Simulation::Slot* Simulation::SlotOfHandle(PlatformHandle handle) {
    return SlotWhere([&](const SimulatedDevice& device) {
        return handle >= device.firstHandle && handle < device.firstHandle + kHandlesPerDevice;
    });
}

Simulation::Slot* Simulation::SlotOfUsbId(const std::string& id) {
    return SlotWhere([&](const SimulatedDevice& device) { return device.usbId == id; });
}

Simulation::Slot* Simulation::SlotOfVolume(const std::string& name) {
    return SlotWhere([&](const SimulatedDevice& device) { return device.volumes.count(name) != 0; });
}

void Simulation::StopWhen(const std::atomic<bool>* request) {
    UsbLink::StopWhen(request);
    stopRequest_ = request;  // the units still to come heed it too
    for (auto& slot : devices_) {
        std::lock_guard<std::mutex> hold(slot->lock);
        slot->device->StopWhen(request);
    }
}

void Simulation::LookAt(std::size_t index) {
    Slot& slot = *devices_[index];
    std::unique_lock<std::mutex> hold(slot.lock, std::try_to_lock);
    if (!hold.owns_lock()) return;
    CatchUp(index);
    // The user has re-plugged the erased device and installed its driver.
    slot.device->Replug();
    std::vector<UsbDeviceInfo> usb = slot.device->FindDevices(nullptr);
    std::vector<VolumeCandidate> volumes = slot.device->FindCandidateVolumes();
    std::lock_guard<std::mutex> seen(seenLock_);
    slot.seenUsb = std::move(usb);
    slot.seenVolumes = std::move(volumes);
}

std::vector<UsbDeviceInfo> Simulation::FindDevices(LinkStatus* status) {
    if (status != nullptr) *status = LinkStatus::Ok;
    std::vector<UsbDeviceInfo> found;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        LookAt(i);
        std::lock_guard<std::mutex> hold(seenLock_);
        found.insert(found.end(), devices_[i]->seenUsb.begin(), devices_[i]->seenUsb.end());
    }
    return found;
}

void Simulation::ArmDownloadFault(Slot& slot) {
    SimulatedDevice& device = *slot.device;
    const std::uint32_t start = device.TransfersSoFar();
    if (slot.fault == ScenarioFault::DataRejected)
        device.InjectFault(start + kFirstDataReply, TransferFault::RejectStatus);
    if (slot.fault == ScenarioFault::StopsAnswering)
        device.StopAnsweringFrom(start + kMiddleOfDownload);
    if (slot.fault == ScenarioFault::Stalls)
        device.InjectFault(start + kFirstDataReply, TransferFault::Stall);
    if (slot.fault == ScenarioFault::Unplugged)
        device.InjectFault(start + kMiddleOfDownload, TransferFault::Unplugged);
}

PlatformHandle Simulation::Open(const UsbDeviceInfo& info, LinkStatus* why) {
    Slot* slot = SlotOfUsbId(info.id);
    if (slot == nullptr) {
        if (why != nullptr) *why = LinkStatus::NotFound;
        return kInvalidHandleValue;
    }
    std::lock_guard<std::mutex> hold(slot->lock);
    const PlatformHandle link = slot->device->Open(info, why);
    // Each Update opens the device afresh: a new download begins.
    if (link != kInvalidHandleValue) ArmDownloadFault(*slot);
    return link;
}

TransferResult Simulation::Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                                std::uint32_t timeoutMs) {
    return CommandTo(link, [&](SimulatedDevice& device) {
        return device.Read(link, buffer, count, timeoutMs);
    });
}

TransferResult Simulation::Write(PlatformHandle link, const std::uint8_t* buffer,
                                 std::uint32_t count, std::uint32_t timeoutMs) {
    return CommandTo(link, [&](SimulatedDevice& device) {
        return device.Write(link, buffer, count, timeoutMs);
    });
}

void Simulation::Close(PlatformHandle link) {
    OnSlotOf(link, [&](Slot& slot) {
        SimulatedDevice& device = *slot.device;
        device.Close(link);
        // The first device reports what it holds once its download is over.
        if (&slot == devices_.front().get() && device.OpenHandleCount() == 0 &&
            !scenario_.reportPath.empty())
            WriteHeldMemory(device, scenario_.reportPath);
        LeaveAfterDownload(slot);
    });
}

std::vector<VolumeCandidate> Simulation::FindCandidateVolumes() {
    std::vector<VolumeCandidate> candidates;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        LookAt(i);
        std::lock_guard<std::mutex> hold(seenLock_);
        const std::vector<VolumeCandidate>& seen = devices_[i]->seenVolumes;
        candidates.insert(candidates.end(), seen.begin(), seen.end());
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const VolumeCandidate& a, const VolumeCandidate& b) { return a.id < b.id; });
    return candidates;
}

PlatformHandle Simulation::OpenVolume(const VolumeCandidate& volume, DriveStatus* why) {
    Slot* slot = SlotOfVolume(volume.id);
    if (slot == nullptr) {
        if (why != nullptr) *why = DriveStatus::Gone;
        return kInvalidHandleValue;
    }
    std::lock_guard<std::mutex> hold(slot->lock);
    return slot->device->OpenVolume(volume, why);
}

ScsiResult Simulation::Execute(PlatformHandle volume, const ScsiCommand& command) {
    return CommandTo(volume, [&](SimulatedDevice& device) { return device.Execute(volume, command); });
}

void Simulation::CloseVolume(PlatformHandle volume) {
    OnSlotOf(volume, [&](Slot& slot) { slot.device->CloseVolume(volume); });
}

bool WriteHeldMemory(const SimulatedDevice& device, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = true;
    for (const HeldBlock& block : device.HeldMemory()) {
        std::uint8_t head[8];
        const std::uint32_t length = static_cast<std::uint32_t>(block.bytes.size());
        for (int i = 0; i < 4; ++i) {
            head[i] = static_cast<std::uint8_t>(block.address >> (8 * i));
            head[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        }
        written = written && std::fwrite(head, 1, 8, file) == 8 &&
                  std::fwrite(block.bytes.data(), 1, length, file) == length;
    }
    return std::fclose(file) == 0 && written;
}

}  // namespace fwup
