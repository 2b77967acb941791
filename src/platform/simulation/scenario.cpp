#include "platform/simulation/scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/device_model.h"

namespace fwup {
namespace {

// The transfers of one download, counted from its first: the reply to the
// first data command, and a transfer in the middle of the image.
constexpr std::uint32_t kFirstDataReply = 6;
constexpr std::uint32_t kMiddleOfDownload = 30;
constexpr std::uint32_t kMostDevices = 16;
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

// One entry of the fault list, "fault" or "N:fault", for at most devices.
// (Iterators, not substr: the demo program links no out_of_range.)
bool ReadDeviceFault(const std::string& entry, std::uint32_t devices, DeviceFault& given) {
    const auto colon = std::find(entry.begin(), entry.end(), ':');
    given = DeviceFault{};
    if (colon != entry.end() &&
        !ReadNumber(std::string(entry.begin(), colon).c_str(), 10, 1, devices, given.device))
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
bool ReadFaultList(const std::string& text, std::uint32_t devices, std::vector<DeviceFault>& faults) {
    auto start = text.begin();
    for (;;) {
        const auto comma = std::find(start, text.end(), ',');
        DeviceFault given;
        if (!ReadDeviceFault(std::string(start, comma), devices, given)) return false;
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
    };
    return names;
}

ScenarioFault FaultOf(const Scenario& scenario, std::size_t index) {
    ScenarioFault fault = ScenarioFault::None;
    for (const DeviceFault& given : scenario.faults)
        if (given.device == 0 || given.device == index + 1) fault = given.fault;
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
    if (const char* value = lookup(kDemoFaultVariable)) {
        std::vector<DeviceFault> faults;
        if (ReadFaultList(value, scenario.devices, faults)) scenario.faults = faults;
        else complain(kDemoFaultVariable, value);
    }
    if (const char* value = lookup(kDemoReportVariable)) scenario.reportPath = value;
    return scenario;
}

Simulation::Simulation(const Scenario& scenario) : scenario_(scenario) {
    // Real time, in slices: a wait for a device that keeps silent ends soon
    // after a stop request.
    const std::function<void(std::uint32_t)> sleep =
        scenario.sleepFor ? scenario.sleepFor : [this](std::uint32_t ms) {
            constexpr std::uint32_t kSlice = 20;
            for (std::uint32_t waited = 0; waited < ms && !StopRequested(); waited += kSlice)
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSlice, ms - waited)));
        };
    for (std::size_t i = 0; i < scenario.devices; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->fault = FaultOf(scenario, i);
        const DeviceMode start = slot->fault == ScenarioFault::NoDevice ? DeviceMode::Absent
                                 : scenario.startInVendorMode              ? DeviceMode::VendorMode
                                                                           : DeviceMode::StorageMode;
        slot->device = std::make_unique<SimulatedDevice>(start);
        SimulatedDevice& device = *slot->device;
        device.usbId = "sim-" + std::to_string(i + 1);
        device.serial = "SIM" + std::to_string(1000 + i);
        device.firstHandle = kHandlesPerDevice * (i + 1);
        if (i == 0) {
            device.volumes["sim-cdrom"] = SimulatedVolume{VolumeKind::CdRom, false, true};
            device.volumes["sim-fixed"] = SimulatedVolume{VolumeKind::Fixed, false, true};
            device.volumes["sim-network"] = SimulatedVolume{VolumeKind::Network, false, true};
            device.volumes["sim-removable"] = SimulatedVolume{VolumeKind::Removable, false, true};
        }
        device.volumes[DeviceVolumeName(i)] = SimulatedVolume{VolumeKind::Removable, true, true};
        device.firmwareVersion = scenario.version;
        device.userId = scenario.userId;
        if (slot->fault == ScenarioFault::UserIdFails)
            device.InjectStorageFault(kUserIdQueryCommand, StorageFault{ScsiFault::PassThroughFails, 0});
        if (slot->fault == ScenarioFault::EraseRejected)
            device.InjectStorageFault(kEraseCommand, StorageFault{ScsiFault::NoSignature, 0});
        device.comesBackAfterErase = slot->fault != ScenarioFault::NeverReturns;
        device.transferDelayMs = scenario.transferDelayMs;
        device.keepTraffic = scenario.keepTraffic;
        device.sleepFor = sleep;
        devices_.push_back(std::move(slot));
    }
}

Simulation::Slot* Simulation::SlotOfHandle(PlatformHandle handle) {
    for (auto& slot : devices_) {
        const PlatformHandle first = slot->device->firstHandle;
        if (handle >= first && handle < first + kHandlesPerDevice) return slot.get();
    }
    return nullptr;
}

Simulation::Slot* Simulation::SlotOfUsbId(const std::string& id) {
    for (auto& slot : devices_)
        if (slot->device->usbId == id) return slot.get();
    return nullptr;
}

Simulation::Slot* Simulation::SlotOfVolume(const std::string& name) {
    for (auto& slot : devices_)
        if (slot->device->volumes.count(name) != 0) return slot.get();
    return nullptr;
}

void Simulation::StopWhen(const std::atomic<bool>* request) {
    UsbLink::StopWhen(request);
    for (auto& slot : devices_) slot->device->StopWhen(request);
}

std::vector<UsbDeviceInfo> Simulation::FindDevices(LinkStatus* status) {
    if (status != nullptr) *status = LinkStatus::Ok;
    std::vector<UsbDeviceInfo> found;
    for (auto& slot : devices_) {
        std::lock_guard<std::mutex> hold(slot->lock);
        // The user has re-plugged the erased device and installed its driver.
        slot->device->Replug();
        for (const UsbDeviceInfo& device : slot->device->FindDevices(nullptr))
            found.push_back(device);
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
    return OnDeviceOf(link, [&](SimulatedDevice& device) {
        return device.Read(link, buffer, count, timeoutMs);
    });
}

TransferResult Simulation::Write(PlatformHandle link, const std::uint8_t* buffer,
                                 std::uint32_t count, std::uint32_t timeoutMs) {
    return OnDeviceOf(link, [&](SimulatedDevice& device) {
        return device.Write(link, buffer, count, timeoutMs);
    });
}

void Simulation::Close(PlatformHandle link) {
    OnDeviceOf(link, [&](SimulatedDevice& device) {
        device.Close(link);
        // The first device reports what it holds once its download is over.
        if (&device == devices_.front()->device.get() && device.OpenHandleCount() == 0 &&
            !scenario_.reportPath.empty())
            WriteHeldMemory(device, scenario_.reportPath);
    });
}

std::vector<VolumeCandidate> Simulation::FindCandidateVolumes() {
    std::vector<VolumeCandidate> candidates;
    for (auto& slot : devices_) {
        std::lock_guard<std::mutex> hold(slot->lock);
        for (const VolumeCandidate& volume : slot->device->FindCandidateVolumes())
            candidates.push_back(volume);
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
    return OnDeviceOf(volume, [&](SimulatedDevice& device) { return device.Execute(volume, command); });
}

void Simulation::CloseVolume(PlatformHandle volume) {
    OnDeviceOf(volume, [&](SimulatedDevice& device) { device.CloseVolume(volume); });
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
