#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_locks.h"
#include "platform/simulation/simulated_device.h"

namespace fwup {

// The simulated bench that the demonstration program, --simulate and the
// tests meet: one or more devices, each in storage mode as a removable volume
// behind an ordinary CD-ROM volume, that come up in vendor mode after an
// erase, as if re-plugged with their driver installed. What they answer is
// set by environment variables.
//
// With units (a bench rehearsed), each port receives its units one after
// another, and each unit is re-plugged as a person would: after its download
// it leaves the bus and comes back running the new firmware; once the station
// releases the port's lock it is taken out, and the next unit arrives.

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
    FirmwareDoesNotStart,  // re-plugged after its download, it comes back in vendor mode
    WrongVersion,          // re-plugged after its download, it reports another version
};

// A fault and the device it is set on: its number from 1, or 0 for every one;
// and with units, the unit of that device's port, from 1, or 0 for every one.
struct DeviceFault {
    std::uint32_t device = 0;
    ScenarioFault fault = ScenarioFault::None;
    std::uint32_t unit = 0;
};

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

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

    // A bench: each port receives this many units one after another; 0, its
    // device simply stays.
    std::uint32_t units = 0;
    std::uint16_t imageVersion = 0x0240;  // what a unit runs after its download
    std::uint32_t replugMs = 400;    // off the bus after the download: a 100 ms poll sees it
    std::uint32_t nextUnitMs = 200;  // from a unit taken out to the next one's arrival
    // When re-plugs and arrivals are due; the real clock unless a test sets it.
    SteadyClock now;
};

// The environment variables, by name, and what they take.
inline constexpr char kDemoVersionVariable[] = "FWUP_DEMO_VERSION";    // hex, e.g. 0240
inline constexpr char kDemoUserIdVariable[] = "FWUP_DEMO_USER_ID";     // hex, e.g. FFFFFFFF
inline constexpr char kDemoFaultVariable[] = "FWUP_DEMO_FAULT";        // [N:]fault,...
inline constexpr char kDemoDelayVariable[] = "FWUP_DEMO_DELAY_MS";     // per transfer
inline constexpr char kDemoDevicesVariable[] = "FWUP_DEMO_DEVICES";    // 1 to 16
inline constexpr char kDemoReportVariable[] = "FWUP_DEMO_REPORT";      // file path
inline constexpr char kDemoUnitsVariable[] = "FWUP_DEMO_UNITS";        // per port, 1 to 100000

// none, no-device, user-id-fails, erase-rejected, data-rejected, stops-answering,
// stalls, unplugged, never-returns, firmware-does-not-start, wrong-version
const std::vector<std::pair<const char*, ScenarioFault>>& ScenarioFaultNames();

// The fault of the device at index (from 0) or, with units, of its port's
// unit (from 1; without units the device is unit 1): the last one given for
// that unit, its port or every device.
ScenarioFault FaultOf(const Scenario& scenario, std::size_t index, std::uint32_t unit = 1);

// Reads the scenario through lookup (getenv, or a test's table). A value that
// cannot be read leaves its default and is named in problems as NAME=value.
Scenario ReadScenario(const std::function<const char*(const char*)>& lookup,
                      std::vector<std::string>& problems);

// Both seams over the scenario's devices. Each device may be driven from a
// thread of its own; the bench routes each call to the device it concerns.
// With units, the re-plugs and arrivals that are due happen when the bus is
// looked at (FindDevices, FindCandidateVolumes): there is no thread of its own.
class Simulation : public UsbLink, public ScsiDrives {
public:
    explicit Simulation(const Scenario& scenario);
    ~Simulation() override;

    std::size_t DeviceCount() const { return devices_.size(); }
    // The device at the port now; with units, the next unit replaces it.
    SimulatedDevice& Device(std::size_t index = 0) { return *devices_[index]->device; }
    // How many units have arrived at the port so far (0 without units).
    std::uint32_t UnitsArrived(std::size_t index = 0) const;

