#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwup {

// The largest file taken as an image, refused by its size before a byte of
// it is read. The device's image is tens of kilobytes and its program memory
// a small part of this: a file any larger is no image of its own, and a
// 32-bit program could not be sure to hold it.
inline constexpr std::uint64_t kLargestImageSize = 16u << 20;

// Reads a whole image file, named in UTF-8. On failure returns false and says why in error
// (the system's reason, or that the file is not a regular file, is larger
// than kLargestImageSize or changed its size while it was read).
bool ReadImageFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes,
                   std::string& error);

}  // namespace fwup
