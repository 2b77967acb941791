#include "image/image_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fwup {
namespace {

// The whole file, which holds exactly the size its status gave: one byte
// more or fewer means it changed while it was read.
bool ReadOpenImage(std::ifstream& file, std::uint64_t size, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
    bytes.assign(size, 0);
    std::uint64_t got = 0;
    if (size != 0) {
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
        got = static_cast<std::uint64_t>(file.gcount());
    }
    const bool more = file.good() && file.peek() != std::ifstream::traits_type::eof();
    if (file.bad()) {
        error = std::strerror(errno);
        return false;
    }
    if (got != size || more) {
        error = "its size changed while it was read";
        return false;
    }
    return true;
}

}  // namespace

bool ReadImageFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
    bytes.clear();
    // The name as the person gave it, whatever the system's own character set.
    const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
    // The status first: a pipe or a device is refused before it is opened,
    // so that nothing waits for a writer.
    std::error_code why;
    const auto status = std::filesystem::status(path, why);
    if (why) {
        error = std::generic_category().message(why.value());
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "not a regular file";
        return false;
    }
    const std::uint64_t size = std::filesystem::file_size(path, why);
    if (why) {
        error = std::generic_category().message(why.value());
        return false;
    }
    if (size > kLargestImageSize) {
        error = std::to_string(size) + " bytes, more than the " +
                std::to_string(kLargestImageSize) + " of the largest image";
        return false;
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = ReadOpenImage(file, size, bytes, error);
    if (!ok) bytes.clear();
    return ok;
}

}  // namespace fwup
