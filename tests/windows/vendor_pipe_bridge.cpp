// The device end of the Windows device tests, a Linux program: behind the
// driver's pipes (driver_pipes.h) the simulated device answers as the device
// would.
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

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/device_model.h"
#include "driver_pipes.h"
#include "platform/simulation/scenario.h"
#include "platform/simulation/simulated_device.h"

namespace {

using Bytes = fwup::test::PipeBytes;

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

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ReadOptions(argc, argv);
    const char* prefix = std::getenv("WINEPREFIX");
    if (!options || prefix == nullptr) {
        std::fprintf(stderr, "usage: WINEPREFIX=... vendor-pipe-bridge --serial=S [--reference=R] "
                             "--dir=DIR --report=FILE [--refuse-reply=N|--silent-from=N] [--pace-ms=MS] -- COMMAND\n");
        return 2;
    }
    fwup::test::DriverPipes pipes(prefix, options->serial, options->dir, options->reference);
    if (!pipes.Ready()) return 2;

    DeviceEnd device(*options);
    device.Report(options->report, 0);
    const pid_t child = fork();
    if (child == 0) {
        execvp(options->command[0], options->command.data());
        std::perror(options->command[0]);
        _exit(127);
    }
    int status = 0;
    const auto passOn = [&device](const std::uint8_t* bytes, const std::vector<std::uint32_t>& writes) {
        return device.Command(bytes, writes);
    };
    // The report first: once the host has the reply, the report shows it.
    const auto report = [&] { device.Report(options->report, pipes.Unpassed().size()); };
    for (bool running = child > 0; running;) {
        pollfd waiting{pipes.CommandFd(), POLLIN, 0};
        poll(&waiting, 1, 20);
        running = waitpid(child, &status, WNOHANG) == 0;
        // After the command has ended, whatever it left in the FIFO is served too.
        pipes.ReadWaiting();
        pipes.Serve(passOn, report);
    }
    report();
    return child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
