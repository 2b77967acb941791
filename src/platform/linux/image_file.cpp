#include "platform/linux/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fwup {
namespace {

// Reads up to count bytes into got, fewer only at the end of the file.
bool ReadFully(int descriptor, std::uint8_t* into, std::uint64_t count, std::uint64_t& got) {
    got = 0;
    while (got < count) {
        const ssize_t n = ::read(descriptor, into + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<std::uint64_t>(n);
    }
    return true;
}

// The whole file, which holds exactly the size its status gave: one byte
// more or fewer means it changed while it was read.
bool ReadOpenImage(int descriptor, std::vector<std::uint8_t>& bytes, std::string& error) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
        return false;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > kLargestImageSize) {
        error = std::to_string(size) + " bytes, more than the " +
                std::to_string(kLargestImageSize) + " of the largest image";
        return false;
    }
    bytes.assign(size, 0);
    std::uint8_t beyond = 0;
    std::uint64_t got = 0;
    std::uint64_t more = 0;
    if (!ReadFully(descriptor, bytes.data(), size, got) ||
        !ReadFully(descriptor, &beyond, 1, more)) {
        error = std::strerror(errno);
        return false;
    }
    if (got != size || more != 0) {
        error = "its size changed while it was read";
        return false;
    }
    return true;
}

}  // namespace

bool ReadImageFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    bytes.clear();
    // Not blocking: opening a pipe that no one writes to returns at once, and
    // the status check then refuses it.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = ReadOpenImage(descriptor, bytes, error);
    ::close(descriptor);
    if (!ok) bytes.clear();
    return ok;
}

}  // namespace fwup
