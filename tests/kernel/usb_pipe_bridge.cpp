// The Windows program's driver pipes (driver_pipes.h), bridged to the device
// on the guest's USB bus: every command the program writes goes to the device
// in vendor mode over the Linux program's libusb link, its reply back the
// same way.
//
// usage: WINEPREFIX=... fwup-usb-pipe-bridge --serial=S --dir=DIR --ready=FILE [--log=FILE]
// Waits for the device with serial S in vendor mode, opens it, writes the
// ready file, and serves the pipes until killed. The log gets a line for
// every command passed on and how its reply came back.

#include <poll.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "driver_pipes.h"
#include "platform/linux/libusb_usb_link.h"

namespace {

using Bytes = fwup::test::PipeBytes;

volatile std::sig_atomic_t stopping = 0;

std::string Option(int argc, char** argv, const std::string& name) {
    const std::string start = "--" + name + "=";
    for (int at = 1; at < argc; ++at)
        if (std::strncmp(argv[at], start.c_str(), start.size()) == 0) return argv[at] + start.size();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string serial = Option(argc, argv, "serial"), dir = Option(argc, argv, "dir");
    const std::string ready = Option(argc, argv, "ready"), logPath = Option(argc, argv, "log");
    const char* prefix = std::getenv("WINEPREFIX");
    if (serial.empty() || dir.empty() || ready.empty() || prefix == nullptr) {
        std::fprintf(stderr, "usage: WINEPREFIX=... fwup-usb-pipe-bridge --serial=S --dir=DIR "
                             "--ready=FILE [--log=FILE]\n");
        return 2;
    }
    std::signal(SIGTERM, [](int) { stopping = 1; });
    std::FILE* log = logPath.empty() ? stderr : std::fopen(logPath.c_str(), "w");
    if (log == nullptr) log = stderr;

    fwup::test::DriverPipes pipes(prefix, serial, dir);
    if (!pipes.Ready()) return 2;

    // The device in vendor mode, by its serial, as soon as it is there.
    fwup::LibusbUsbLink usb;
    fwup::PlatformHandle device = fwup::kInvalidHandleValue;
    while (device == fwup::kInvalidHandleValue && !stopping) {
        fwup::LinkStatus status = fwup::LinkStatus::Failed;
        for (const fwup::UsbDeviceInfo& found : usb.FindDevices(&status))
            if (found.serial == serial) {
                device = usb.Open(found, &status);
                std::fprintf(log, "device %s opened: %s\n", found.id.c_str(),
                             device != fwup::kInvalidHandleValue ? "yes" : "no");
                std::fflush(log);
            }
        if (device == fwup::kInvalidHandleValue) usb.WaitForArrival(200);
    }
    if (std::FILE* file = std::fopen(ready.c_str(), "w")) std::fclose(file);

    const auto passOn = [&](const std::uint8_t* bytes, const std::vector<std::uint32_t>& writes) {
        bool written = true;
        std::size_t total = 0;
        for (std::uint32_t size : writes) {
            written = written && usb.Write(device, bytes + total, size, fwup::kUpdateTimeoutMs).Completed();
            total += size;
        }
        Bytes reply(fwup::kReplySize, 0);
        const fwup::TransferResult read =
            written ? usb.Read(device, reply.data(), fwup::kReplySize, fwup::kUpdateTimeoutMs)
                    : fwup::TransferResult{};
        std::fprintf(log, "command %02x, %zu bytes: %s\n", bytes[3], total,
                     !written ? "not sent" : read.Completed() ? "answered" : "no reply");
        std::fflush(log);
        reply.resize(read.Completed() ? read.bytes : 0);
        return read.Completed() ? std::optional<Bytes>(reply) : std::nullopt;
    };
    while (!stopping) {
        pollfd waiting{pipes.CommandFd(), POLLIN, 0};
        poll(&waiting, 1, 20);
        pipes.ReadWaiting();
        pipes.Serve(passOn, [] {});
    }
    if (device != fwup::kInvalidHandleValue) usb.Close(device);
    return 0;
}
