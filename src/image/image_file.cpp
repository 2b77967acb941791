#include "image/image_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fwup {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file, which holds exactly the size its status gave: one byte
// more or fewer means it changed while it was read.
bool ReadOpenImage(std::FILE* file, std::uint64_t size, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
    bytes.assign(size, 0);
    const std::uint64_t got = size == 0 ? 0 : std::fread(bytes.data(), 1, size, file);
    std::uint8_t beyond = 0;
    const std::size_t more = std::fread(&beyond, 1, 1, file);
    if (std::ferror(file)) {
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
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = ReadOpenImage(file.get(), size, bytes, error);
    if (!ok) bytes.clear();
    return ok;
}

}  // namespace fwup
