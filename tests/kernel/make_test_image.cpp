// Writes a firmware image for the tests under a real kernel: a made-up
// program in one 64 KiB segment, so that a download takes sixteen data
// commands and a fault in the middle of it happens while data still flows.
// It is neither the device's image nor the stand-in.
//
// usage: fwup-make-test-image OUTPUT

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fwup-make-test-image OUTPUT\n");
        return 2;
    }
    constexpr std::uint32_t kLength = 64 * 1024;
    constexpr std::uint32_t kLoadAddress = 0x80002000;
    std::vector<std::uint8_t> image = {0x78, 0x56, 0x34, 0x12,  // magic
                                       0x00, 0x20, 0x00, 0x80,  // begin word
                                       0x00};                   // reserved
    auto put32 = [&image](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) image.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    put32(kLength);
    put32(kLoadAddress);
    for (std::uint32_t i = 0; i < kLength; ++i) image.push_back(static_cast<std::uint8_t>(i * 7 + (i >> 8)));
    put32(0);  // the trailer
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(image.data(), 1, image.size(), file) != image.size() ||
        std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
