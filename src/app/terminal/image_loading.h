#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/terminal/terminal_texts.h"
#include "image/image_description.h"

namespace fwup {

// An --image file, read and checked: the image over its bytes, described,
// or the sentence that refuses it. The description points into the bytes it
// holds, so it is neither copied nor moved.
struct LoadedImage {
    LoadedImage() = default;
    LoadedImage(const LoadedImage&) = delete;
    LoadedImage& operator=(const LoadedImage&) = delete;

    std::vector<std::uint8_t> bytes;
    ImageDescription image;
    std::string refusal;  // empty when the image is taken
    bool unreadable = false;  // refused because the file could not be read
};

// The caller keeps the result alive as long as its image is used.
void LoadImageFile(const std::string& path, Language language, LoadedImage& loaded);

// The image line of info and --version: size, end address, checksum, and
// whether it is the stand-in.
std::string ImageLine(const ImageDescription& image, Language language);

}  // namespace fwup
