// The device end of the Windows device tests, a Linux program. Wine opens the
// driver's pipes "<interface path>\PIPE00" and "\PIPE01" through
// $WINEPREFIX/dosdevices: here they are two FIFOs in a folder linked there,
// and behind them the simulated device answers as the device would. FIFOs are
// byte streams, not transfers: the bytes are cut back into the host's writes
// by the protocol's lengths (CommandWrites).
//
// usage: vendor-pipe-bridge --serial=S [--reference=R] --dir=DIR --report=FILE
//            [--refuse-reply=N | --silent-from=N] [--pace-ms=MS] -- COMMAND [ARGUMENT...]
// Serves the pipes while COMMAND runs and ends with its exit status. The
// device's transfer with index N (0 = the first) is a reply that refuses its
// command, or the first it leaves unanswered; each transfer takes the device
// MS milliseconds (none by default). After each command FILE gets what the
// device holds (as the demonstration device reports it) and FILE.counts
// "transfers T unpassed U errors E accepted A": the transfers the device saw,
// the bytes received but not yet passed on as a whole command, the device's
// protocol errors and the commands it accepted.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "platform/simulation/scenario.h"
#include "platform/simulation/simulated_device.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The sizes of the writes the host made for the command at the front of
// `stream`: the header, then the payload blocks its length gives (a data
// command's load address and data apart). Empty until the header is whole.
std::vector<std::uint32_t> CommandWrites(const Bytes& stream) {
    if (stream.size() < fwup::kCommandHeaderSize) return {};
    const std::uint32_t length = stream[4] | stream[5] << 8;
    if (stream[3] == fwup::kDataCommandCode &&
        length > fwup::kLoadAddressSize)
        return {fwup::kCommandHeaderSize, fwup::kLoadAddressSize, length - fwup::kLoadAddressSize};
    return {fwup::kCommandHeaderSize, length};
}

struct Options {
    std::string serial;
    std::string reference;
    std::string dir;
    std::string report;
    std::optional<std::uint32_t> refuseReply;
    std::optional<std::uint32_t> silentFrom;
    std::uint32_t paceMs = 0;
    std::vector<char*> command;
};

// The simulated device and all this program asks of it.
class DeviceEnd {
public:
    explicit DeviceEnd(const Options& options) {
        if (options.refuseReply)
            device_.InjectFault(*options.refuseReply, fwup::TransferFault::RejectStatus);
        if (options.silentFrom) device_.StopAnsweringFrom(*options.silentFrom);
        // Each transfer takes its time here; the time limit of one left
        // unanswered is the host's to wait.
        device_.transferDelayMs = options.paceMs;
        device_.sleepFor = [pace = options.paceMs](std::uint32_t ms) {
            usleep(std::min(ms, pace) * 1000);
        };
        fwup::LinkStatus status = fwup::LinkStatus::Failed;
        link_ = device_.Open(device_.FindDevices(&status).at(0), &status);
    }

    // One command's writes; its reply, or nothing when the device keeps silent.
    std::optional<Bytes> Command(const std::uint8_t* bytes, const std::vector<std::uint32_t>& writes) {
        for (std::uint32_t size : writes) {
            device_.Write(link_, bytes, size, fwup::kUpdateTimeoutMs);
            bytes += size;
        }
        Bytes reply(fwup::kReplySize, 0);
        const fwup::TransferResult read =
            device_.Read(link_, reply.data(), fwup::kReplySize, fwup::kUpdateTimeoutMs);
        if (!read.Completed()) return std::nullopt;
        reply.resize(read.bytes);
        return reply;
    }

