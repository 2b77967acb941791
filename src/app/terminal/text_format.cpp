#include "app/terminal/text_format.h"

#include <algorithm>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <vector>

namespace fwup {
namespace {

bool EndsInNumber(const std::string& text) {
    const std::size_t start = text.find_last_of(' ') + 1;  // 0 where there is none
    if (start == text.size()) return false;
    for (std::size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// The line in pieces, each ending where the line may be broken: after a
// space that does not follow a number, or after Chinese punctuation.
std::vector<std::string> BreakablePieces(const std::string& line) {
    static const char* const kPunctuation[] = {"，", "；", "、", "。", "："};
    std::vector<std::string> pieces;
    std::string piece;
    for (std::size_t i = 0; i < line.size();) {
        const unsigned char lead = static_cast<unsigned char>(line[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const std::string character = line.substr(i, length);
        bool breaks = character == " " && !EndsInNumber(piece);
        for (const char* mark : kPunctuation) breaks = breaks || character == mark;
        piece += character;
        i += length;
        if (breaks) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

std::string TrimEnd(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string WrapLine(const std::string& line, int columns, int indent) {
    std::string wrapped;
    std::string current;
    for (const std::string& piece : BreakablePieces(line)) {
        const bool started = !TrimEnd(current).empty();
        if (started && DisplayWidth(TrimEnd(current + piece)) > columns) {
            wrapped += TrimEnd(current) + "\n";
            current = std::string(static_cast<std::size_t>(indent), ' ');
        }
        current += piece;
    }
    return wrapped + TrimEnd(current);
}

}  // namespace

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

Fitted FitToWidth(const std::string& text, int columns) {
    Fitted fitted{0, 0};
    for (; fitted.bytes < text.size(); ++fitted.bytes) {
        const unsigned char byte = static_cast<unsigned char>(text[fitted.bytes]);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte
        const int next = fitted.width + (byte >= 0xE0 ? 2 : 1);
        if (next > columns) break;
        fitted.width = next;
    }
    return fitted;
}

int DisplayWidth(const std::string& text) {
    return FitToWidth(text, INT_MAX).width;
}

std::string WrapText(const std::string& text, int columns, int indent) {
    std::string wrapped;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        wrapped += WrapLine(text.substr(start, end - start), columns, indent);
        if (end == std::string::npos) return wrapped;
        wrapped += "\n";
        start = end + 1;
    }
}

std::string PadTo(const std::string& text, int width) {
    return text + std::string(static_cast<std::size_t>(std::max(0, width - DisplayWidth(text))), ' ');
}

}  // namespace fwup
