#pragma once

#include <iconv.h>

#include <string>

namespace fwup::test {

// GBK bytes read back as UTF-8 by the C library's own converter, so that the
// texts are checked against their readable form, not against their bytes.
// "<not GBK>" when the bytes do not convert.
inline std::string Utf8FromGbk(const char* gbk) {
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1)) return "<no GBK converter>";
    std::string input = gbk;
    std::string output(input.size() * 3 + 1, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1)) return "<not GBK>";
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace fwup::test
