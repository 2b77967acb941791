#include "gbk_to_utf8.h"

#include <iconv.h>

#include <cerrno>

namespace fwup {

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(gbk);
    std::string utf8;
    char* in = const_cast<char*>(gbk.data());  // iconv does not write the input
    std::size_t inLeft = gbk.size();
    while (inLeft > 0) {
        char buffer[256];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        utf8.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // EILSEQ or EINVAL: one byte that starts no GBK character.
        utf8.append(kReplacementCharacter);
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return utf8;
}

}  // namespace fwup
