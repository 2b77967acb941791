#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/simulation/simulated_device.h"

namespace fwup {

// The simulated bench that the demonstration program, --simulate and the
// tests meet: one or more devices, each in storage mode as a removable volume
// behind an ordinary CD-ROM volume, that come up in vendor mode after an
// erase, as if re-plugged with their driver installed. What they answer is
// set by environment variables.

enum class ScenarioFault {
    None,
    NoDevice,        // no volume answers, no vendor-mode device
    UserIdFails,     // the user-id query is not carried out
    EraseRejected,   // the erase reply lacks the signature
    DataRejected,    // the device refuses a data command of every download
    StopsAnswering,  // the device goes silent in the middle of every download
    Stalls,          // the device stalls its reply pipe at the first data command's reply
    Unplugged,       // the device leaves the bus in the middle of every download
    NeverReturns,    // after an erase the device never comes up in vendor mode
};

// A fault and the device it is set on: its number from 1, or 0 for every one.
struct DeviceFault {
    std::uint32_t device = 0;
    ScenarioFault fault = ScenarioFault::None;
};

struct Scenario {
    std::uint16_t version = 0x0240;
    std::uint32_t userId = 0xFFFFFFFF;
    std::vector<DeviceFault> faults;     // in the order given: a later one wins
    std::uint32_t transferDelayMs = 15;  // a realistic pace: the wait text is seen
    std::uint32_t devices = 1;           // how many devices are attached
    bool startInVendorMode = false;      // already erased and re-plugged
    bool keepTraffic = true;             // the devices log every transfer, for tests
    std::string reportPath;              // where to write what the first device holds
    // How the devices' time passes; real sleeps unless a test counts it.
    std::function<void(std::uint32_t)> sleepFor;
};

// The environment variables, by name, and what they take.
inline constexpr char kDemoVersionVariable[] = "FWUP_DEMO_VERSION";    // hex, e.g. 0240
inline constexpr char kDemoUserIdVariable[] = "FWUP_DEMO_USER_ID";     // hex, e.g. FFFFFFFF
inline constexpr char kDemoFaultVariable[] = "FWUP_DEMO_FAULT";        // [N:]fault,...
inline constexpr char kDemoDelayVariable[] = "FWUP_DEMO_DELAY_MS";     // per transfer
inline constexpr char kDemoDevicesVariable[] = "FWUP_DEMO_DEVICES";    // 1 to 16
inline constexpr char kDemoReportVariable[] = "FWUP_DEMO_REPORT";      // file path

// none, no-device, user-id-fails, erase-rejected, data-rejected, stops-answering,
// stalls, unplugged, never-returns
const std::vector<std::pair<const char*, ScenarioFault>>& ScenarioFaultNames();

// The fault of the device at index (from 0): the last one given for it or for
// every device.
ScenarioFault FaultOf(const Scenario& scenario, std::size_t index);

// Reads the scenario through lookup (getenv, or a test's table). A value that
// cannot be read leaves its default and is named in problems as NAME=value.
Scenario ReadScenario(const std::function<const char*(const char*)>& lookup,
                      std::vector<std::string>& problems);

// Both seams over the scenario's devices. Each device may be driven from a
// thread of its own; the bench routes each call to the device it concerns.
class Simulation : public UsbLink, public ScsiDrives {
public:
    explicit Simulation(const Scenario& scenario);

    std::size_t DeviceCount() const { return devices_.size(); }
    SimulatedDevice& Device(std::size_t index = 0) { return *devices_[index]->device; }

    // Every device heeds the request.
    void StopWhen(const std::atomic<bool>* request) override;
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus* status) override;
    PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) override;
    TransferResult Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t timeoutMs) override;
    TransferResult Write(PlatformHandle link, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t timeoutMs) override;
    void Close(PlatformHandle link) override;

    std::vector<VolumeCandidate> FindCandidateVolumes() override;
    PlatformHandle OpenVolume(const VolumeCandidate& volume, DriveStatus* why) override;
    ScsiResult Execute(PlatformHandle volume, const ScsiCommand& command) override;
    void CloseVolume(PlatformHandle volume) override;

private:
    struct Slot {
        std::unique_ptr<SimulatedDevice> device;
        std::mutex lock;  // one call at a time on each device
        ScenarioFault fault = ScenarioFault::None;
    };
    Slot* SlotOfHandle(PlatformHandle handle);
    // fn on the device a handle belongs to, one call at a time on that device;
    // what fn's type gives by default for a handle of none.
    template <typename Fn>
    auto OnDeviceOf(PlatformHandle handle, Fn&& fn) {
        using Result = decltype(fn(std::declval<SimulatedDevice&>()));
        Slot* slot = SlotOfHandle(handle);
        if (slot == nullptr) return Result();
        std::lock_guard<std::mutex> hold(slot->lock);
        return fn(*slot->device);
    }
    Slot* SlotOfUsbId(const std::string& id);
    Slot* SlotOfVolume(const std::string& name);
    void ArmDownloadFault(Slot& slot);

    Scenario scenario_;
    std::vector<std::unique_ptr<Slot>> devices_;
};

// What a device holds, for a test in another process to compare: per run of
// bytes its address and length (4 bytes each, little-endian), then the bytes.
// Written after every download.
bool WriteHeldMemory(const SimulatedDevice& device, const std::string& path);

}  // namespace fwup
