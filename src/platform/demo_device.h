#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/simulated_device.h"

namespace fwup {

// The device the demonstration program talks to instead of real hardware: the
// simulated device in storage mode as a removable drive among a few ordinary
// drives, which comes up in vendor mode after an erase, as if re-plugged with
// its driver installed. What it answers is set by environment variables.

enum class DemoFault {
    None,
    NoDevice,        // no drive answers, no vendor-mode device
    UserIdFails,     // the user-id query is not carried out
    EraseRejected,   // the erase reply lacks the signature
    DataRejected,    // the device refuses a data command of every download
    StopsAnswering,  // the device goes silent in the middle of every download
};

struct DemoSettings {
    std::uint16_t version = 0x0240;
    std::uint32_t userId = 0xFFFFFFFF;
    DemoFault fault = DemoFault::None;
    std::uint32_t transferDelayMs = 15;  // a realistic pace: the wait text is seen
    std::string reportPath;               // where to write what the device holds
    // How the device's time passes; real sleeps unless a test counts it.
    std::function<void(std::uint32_t)> sleepFor;
};

// The environment variables, by name, and what they take.
inline constexpr char kDemoVersionVariable[] = "FWUP_DEMO_VERSION";    // hex, e.g. 0240
inline constexpr char kDemoUserIdVariable[] = "FWUP_DEMO_USER_ID";     // hex, e.g. FFFFFFFF
inline constexpr char kDemoFaultVariable[] = "FWUP_DEMO_FAULT";        // see DemoFaultNames
inline constexpr char kDemoDelayVariable[] = "FWUP_DEMO_DELAY_MS";     // per transfer
inline constexpr char kDemoReportVariable[] = "FWUP_DEMO_REPORT";      // file path

// none, no-device, user-id-fails, erase-rejected, data-rejected, stops-answering
const std::vector<std::pair<const char*, DemoFault>>& DemoFaultNames();

// Reads the settings through lookup (getenv, or a test's table). A value that
// cannot be read leaves its default and is named in problems.
DemoSettings ReadDemoSettings(const std::function<const char*(const char*)>& lookup,
                              std::vector<std::string>& problems);

// Both seams of the program over one simulated device.
class DemoDevice : public UsbPlatform, public DrivePlatform {
public:
    explicit DemoDevice(const DemoSettings& settings);

    const SimulatedDevice& Device() const { return device_; }

    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

    DriveType DriveTypeOf(char letter) override;
    PlatformHandle OpenVolume(char letter) override;
    bool PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) override;
    void CloseVolume(PlatformHandle volume) override;

private:
    void ArmDownloadFault();
    void WriteReport() const;

    DemoSettings settings_;
    SimulatedDevice device_;
};

// What the device holds, for a test in another process to compare: per run
// of bytes its address and length (4 bytes each, little-endian), then the
// bytes. Written after every download.
bool WriteHeldMemory(const SimulatedDevice& device, const std::string& path);

}  // namespace fwup
