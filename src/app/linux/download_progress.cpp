#include "app/linux/download_progress.h"

#include <algorithm>

#include "app/linux/front_end_texts.h"
#include "download/download_protocol.h"
#include "platform/gbk_to_utf8.h"

namespace fwup {

namespace {

constexpr int kShortestBar = 10;
constexpr int kLongestBar = 40;
constexpr int kRoomForCounts = 48;  // percentage, bytes and commands beside the bar

}  // namespace

DownloadTotals DownloadTraffic(FirmwareImage image) {
    DownloadTotals totals;
    if (!IsImageAccepted(image)) return totals;
    totals.bytes = kCommandHeaderSize + kBeginPayloadSize;
    totals.commands = 1;
    if (image.imageSize < kShortestImageWithSegments) return totals;  // the begin command alone
    WalkSegments(image, [&](const ImageSegment& segment) {
        const std::uint32_t pieces = (segment.length + MaxChunkSize - 1) / MaxChunkSize;
        totals.bytes += std::uint64_t{pieces} * (kCommandHeaderSize + kLoadAddressSize) +
                        segment.length;
        totals.commands += pieces;
        return true;
    });
    totals.bytes += kCommandHeaderSize + kEndPayloadSize;
    totals.commands += 1;
    return totals;
}

CountingUsbPlatform::CountingUsbPlatform(UsbPlatform& inner,
                                         std::function<void(const LinkCount&)> onTransfer)
    : inner_(inner), onTransfer_(std::move(onTransfer)) {}

bool CountingUsbPlatform::GetDeviceInterfacePath(const InterfaceClass& interfaceClass,
                                                 std::uint32_t memberIndex, char* path,
                                                 std::uint32_t capacity) {
    return inner_.GetDeviceInterfacePath(interfaceClass, memberIndex, path, capacity);
}

PlatformHandle CountingUsbPlatform::OpenPipe(const char* pipePath) {
    return inner_.OpenPipe(pipePath);
}

bool CountingUsbPlatform::ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer,
                                       std::uint32_t count, std::uint32_t* transferred,
                                       std::uint32_t timeoutMs) {
    const bool completed = inner_.ReadTransfer(pipe, buffer, count, transferred, timeoutMs);
    if (completed) {
        ++count_.repliesRead;
        if (onTransfer_) onTransfer_(count_);
    }
    return completed;
}

bool CountingUsbPlatform::WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                                        std::uint32_t count, std::uint32_t* transferred,
                                        std::uint32_t timeoutMs) {
    const bool completed = inner_.WriteTransfer(pipe, buffer, count, transferred, timeoutMs);
    if (completed) {
        count_.bytesWritten += *transferred;
        if (onTransfer_) onTransfer_(count_);
    }
    return completed;
}

void CountingUsbPlatform::ClosePipe(PlatformHandle pipe) {
    inner_.ClosePipe(pipe);
}

ProgressBar::ProgressBar(std::FILE* out, DownloadTotals totals, LanguageFlag languageFlag,
                         int columns, std::function<Clock::time_point()> now)
    : out_(out), totals_(totals), languageFlag_(languageFlag), columns_(columns),
      now_(std::move(now)) {}

std::string ProgressBar::Render(const LinkCount& count) const {
    const int width = std::clamp(columns_ - kRoomForCounts, kShortestBar, kLongestBar);
    const std::uint64_t done = std::min(count.bytesWritten, totals_.bytes);
    const int filled =
        totals_.bytes == 0 ? 0 : static_cast<int>(done * static_cast<std::uint64_t>(width) / totals_.bytes);
    const int percent = totals_.bytes == 0 ? 0 : static_cast<int>(done * 100 / totals_.bytes);
    char counts[160] = {};
    std::snprintf(counts, sizeof counts, Choose(kProgressCounts, languageFlag_),
                  static_cast<unsigned long long>(count.bytesWritten),
                  static_cast<unsigned long long>(totals_.bytes), count.repliesRead,
                  totals_.commands);
    char percentage[8] = {};
    std::snprintf(percentage, sizeof percentage, "%3d%%", percent);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '.') + "] " + percentage + " " +
           GbkToUtf8(counts);
}

void ProgressBar::Draw() {
    // Back to the start of the line, the bar, and the rest of the line cleared.
    std::fprintf(out_, "\r%s\x1b[K", Render(last_).c_str());
    std::fflush(out_);
    lastDraw_ = now_();
    ++draws_;
}

void ProgressBar::Update(const LinkCount& count) {
    last_ = count;
    if (active_ && now_() - lastDraw_ < kRedrawInterval) return;
    active_ = true;
    Draw();
}

void ProgressBar::Finish() {
    active_ = true;
    Draw();
    std::fputc('\n', out_);
    std::fflush(out_);
    active_ = false;
}

}  // namespace fwup
