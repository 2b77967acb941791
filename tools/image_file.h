#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fwup {

// Reads a whole image file. On failure returns false and says why in error
// (the system's reason, or that the file is too large to be an image).
bool ReadImageFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace fwup
