#pragma once

#include <cstdint>

#include "platform/platform_handle.h"

namespace fwup {

// A device interface class, laid out like the platform's GUID.
struct InterfaceClass {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
inline constexpr InterfaceClass kGuidDevinterfaceUsbDevice{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// What the vendor USB link needs of the platform: the paths of the present
// device interfaces, pipes opened by path, and transfers with a time limit.
// The Windows build implements it over SetupAPI and overlapped file I/O, the
// simulated device in memory, the Linux build over libusb.
class UsbPlatform {
public:
    virtual ~UsbPlatform() = default;

    // Copies the path of the present interface at memberIndex, with its
    // terminating zero, into path. False past the last interface, or when
    // the path does not fit in capacity bytes (the search then ends).
    virtual bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass,
                                        std::uint32_t memberIndex, char* path,
                                        std::uint32_t capacity) = 0;

    // Opens a pipe below a device path for reading and writing;
    // kInvalidHandleValue when it cannot be opened.
    virtual PlatformHandle OpenPipe(const char* pipePath) = 0;

    // One transfer, finished or given up within timeoutMs. True only when it
    // completed in time; *transferred gets the count the platform reported
    // (0 when none) on every path.
    virtual bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer,
                              std::uint32_t count, std::uint32_t* transferred,
                              std::uint32_t timeoutMs) = 0;
    virtual bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                               std::uint32_t count, std::uint32_t* transferred,
                               std::uint32_t timeoutMs) = 0;

    virtual void ClosePipe(PlatformHandle pipe) = 0;
};

}  // namespace fwup
