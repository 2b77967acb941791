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

// The longest start of a UTF-8 text that fits in the columns, never cut
// inside a character, and the columns it takes: CJK characters take two.
struct Fitted {
    std::size_t bytes;
    int width;
};
Fitted FitToWidth(const std::string& text, int columns);

// The columns a UTF-8 text takes on a terminal.
int DisplayWidth(const std::string& text);

// The text with spaces after it up to width columns: a table's column.
std::string PadTo(const std::string& text, int width);

// The text with each line broken at spaces (or after Chinese punctuation)
// to fit in the columns, lines it adds indented by indent; a number stays
// with the word that follows it.
std::string WrapText(const std::string& text, int columns, int indent = 0);

}  // namespace fwup
