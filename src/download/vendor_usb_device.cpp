#include "download/vendor_usb_device.h"

#include <array>

namespace fwup {

bool InterfacePathMatches(std::string_view path, std::string_view vendorText,
                          std::string_view productText) {
    return path.find(vendorText) != std::string_view::npos &&
           path.find(productText) != std::string_view::npos;
}

std::string ComposePipePath(std::string_view devicePath, std::string_view pipeName) {
    std::string pipePath;
    pipePath.reserve(devicePath.size() + 1 + pipeName.size());
    pipePath.append(devicePath).append(kPipeSeparator).append(pipeName);
    return pipePath;
}

std::optional<std::string> FindDeviceInterfacePath(UsbPlatform& platform,
                                                   const InterfaceClass& interfaceClass,
                                                   std::string_view vendorText,
                                                   std::string_view productText) {
    std::array<char, kInterfacePathBufferSize> path{};
    for (std::uint32_t memberIndex = 0;; ++memberIndex) {
        path.fill('\0');
        if (!platform.GetDeviceInterfacePath(interfaceClass, memberIndex, path.data(),
                                             kInterfacePathCapacity))
            return std::nullopt;
        // The capacity leaves the last byte zero, so the path always ends.
        if (InterfacePathMatches(path.data(), vendorText, productText))
            return std::string(path.data());
    }
}

PlatformHandle OpenDevicePipe(UsbPlatform& platform, const InterfaceClass& interfaceClass,
                              std::string_view vendorText, std::string_view productText,
                              std::string_view pipeName) {
    const std::optional<std::string> devicePath =
        FindDeviceInterfacePath(platform, interfaceClass, vendorText, productText);
    if (!devicePath) return kInvalidHandleValue;
    return platform.OpenPipe(ComposePipePath(*devicePath, pipeName).c_str());
}

std::optional<VendorUsbDevice> OpenVendorUsbDevice(UsbPlatform& platform) {
    VendorUsbDevice device;
    device.platform = &platform;
    device.replyPipe = OpenDevicePipe(platform, kGuidDevinterfaceUsbDevice, kVendorIdText,
                                      kProductIdText, kReplyPipeName);
    if (device.replyPipe == kInvalidHandleValue) return std::nullopt;
    // A command pipe that does not open leaves the device usable: its first
    // write fails and the download reports it.
    device.commandPipe = OpenDevicePipe(platform, kGuidDevinterfaceUsbDevice, kVendorIdText,
                                        kProductIdText, kCommandPipeName);
    return device;
}

int CloseVendorUsbDevice(std::optional<VendorUsbDevice>& device) {
    if (!device) return 0;
    device->platform->ClosePipe(device->replyPipe);
    if (device->commandPipe != kInvalidHandleValue)
        device->platform->ClosePipe(device->commandPipe);
    device.reset();
    return 0;
}

bool ReadPipe(UsbPlatform& platform, PlatformHandle pipe, std::uint8_t* buffer,
              std::uint32_t count, std::uint32_t* transferred, std::uint32_t timeoutMs) {
    if (pipe == kInvalidHandleValue) return false;
    std::uint32_t moved = 0;
    const bool completed = platform.ReadTransfer(pipe, buffer, count, &moved, timeoutMs);
    if (transferred != nullptr) *transferred = moved;
    return completed;
}

bool WritePipe(UsbPlatform& platform, PlatformHandle pipe, const std::uint8_t* buffer,
               std::uint32_t count, std::uint32_t* transferred, std::uint32_t timeoutMs) {
    if (pipe == kInvalidHandleValue) return false;
    std::uint32_t moved = 0;
    const bool completed = platform.WriteTransfer(pipe, buffer, count, &moved, timeoutMs);
    if (transferred != nullptr) *transferred = moved;
    return completed;
}

}  // namespace fwup
