#include "app/terminal/text_format.h"

#include <cstdarg>
#include <cstdio>

namespace fwup {

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char filled[1024] = {};
    std::vsnprintf(filled, sizeof filled, format, arguments);
    va_end(arguments);
    return filled;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) hex += Format(i == 0 ? "%02X" : " %02X", bytes[i]);
    return hex;
}

}  // namespace fwup
