#pragma once

#include <string>
#include <string_view>

namespace fwup {

// The system's texts are GBK bytes (code page 936); a Linux terminal reads
// UTF-8. ASCII passes unchanged; a byte sequence that is not GBK becomes
// U+FFFD and the conversion goes on after it.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace fwup
