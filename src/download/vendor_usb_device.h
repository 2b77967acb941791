#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/usb_platform.h"

namespace fwup {

inline constexpr char kVendorIdText[] = "vid_2008";
inline constexpr char kProductIdText[] = "pid_7639";
inline constexpr char kReplyPipeName[] = "PIPE00";
inline constexpr char kCommandPipeName[] = "PIPE01";
inline constexpr char kPipeSeparator[] = "\\";
inline constexpr std::uint32_t kInterfacePathBufferSize = 256;
// One less than the buffer: the query then always leaves a terminating zero.
inline constexpr std::uint32_t kInterfacePathCapacity = kInterfacePathBufferSize - 1;

// The device in vendor mode, opened for one Update command. replyPipe is
// never invalid in an open device; commandPipe is kInvalidHandleValue when
// that pipe failed to open (every write then fails at once).
struct VendorUsbDevice {
    PlatformHandle replyPipe = kInvalidHandleValue;
    PlatformHandle commandPipe = kInvalidHandleValue;
    UsbPlatform* platform = nullptr;  // the link both pipes live on
};

// Nothing when no matching device is present or its reply pipe does not
// open. Each pipe is found by a search of its own.
std::optional<VendorUsbDevice> OpenVendorUsbDevice(UsbPlatform& platform);

// Closes both pipes and empties the device; does nothing when it is empty.
int CloseVendorUsbDevice(std::optional<VendorUsbDevice>& device);

// Exact, case-sensitive substring tests, independent of each other's order.
bool InterfacePathMatches(std::string_view path, std::string_view vendorText,
                          std::string_view productText);

// Device path, separator, pipe name. Grows as needed: a 250-character device
// path makes 258 bytes with the terminating zero, more than the path buffer.
std::string ComposePipePath(std::string_view devicePath, std::string_view pipeName);

// The path of the first present interface, in enumeration order, that names
// both ids. The first index whose path cannot be had ends the search.
std::optional<std::string> FindDeviceInterfacePath(UsbPlatform& platform,
                                                   const InterfaceClass& interfaceClass,
                                                   std::string_view vendorText,
                                                   std::string_view productText);

// One complete search, then pipeName opened below the device it found.
PlatformHandle OpenDevicePipe(UsbPlatform& platform, const InterfaceClass& interfaceClass,
                              std::string_view vendorText, std::string_view productText,
                              std::string_view pipeName);

// A transfer with a time limit. On the invalid handle value they fail without
// calling the platform and leave *transferred untouched.
bool ReadPipe(UsbPlatform& platform, PlatformHandle pipe, std::uint8_t* buffer,
              std::uint32_t count, std::uint32_t* transferred, std::uint32_t timeoutMs);
bool WritePipe(UsbPlatform& platform, PlatformHandle pipe, const std::uint8_t* buffer,
               std::uint32_t count, std::uint32_t* transferred, std::uint32_t timeoutMs);

}  // namespace fwup
