#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "download/firmware_image.h"
#include "platform/usb_platform.h"
#include "platform/user_interface.h"

namespace fwup {

// What has crossed the link so far: bytes the device took, and replies it
// gave (each command ends with one).
struct LinkCount {
    std::uint64_t bytesWritten = 0;
    std::uint32_t repliesRead = 0;
};

// What a whole download of the image moves: every command's header and
// payload bytes, and its number of commands. Nothing for an image the
// download refuses.
struct DownloadTotals {
    std::uint64_t bytes = 0;
    std::uint32_t commands = 0;
};
DownloadTotals DownloadTraffic(FirmwareImage image);

// Counts at the link, leaving the download itself as it is: every transfer
// goes to the wrapped platform unchanged, and each one that completed is
// counted and reported.
class CountingUsbPlatform : public UsbPlatform {
public:
    CountingUsbPlatform(UsbPlatform& inner, std::function<void(const LinkCount&)> onTransfer);

    bool GetDeviceInterfacePath(const InterfaceClass& interfaceClass, std::uint32_t memberIndex,
                                char* path, std::uint32_t capacity) override;
    PlatformHandle OpenPipe(const char* pipePath) override;
    bool ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer, std::uint32_t count,
                      std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    bool WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer, std::uint32_t count,
                       std::uint32_t* transferred, std::uint32_t timeoutMs) override;
    void ClosePipe(PlatformHandle pipe) override;

    const LinkCount& Count() const { return count_; }

private:
    UsbPlatform& inner_;
    std::function<void(const LinkCount&)> onTransfer_;
    LinkCount count_;
};

// A one-line progress bar on a terminal, redrawn in place at most ten times
// a second; the final state is always drawn.
class ProgressBar {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    ProgressBar(std::FILE* out, DownloadTotals totals, LanguageFlag languageFlag, int columns,
                std::function<Clock::time_point()> now = Clock::now);

    void Update(const LinkCount& count);  // the first update draws at once
    void Finish();                        // draws the last count and ends the line
    bool Active() const { return active_; }
    int Draws() const { return draws_; }

    // The line for a count, in UTF-8: bar, percentage, bytes and commands.
    std::string Render(const LinkCount& count) const;

private:
    void Draw();

    std::FILE* out_;
    DownloadTotals totals_;
    LanguageFlag languageFlag_;
    int columns_;
    std::function<Clock::time_point()> now_;
    LinkCount last_;
    Clock::time_point lastDraw_{};
    bool active_ = false;
    int draws_ = 0;
};

}  // namespace fwup
