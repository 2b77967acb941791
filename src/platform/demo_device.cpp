#include "platform/demo_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace fwup {
namespace {

// The transfers of one download, counted from its first: the reply to the
// first data command, and a transfer in the middle of the image.
constexpr std::uint32_t kFirstDataReply = 6;
constexpr std::uint32_t kMiddleOfDownload = 30;
constexpr char kDeviceLetter = 'E';

bool ReadNumber(const char* text, int base, std::uint32_t maximum, std::uint32_t& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, base);
    if (*end != '\0' || parsed > maximum) return false;
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

}  // namespace

const std::vector<std::pair<const char*, DemoFault>>& DemoFaultNames() {
    static const std::vector<std::pair<const char*, DemoFault>> names{
        {"none", DemoFault::None},
        {"no-device", DemoFault::NoDevice},
        {"user-id-fails", DemoFault::UserIdFails},
        {"erase-rejected", DemoFault::EraseRejected},
        {"data-rejected", DemoFault::DataRejected},
        {"stops-answering", DemoFault::StopsAnswering},
    };
    return names;
}

DemoSettings ReadDemoSettings(const std::function<const char*(const char*)>& lookup,
                              std::vector<std::string>& problems) {
    DemoSettings settings;
    auto complain = [&](const char* name, const char* value) {
        problems.push_back(std::string(name) + "=" + value + " is not understood");
    };
    std::uint32_t number = 0;
    if (const char* value = lookup(kDemoVersionVariable)) {
        if (ReadNumber(value, 16, 0xFFFF, number)) settings.version = static_cast<std::uint16_t>(number);
        else complain(kDemoVersionVariable, value);
    }
    if (const char* value = lookup(kDemoUserIdVariable)) {
        if (ReadNumber(value, 16, 0xFFFFFFFF, number)) settings.userId = number;
        else complain(kDemoUserIdVariable, value);
    }
    if (const char* value = lookup(kDemoDelayVariable)) {
        if (ReadNumber(value, 10, 10000, number)) settings.transferDelayMs = number;
        else complain(kDemoDelayVariable, value);
    }
    if (const char* value = lookup(kDemoFaultVariable)) {
        bool known = false;
        for (const auto& [name, fault] : DemoFaultNames())
            if (std::string(value) == name) settings.fault = fault, known = true;
        if (!known) complain(kDemoFaultVariable, value);
    }
    if (const char* value = lookup(kDemoReportVariable)) settings.reportPath = value;
    return settings;
}

DemoDevice::DemoDevice(const DemoSettings& settings)
    : settings_(settings), device_(DeviceMode::StorageMode) {
    device_.volumes['C'] = SimulatedVolume{VolumeKind::Fixed, false, true};
    device_.volumes['D'] = SimulatedVolume{VolumeKind::CdRom, false, true};
    if (settings.fault != DemoFault::NoDevice)
        device_.volumes[kDeviceLetter] = SimulatedVolume{VolumeKind::Removable, true, true};
    device_.volumes['F'] = SimulatedVolume{VolumeKind::Removable, false, true};
    device_.volumes['Z'] = SimulatedVolume{VolumeKind::Network, false, true};
    device_.firmwareVersion = settings.version;
    device_.userId = settings.userId;
    if (settings.fault == DemoFault::UserIdFails)
        device_.InjectStorageFault(0xAA, StorageFault{ScsiFault::PassThroughFails, 0});
    if (settings.fault == DemoFault::EraseRejected)
        device_.InjectStorageFault(0xFF, StorageFault{ScsiFault::NoSignature, 0});
    device_.transferDelayMs = settings.transferDelayMs;
    device_.sleepFor = settings.sleepFor ? settings.sleepFor : [](std::uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
}

bool DemoDevice::GetDeviceInterfacePath(const InterfaceClass& interfaceClass,
                                        std::uint32_t memberIndex, char* path,
                                        std::uint32_t capacity) {
    // The user has re-plugged the erased device and installed its driver.
    device_.Replug();
    return device_.GetDeviceInterfacePath(interfaceClass, memberIndex, path, capacity);
}

void DemoDevice::ArmDownloadFault() {
    const std::uint32_t start = static_cast<std::uint32_t>(device_.Traffic().size());
    if (settings_.fault == DemoFault::DataRejected)
        device_.InjectFault(start + kFirstDataReply, TransferFault::RejectStatus);
    if (settings_.fault == DemoFault::StopsAnswering)
        device_.StopAnsweringFrom(start + kMiddleOfDownload);
}

PlatformHandle DemoDevice::OpenPipe(const char* pipePath) {
    const PlatformHandle pipe = device_.OpenPipe(pipePath);
    // Each Update opens its reply pipe first: a new download begins.
    if (pipe != kInvalidHandleValue && device_.OpenHandleCount() == 1) ArmDownloadFault();
    return pipe;
}

bool DemoDevice::ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t* transferred, std::uint32_t timeoutMs) {
    return device_.ReadTransfer(pipe, buffer, count, transferred, timeoutMs);
}

bool DemoDevice::WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                               std::uint32_t count, std::uint32_t* transferred,
                               std::uint32_t timeoutMs) {
    return device_.WriteTransfer(pipe, buffer, count, transferred, timeoutMs);
}

void DemoDevice::ClosePipe(PlatformHandle pipe) {
    device_.ClosePipe(pipe);
    if (device_.OpenHandleCount() == 0 && !settings_.reportPath.empty())
        WriteHeldMemory(device_, settings_.reportPath);
}

DriveType DemoDevice::DriveTypeOf(char letter) { return device_.DriveTypeOf(letter); }

PlatformHandle DemoDevice::OpenVolume(char letter) { return device_.OpenVolume(letter); }

bool DemoDevice::PassThrough(PlatformHandle volume, ScsiPassThroughDirect& record) {
    return device_.PassThrough(volume, record);
}

void DemoDevice::CloseVolume(PlatformHandle volume) { device_.CloseVolume(volume); }

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