    void Report(const std::string& path, std::size_t unpassed) const {
        fwup::WriteHeldMemory(device_, path + ".new");
        std::rename((path + ".new").c_str(), path.c_str());
        if (std::FILE* file = std::fopen((path + ".counts.new").c_str(), "w")) {
            std::fprintf(file, "transfers %zu unpassed %zu errors %u accepted %u\n",
                         device_.Traffic().size(), unpassed, device_.ProtocolErrors(),
                         device_.AcceptedCommands());
            std::fclose(file);
            std::rename((path + ".counts.new").c_str(), (path + ".counts").c_str());
        }
    }

private:
    fwup::SimulatedDevice device_{fwup::DeviceMode::VendorMode};
    fwup::PlatformHandle link_;
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<Options> ReadOptions(int argc, char** argv) {
    Options options;
    int at = 1;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        const std::string argument = argv[at];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
        if (name == "--serial") options.serial = value;
        else if (name == "--reference") options.reference = value;
        else if (name == "--dir") options.dir = value;
        else if (name == "--report") options.report = value;
        else if (name == "--refuse-reply") options.refuseReply = std::stoul(value);
        else if (name == "--silent-from") options.silentFrom = std::stoul(value);
        else if (name == "--pace-ms") options.paceMs = std::stoul(value);
        else return std::nullopt;
    }
    for (++at; at < argc; ++at) options.command.push_back(argv[at]);
    options.command.push_back(nullptr);
    if (options.serial.empty() || options.dir.empty() || options.report.empty() ||
        options.command.size() < 2)
        return std::nullopt;
    return options;
}

// Every byte waiting in the FIFO, without blocking.
void ReadWaiting(int fd, Bytes& into) {
    std::uint8_t chunk[8192];
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;)
        into.insert(into.end(), chunk, chunk + got);
}

// Passes on every whole command that has arrived and writes back its reply.
void Serve(DeviceEnd& device, Bytes& received, int replyFd, const std::string& report) {
    for (;;) {
        const std::vector<std::uint32_t> writes = CommandWrites(received);
        std::size_t total = 0;
        for (std::uint32_t size : writes) total += size;
        if (writes.empty() || received.size() < total) return;
        const std::optional<Bytes> reply = device.Command(received.data(), writes);
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(total));
        // The report first: once the host has the reply, the report shows it.
        device.Report(report, received.size());
        if (reply && write(replyFd, reply->data(), reply->size()) < 0) std::perror("reply");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ReadOptions(argc, argv);
    const char* prefix = std::getenv("WINEPREFIX");
    if (!options || prefix == nullptr) {
        std::fprintf(stderr, "usage: WINEPREFIX=... vendor-pipe-bridge --serial=S [--reference=R] "
                             "--dir=DIR --report=FILE [--refuse-reply=N|--silent-from=N] [--pace-ms=MS] -- COMMAND\n");
        return 2;
    }
    // \\?\usb#vid_2008&pid_7639#<serial>#{class}[\<reference>], as Wine names it.
    const std::string link = std::string(prefix) + "/dosdevices/usb#vid_2008&pid_7639#" +
                             Lower(options->serial) + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    std::string pipes = options->dir;
    mkdir(pipes.c_str(), 0755);
    if (!options->reference.empty()) mkdir(pipes.append("/").append(Lower(options->reference)).c_str(), 0755);
    const std::string replyPath = pipes + "/PIPE00", commandPath = pipes + "/PIPE01";
    unlink(link.c_str());
    unlink(replyPath.c_str());
    unlink(commandPath.c_str());
    if (symlink(options->dir.c_str(), link.c_str()) != 0 || mkfifo(replyPath.c_str(), 0644) != 0 ||
        mkfifo(commandPath.c_str(), 0644) != 0) {
        std::perror("setting up the pipes");
        return 2;
    }
    // Both ends held here: the host's opens and closes never block or end them.
    const int replyFd = open(replyPath.c_str(), O_RDWR);
    const int commandFd = open(commandPath.c_str(), O_RDWR | O_NONBLOCK);

    DeviceEnd device(*options);
    device.Report(options->report, 0);
    const pid_t child = fork();
    if (child == 0) {
        execvp(options->command[0], options->command.data());
        std::perror(options->command[0]);
        _exit(127);
    }
    Bytes received;
    int status = 0;
    for (bool running = child > 0; running;) {
        pollfd waiting{commandFd, POLLIN, 0};
        poll(&waiting, 1, 20);
        running = waitpid(child, &status, WNOHANG) == 0;
        // After the command has ended, whatever it left in the FIFO is served too.
        ReadWaiting(commandFd, received);
        Serve(device, received, replyFd, options->report);
    }
    device.Report(options->report, received.size());

    close(replyFd);
    close(commandFd);
    unlink(link.c_str());
    unlink(replyPath.c_str());
    unlink(commandPath.c_str());
    if (!options->reference.empty()) rmdir(pipes.c_str());
    rmdir(options->dir.c_str());
    return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
