#pragma once

#include <string>

namespace fwup {

// printf into a string: the terminal's texts are printf formats in both
// languages. At most 1023 bytes.
std::string Format(const char* format, ...);

}  // namespace fwup
