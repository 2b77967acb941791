// The Windows program's driver pipes, bridged to the device on the guest's
// USB bus: Wine opens "<interface path>\PIPE00" and "\PIPE01" through
// $WINEPREFIX/dosdevices, here two FIFOs in a folder linked there, and every
// command the program writes goes to the device in vendor mode over the Linux
// program's libusb link, its reply back the same way. FIFOs are byte
// streams, not transfers: the bytes are cut back into the host's writes by
// the protocol's lengths, as the driver would have sent them.
//
// usage: WINEPREFIX=... fwup-usb-pipe-bridge --serial=S --dir=DIR --ready=FILE [--log=FILE]
// Waits for the device with serial S in vendor mode, opens it, writes the
// ready file, and serves the pipes until killed. The log gets a line for
// every command passed on and how its reply came back.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/device_model.h"
#include "platform/linux/libusb_usb_link.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

volatile std::sig_atomic_t stopping = 0;

// The sizes of the writes the host made for the command at the front of
// `stream`: the header, then the payload blocks its length gives (a data
// command's load address and data apart). Empty until the header is whole.
std::vector<std::uint32_t> CommandWrites(const Bytes& stream) {
    if (stream.size() < fwup::kCommandHeaderSize) return {};
    const std::uint32_t length = stream[4] | stream[5] << 8;
    if (stream[3] == fwup::kDataCommandCode && length > fwup::kLoadAddressSize)
        return {fwup::kCommandHeaderSize, fwup::kLoadAddressSize, length - fwup::kLoadAddressSize};
    return {fwup::kCommandHeaderSize, length};
}

std::string Option(int argc, char** argv, const std::string& name) {
    const std::string start = "--" + name + "=";
    for (int at = 1; at < argc; ++at)
        if (std::strncmp(argv[at], start.c_str(), start.size()) == 0) return argv[at] + start.size();
    return {};
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
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

    // \\?\usb#vid_2008&pid_7639#<serial>#{class}, as Wine names it.
    const std::string link = std::string(prefix) + "/dosdevices/usb#vid_2008&pid_7639#" +
                             Lower(serial) + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::string replyPath = dir + "/PIPE00", commandPath = dir + "/PIPE01";
    mkdir(dir.c_str(), 0755);
    unlink(link.c_str());
    unlink(replyPath.c_str());
    unlink(commandPath.c_str());
    if (symlink(dir.c_str(), link.c_str()) != 0 || mkfifo(replyPath.c_str(), 0644) != 0 ||
        mkfifo(commandPath.c_str(), 0644) != 0) {
        std::perror("setting up the pipes");
        return 2;
    }
    // Both ends held here: the host's opens and closes never block or end them.
    const int replyFd = open(replyPath.c_str(), O_RDWR);
    const int commandFd = open(commandPath.c_str(), O_RDWR | O_NONBLOCK);

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

    Bytes received;
    while (!stopping) {
        pollfd waiting{commandFd, POLLIN, 0};
        poll(&waiting, 1, 20);
        std::uint8_t chunk[8192];
        for (ssize_t got; (got = read(commandFd, chunk, sizeof chunk)) > 0;)
            received.insert(received.end(), chunk, chunk + got);
        // Every whole command that has arrived, passed on; its reply written back.
        for (;;) {
            const std::vector<std::uint32_t> writes = CommandWrites(received);
            std::size_t total = 0;
            for (std::uint32_t size : writes) total += size;
            if (writes.empty() || received.size() < total) break;
            bool written = true;
            const std::uint8_t* bytes = received.data();
            for (std::uint32_t size : writes) {
                written = written && usb.Write(device, bytes, size, fwup::kUpdateTimeoutMs).Completed();
                bytes += size;
            }
            Bytes reply(fwup::kReplySize, 0);
            const fwup::TransferResult read =
                written ? usb.Read(device, reply.data(), fwup::kReplySize, fwup::kUpdateTimeoutMs)
                        : fwup::TransferResult{};
            std::fprintf(log, "command %02x, %zu bytes: %s\n", received[3], total,
                         !written ? "not sent" : read.Completed() ? "answered" : "no reply");
            std::fflush(log);
            received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(total));
            if (read.Completed() && write(replyFd, reply.data(), read.bytes) < 0) std::perror("reply");
        }
    }
    if (device != fwup::kInvalidHandleValue) usb.Close(device);
    close(replyFd);
    close(commandFd);
    unlink(link.c_str());
    unlink(replyPath.c_str());
    unlink(commandPath.c_str());
    rmdir(dir.c_str());
    return 0;
}
