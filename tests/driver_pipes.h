// The Linux end of the vendor driver's pipes for a Windows program under Wine.
// Wine opens "<interface path>\PIPE00" (replies) and "\PIPE01" (commands)
// through $WINEPREFIX/dosdevices: here they are two FIFOs in a folder linked
// there. FIFOs are byte streams, not transfers: the bytes are cut back into
// the host's writes by the protocol's lengths, as the driver would have sent
// them, and each whole command is passed on to whatever device serves it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/device_model.h"

namespace fwup::test {

using PipeBytes = std::vector<std::uint8_t>;

// The sizes of the writes the host made for the command at the front of
// `stream`: the header, then the payload blocks its length gives (a data
// command's load address and data apart). Empty until the header is whole.
inline std::vector<std::uint32_t> CommandWrites(const PipeBytes& stream) {
    if (stream.size() < kCommandHeaderSize) return {};
    const std::uint32_t length = stream[4] | stream[5] << 8;
    if (stream[3] == kDataCommandCode && length > kLoadAddressSize)
        return {kCommandHeaderSize, kLoadAddressSize, length - kLoadAddressSize};
    return {kCommandHeaderSize, length};
}

class DriverPipes {
public:
    // The pipes of the device with `serial` (and the interface reference,
    // when the program's path names one), in the folder `dir`.
    DriverPipes(const std::string& winePrefix, const std::string& serial, const std::string& dir,
                const std::string& reference = {})
        : dir_(dir), folder_(dir) {
        // \\?\usb#vid_2008&pid_7639#<serial>#{class}[\<reference>], as Wine names it.
        link_ = winePrefix + "/dosdevices/usb#vid_2008&pid_7639#" + Lower(serial) +
                "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
        mkdir(dir_.c_str(), 0755);
        if (!reference.empty()) mkdir(folder_.append("/").append(Lower(reference)).c_str(), 0755);
        unlink(link_.c_str());
        unlink(Reply().c_str());
        unlink(Commands().c_str());
        if (symlink(dir_.c_str(), link_.c_str()) != 0 || mkfifo(Reply().c_str(), 0644) != 0 ||
            mkfifo(Commands().c_str(), 0644) != 0) {
            std::perror("setting up the pipes");
            return;
        }
        // Both ends held here: the host's opens and closes never block or end them.
        replyFd_ = open(Reply().c_str(), O_RDWR);
        commandFd_ = open(Commands().c_str(), O_RDWR | O_NONBLOCK);
    }
    DriverPipes(const DriverPipes&) = delete;
    DriverPipes& operator=(const DriverPipes&) = delete;
    ~DriverPipes() {
        if (replyFd_ >= 0) close(replyFd_);
        if (commandFd_ >= 0) close(commandFd_);
        unlink(link_.c_str());
        unlink(Reply().c_str());
        unlink(Commands().c_str());
        if (folder_ != dir_) rmdir(folder_.c_str());
        rmdir(dir_.c_str());
    }

    bool Ready() const { return replyFd_ >= 0 && commandFd_ >= 0; }
    int CommandFd() const { return commandFd_; }
    // What the host has written and no device has taken yet.
    const PipeBytes& Unpassed() const { return received_; }

    // Every byte waiting, without blocking.
    void ReadWaiting() {
        std::uint8_t chunk[8192];
        for (ssize_t got; (got = read(commandFd_, chunk, sizeof chunk)) > 0;)
            received_.insert(received_.end(), chunk, chunk + got);
    }

    // Passes on every whole command that has arrived through `passOn(bytes,
    // writes)`, which answers with the device's reply or nothing, and writes
    // the reply back. `afterEach` runs once the command has left the stream,
    // before the host can have its reply.
    template <typename PassOn, typename AfterEach>
    void Serve(PassOn passOn, AfterEach afterEach) {
        for (;;) {
            const std::vector<std::uint32_t> writes = CommandWrites(received_);
            std::size_t total = 0;
            for (std::uint32_t size : writes) total += size;
            if (writes.empty() || received_.size() < total) return;
            const std::optional<PipeBytes> reply = passOn(received_.data(), writes);
            received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(total));
            afterEach();
            if (reply && write(replyFd_, reply->data(), reply->size()) < 0) std::perror("reply");
        }
    }

private:
    static std::string Lower(std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
    std::string Reply() const { return folder_ + "/PIPE00"; }
    std::string Commands() const { return folder_ + "/PIPE01"; }

    std::string dir_, folder_, link_;
    int replyFd_ = -1, commandFd_ = -1;
    PipeBytes received_;
};

}  // namespace fwup::test
