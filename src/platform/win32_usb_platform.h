#pragma once

#include <cstdint>

#include "platform/usb_platform.h"

namespace fwup {

// The vendor USB link over SetupAPI and overlapped file I/O on the driver's
// pipes. A pending transfer is waited for on the pipe handle itself, which
// holds because each pipe carries one transfer at a time.
class Win32UsbPlatform : public UsbPlatform {
public:
    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

protected:
    // Waits up to timeoutMs for the pipe's pending transfer; the platform's
    // wait result. The tests use it to finish a transfer between the wait
    // and the poll, or to make the wait fail.
    virtual std::uint32_t WaitForTransfer(PlatformHandle pipe, std::uint32_t timeoutMs);

private:
    enum class Direction { Read, Write };
    bool Transfer(Direction direction, PlatformHandle pipe, std::uint8_t* buffer,
                  std::uint32_t count, std::uint32_t* transferred, std::uint32_t timeoutMs);
};

}  // namespace fwup
