// Writes the program's icon: a chip with a green arrow pointing down into it,
// the firmware going onto the device. Two images, 32 x 32 and 16 x 16, each
// with the 16 standard colours and a transparency mask, drawn from the same
// shapes at two scales so that the small one stays crisp.
//
// usage: make-icon OUTPUT.ico

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/little_endian.h"

namespace {

using fwup::StoreLe16;
using fwup::StoreLe32;

// The 16 standard colours as red, green, blue, in their usual order.
constexpr std::array<std::array<std::uint8_t, 3>, 16> kPalette{{
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
}};
constexpr std::uint8_t kBlack = 0, kDarkGreen = 2, kGray = 8, kLime = 10, kWhite = 15;
constexpr int kTransparent = -1;

struct Box {
    int left, top, right, bottom;  // inclusive
    bool Holds(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// Where the shapes lie at one size.
struct Layout {
    int size;
    Box shaft;           // the arrow's stem
    int headTop;         // the head's widest row; it narrows by one pixel a side per row
    int headLeft, headRight;
    Box body;            // the chip
    std::vector<int> pinRows;
    int pinHeight;
    Box notch;           // the pin-1 mark
};

bool InArrow(const Layout& l, int x, int y) {
    if (l.shaft.Holds(x, y)) return true;
    const int k = y - l.headTop;
    return k >= 0 && x >= l.headLeft + k && x <= l.headRight - k;
}

bool InPin(const Layout& l, int x, int y) {
    if (l.body.Holds(x, y)) return false;
    for (int row : l.pinRows)
        if (y >= row && y < row + l.pinHeight) return x >= 0 && x < l.size;
    return false;
}

// A shape's pixel is outline when one of its four neighbours is outside it.
template <typename Inside>
bool OnEdge(Inside inside, int x, int y) {
    return !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
}

int ColourAt(const Layout& l, int x, int y) {
    auto arrow = [&](int ax, int ay) { return InArrow(l, ax, ay); };
    if (arrow(x, y)) return OnEdge(arrow, x, y) ? kDarkGreen : kLime;
    if (l.notch.Holds(x, y)) return kWhite;
    if (l.body.Holds(x, y)) return kBlack;
    if (InPin(l, x, y)) return kGray;
    return kTransparent;
}

const Layout kLarge{32, {12, 0, 19, 9}, 9, 4, 27, {6, 15, 25, 30}, {18, 22, 26}, 2, {8, 27, 9, 28}};
const Layout kSmall{16, {6, 0, 9, 4}, 4, 1, 14, {3, 7, 12, 15}, {9, 12}, 2, {4, 13, 4, 13}};

// One image as the icon file holds it: header, palette, colour rows and mask
// rows, both bottom-up, each row padded to four bytes.
std::vector<std::uint8_t> IconImage(const Layout& l) {
    const int colourStride = (l.size * 4 + 31) / 32 * 4;
    const int maskStride = (l.size + 31) / 32 * 4;
    std::vector<std::uint8_t> image(40 + 16 * 4 + l.size * (colourStride + maskStride), 0);
    std::uint8_t* header = image.data();
    StoreLe32(header, 40);
    StoreLe32(header + 4, static_cast<std::uint32_t>(l.size));
    StoreLe32(header + 8, static_cast<std::uint32_t>(l.size * 2));  // colour and mask
    StoreLe16(header + 12, 1);
    StoreLe16(header + 14, 4);
    StoreLe32(header + 20, static_cast<std::uint32_t>(l.size * (colourStride + maskStride)));
    std::uint8_t* palette = header + 40;
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
        palette[i * 4] = kPalette[i][2];
        palette[i * 4 + 1] = kPalette[i][1];
        palette[i * 4 + 2] = kPalette[i][0];
    }
    std::uint8_t* colours = palette + 16 * 4;
    std::uint8_t* mask = colours + l.size * colourStride;
    for (int y = 0; y < l.size; ++y) {
        const int row = l.size - 1 - y;
        for (int x = 0; x < l.size; ++x) {
            const int colour = ColourAt(l, x, y);
            if (colour == kTransparent) {
                mask[row * maskStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                continue;
            }
            colours[row * colourStride + x / 2] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? colour << 4 : colour);
        }
    }
    return image;
}

std::vector<std::uint8_t> IconFile() {
    const std::vector<std::uint8_t> images[] = {IconImage(kLarge), IconImage(kSmall)};
    const Layout* layouts[] = {&kLarge, &kSmall};
    std::vector<std::uint8_t> file(6 + 16 * 2, 0);
    StoreLe16(&file[2], 1);  // an icon
    StoreLe16(&file[4], 2);
    std::uint32_t offset = static_cast<std::uint32_t>(file.size());
    for (int i = 0; i < 2; ++i) {
        std::uint8_t* entry = &file[6 + 16 * i];
        entry[0] = static_cast<std::uint8_t>(layouts[i]->size);
        entry[1] = static_cast<std::uint8_t>(layouts[i]->size);
        entry[2] = 16;  // colours
        StoreLe16(entry + 4, 1);
        StoreLe16(entry + 6, 4);
        StoreLe32(entry + 8, static_cast<std::uint32_t>(images[i].size()));
        StoreLe32(entry + 12, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon OUTPUT.ico\n");
        return 2;
    }
    const std::vector<std::uint8_t> file = IconFile();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