    // The bench's device locks, within this process. With units, releasing
    // "port:sim-N" once a command has reached its unit takes the unit out.
    DeviceLocks& Locks();

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
    // Where a unit is in its life at the port, with units.
    enum class UnitStage {
        AtPort,       // on the bus, in whichever mode the device is
        Replugging,   // off the bus after its download, until dueAt
        TakenOut,     // the port empty until the next unit arrives at dueAt
        AllServed,    // every unit has come and gone
    };
    // A port and the device at it.
    struct Slot {
        std::unique_ptr<SimulatedDevice> device;
        std::mutex lock;  // one call at a time on each device
        ScenarioFault fault = ScenarioFault::None;
        std::uint32_t unit = 0;  // the unit at the port, from 1; 0 without units
        UnitStage stage = UnitStage::AtPort;
        std::chrono::steady_clock::time_point dueAt;
        bool workedOn = false;  // a command has reached the unit since it arrived
        // What the bus showed of it when last looked at: a device busy with a
        // command (a transfer that takes its time) is on the bus as it was.
        std::vector<UsbDeviceInfo> seenUsb;
        std::vector<VolumeCandidate> seenVolumes;
    };
    // Brings the slot's unit up to date and notes what the bus shows of it;
    // a slot busy with a command shows what it showed last.
    void LookAt(std::size_t index);
    class BenchLocks;
    // The first slot whose device matches, each looked at under its lock:
    // another thread's look at the bus may replace a port's unit meanwhile.
    template <typename Match>
    Slot* SlotWhere(Match&& match) {
        for (auto& slot : devices_) {
            std::lock_guard<std::mutex> hold(slot->lock);
            if (match(*slot->device)) return slot.get();
        }
        return nullptr;
    }
    Slot* SlotOfHandle(PlatformHandle handle);
    // fn on the slot of the device a handle belongs to, one call at a time on
    // that device; what fn's type gives by default for a handle of none.
    template <typename Fn>
    auto OnSlotOf(PlatformHandle handle, Fn&& fn) {
        using Result = decltype(fn(std::declval<Slot&>()));
        Slot* slot = SlotOfHandle(handle);
        if (slot == nullptr) return Result();
        std::lock_guard<std::mutex> hold(slot->lock);
        return fn(*slot);
    }
    // The same for a command that reaches the device: its unit is worked on.
    template <typename Fn>
    auto CommandTo(PlatformHandle handle, Fn&& fn) {
        return OnSlotOf(handle, [&](Slot& slot) {
            slot.workedOn = true;
            return fn(*slot.device);
        });
    }
    Slot* SlotOfUsbId(const std::string& id);
    Slot* SlotOfVolume(const std::string& name);
    void ArmDownloadFault(Slot& slot);
    std::unique_ptr<SimulatedDevice> MakeDevice(std::size_t index, ScenarioFault fault) const;
    std::chrono::steady_clock::time_point Now() const;
    // With units: the next unit arrives at the slot's port, or none is left.
    void NextUnit(std::size_t index);
    // With units: the re-plug or arrival due by now happens (slot lock held).
    void CatchUp(std::size_t index);
    // With units: a complete download whose link is closed starts a re-plug.
    void LeaveAfterDownload(Slot& slot);
    // The lock of key was released: a unit worked on is taken out.
    void Released(const std::string& key);

    Scenario scenario_;
    std::function<void(std::uint32_t)> sleep_;
    std::vector<std::unique_ptr<Slot>> devices_;
    std::mutex seenLock_;  // the slots' seenUsb and seenVolumes
    std::unique_ptr<BenchLocks> locks_;
    std::atomic<const std::atomic<bool>*> stopRequest_{nullptr};  // for the units still to come
};

// What a device holds, for a test in another process to compare: per run of
// bytes its address and length (4 bytes each, little-endian), then the bytes.
// Written after every download.
bool WriteHeldMemory(const SimulatedDevice& device, const std::string& path);

}  // namespace fwup
