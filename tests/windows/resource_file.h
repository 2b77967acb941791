#pragma once

// Reads a compiled resource file (.res) back, byte by byte: its entries, and
// an extended dialog template with its controls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fwup::test {

using Bytes = std::vector<std::uint8_t>;

// A resource type or name: a number, or a text (kept as UTF-16 code units
// narrowed to ASCII, which is all this program uses).
struct ResourceKey {
    std::optional<std::uint16_t> number;
    std::string text;
    bool operator==(const ResourceKey&) const = default;
};

inline ResourceKey Numbered(std::uint16_t number) { return {number, {}}; }
inline ResourceKey Named(std::string text) { return {std::nullopt, std::move(text)}; }

struct ResourceEntry {
    ResourceKey type;
    ResourceKey name;
    Bytes data;
};

class ByteReader {
public:
    explicit ByteReader(const Bytes& bytes, std::size_t at = 0) : bytes_(bytes), at_(at) {}

    bool Failed() const { return failed_; }
    std::size_t Offset() const { return at_; }

    std::uint8_t U8() { return Take(1) ? bytes_[at_ - 1] : 0; }
    std::uint16_t U16() {
        if (!Take(2)) return 0;
        return static_cast<std::uint16_t>(bytes_[at_ - 2] | bytes_[at_ - 1] << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }

    void AlignTo4() { Take((4 - at_ % 4) % 4); }
    void Skip(std::size_t count) { Take(count); }

    // A zero-terminated UTF-16 text; code units above 0x7F become '?'.
    std::string Text() {
        std::string text;
        for (std::uint16_t unit = U16(); unit != 0 && !failed_; unit = U16())
            text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        return text;
    }

    // A number (0xFFFF, then the number) or a text.
    ResourceKey Key() {
        const std::size_t start = at_;
        if (U16() == 0xFFFF) return Numbered(U16());
        at_ = start;
        return Named(Text());
    }

    // Nothing (0x0000), a number (0xFFFF, number) or a text.
    ResourceKey OptionalKey() {
        const std::size_t start = at_;
        if (U16() == 0) return {};
        at_ = start;
        return Key();
    }

private:
    bool Take(std::size_t count) {
        if (failed_ || bytes_.size() - at_ < count) {
            failed_ = true;
            return false;
        }
        at_ += count;
        return true;
    }

    const Bytes& bytes_;
    std::size_t at_;
    bool failed_ = false;
};

// Every entry of a .res file but the empty one it starts with. Nothing when
// the file is malformed.
inline std::optional<std::vector<ResourceEntry>> ReadResourceFile(const Bytes& file) {
    std::vector<ResourceEntry> entries;
    for (std::size_t start = 0; start < file.size();) {
        ByteReader reader(file, start);
        const std::uint32_t dataSize = reader.U32();
        const std::uint32_t headerSize = reader.U32();
        ResourceEntry entry;
        entry.type = reader.Key();
        entry.name = reader.Key();
        if (reader.Failed() || headerSize < 8 || file.size() - start < headerSize ||
            file.size() - start - headerSize < dataSize)
            return std::nullopt;
        const std::size_t dataStart = start + headerSize;
        entry.data.assign(file.begin() + dataStart, file.begin() + dataStart + dataSize);
        if (dataSize != 0 || entry.type != Numbered(0)) entries.push_back(std::move(entry));
        start = (dataStart + dataSize + 3) / 4 * 4;  // entries start on 4-byte boundaries
    }
    return entries;
}

struct DialogControl {
    std::uint32_t helpId, exStyle, style;
    std::int16_t x, y, width, height;
    std::uint32_t id;
    ResourceKey windowClass;
    ResourceKey title;
};

struct DialogTemplate {
    std::uint16_t version, signature;
    std::uint32_t helpId, exStyle, style;
    std::int16_t x, y, width, height;
    ResourceKey menu, windowClass;
    std::string title;
    std::uint16_t pointSize, weight;
    std::uint8_t italic, charset;
    std::string typeface;
    std::vector<DialogControl> controls;
};

// An extended dialog template with its font (the style holds DS_SETFONT).
inline std::optional<DialogTemplate> ReadDialogTemplate(const Bytes& data) {
    ByteReader reader(data);
    DialogTemplate dialog;
    dialog.version = reader.U16();
    dialog.signature = reader.U16();
    dialog.helpId = reader.U32();
    dialog.exStyle = reader.U32();
    dialog.style = reader.U32();
    const std::uint16_t count = reader.U16();
    dialog.x = reader.S16();
    dialog.y = reader.S16();
    dialog.width = reader.S16();
    dialog.height = reader.S16();
    dialog.menu = reader.OptionalKey();
    dialog.windowClass = reader.OptionalKey();
    dialog.title = reader.Text();
    dialog.pointSize = reader.U16();
    dialog.weight = reader.U16();
    dialog.italic = reader.U8();
    dialog.charset = reader.U8();
    dialog.typeface = reader.Text();
    for (std::uint16_t i = 0; i < count; ++i) {
        reader.AlignTo4();
        DialogControl control;
        control.helpId = reader.U32();
        control.exStyle = reader.U32();
        control.style = reader.U32();
        control.x = reader.S16();
        control.y = reader.S16();
        control.width = reader.S16();
        control.height = reader.S16();
        control.id = reader.U32();
        control.windowClass = reader.Key();
        control.title = reader.Key();
        reader.Skip(reader.U16());  // creation data
        dialog.controls.push_back(control);
    }
    if (reader.Failed()) return std::nullopt;
    return dialog;
}

}  // namespace fwup::test
