#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/usb_link.h"

namespace fwup {

// The vendor USB link on Windows: the device's interface path through
// SetupAPI, its two pipes below that path opened through the vendor driver,
// and overlapped transfers with a time limit. A pending transfer is waited
// for on the pipe handle itself, which holds because each pipe carries one
// transfer at a time. Several devices may be worked on at once, each from a
// thread of its own.
class Win32UsbLink : public UsbLink {
public:
    Win32UsbLink() = default;
    Win32UsbLink(const Win32UsbLink&) = delete;
    Win32UsbLink& operator=(const Win32UsbLink&) = delete;
    ~Win32UsbLink() override;

    // The interface paths that name the model's ids, each with its device's
    // ID: the hub port it is plugged into, else its serial number, else the
    // path itself.
    std::vector<UsbDeviceInfo> FindDevices(LinkStatus* status) override;
    PlatformHandle Open(const UsbDeviceInfo& device, LinkStatus* why) override;
    TransferResult Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                        std::uint32_t timeoutMs) override;
    TransferResult Write(PlatformHandle link, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t timeoutMs) override;
    void Close(PlatformHandle link) override;

    // One pipe, opened by path for overlapped reading and writing;
    // kInvalidHandleValue when it does not open.
    static PlatformHandle OpenPipe(const char* pipePath);

    // One time-limited transfer on a pipe handle.
    enum class Direction { Read, Write };
    TransferResult PipeTransfer(Direction direction, PlatformHandle pipe, std::uint8_t* buffer,
                                std::uint32_t count, std::uint32_t timeoutMs);

protected:
    // Waits up to timeoutMs for the pipe's pending transfer; the platform's
    // wait result. The tests use it to finish a transfer between the wait
    // and the poll, or to make the wait fail.
    virtual std::uint32_t WaitForTransfer(PlatformHandle pipe, std::uint32_t timeoutMs);

private:
    // How often a transfer's wait looks whether the user asked to stop.
    static constexpr std::uint32_t kStopCheckMs = 100;

    // WaitForTransfer for up to timeoutMs, in slices of kStopCheckMs where
    // the user may ask to stop; WAIT_TIMEOUT once asked.
    std::uint32_t AwaitTransfer(PlatformHandle pipe, std::uint32_t timeoutMs);

    struct Pipes {
        PlatformHandle reply;
        PlatformHandle command;  // kInvalidHandleValue when it did not open
    };
    // The open device's pipes; kInvalidHandleValue for both when it is not open.
    Pipes PipesOf(PlatformHandle link);

    std::mutex linksLock_;
    std::map<PlatformHandle, Pipes> links_;  // by reply pipe
};

}  // namespace fwup
