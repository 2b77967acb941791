#pragma once

#include <string>

namespace fwup {

// Between the system's UTF-16 and the program's UTF-8. Text that does not
// convert comes out empty.
std::string Utf8Of(const wchar_t* text);
std::wstring Utf16Of(const std::string& utf8);

}  // namespace fwup
