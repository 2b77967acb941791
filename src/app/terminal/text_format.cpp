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

}  // namespace fwup
