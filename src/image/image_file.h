#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwup {

// The largest file taken as an image. An image's size is an unsigned 32-bit
// count, and no smaller bound follows from the device: its 32-bit address
// space holds 2^32 bytes, more than the segments of any such image carry.
inline constexpr std::uint64_t kLargestImageSize = UINT32_MAX;

// Reads a whole image file, named in UTF-8. On failure returns false and says why in error
// (the system's reason, or that the file is not a regular file, is larger
// than kLargestImageSize or changed its size while it was read).
bool ReadImageFile(const std::string& utf8Path, std::vector<std::uint8_t>& bytes,
                   std::string& error);

}  // namespace fwup
