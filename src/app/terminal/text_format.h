#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fwup {

// printf into a string: the terminal's texts are printf formats in both
// languages. At most 1023 bytes.
std::string Format(const char* format, ...);

// Bytes as "87 0A 00", for traces and the JSON document.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace fwup
