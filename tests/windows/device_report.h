#pragma once

// What a simulated device holds after a download, read from the report it
// writes for a test in another process (per run of bytes: address and length,
// 4 bytes each, little-endian, then the bytes), against an image file.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "image/firmware_image.h"

namespace fwup::test {

inline std::vector<std::uint8_t> ReadWholeFile(const char* path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE* file = std::fopen(path, "rb")) {
        int byte;
        while ((byte = std::fgetc(file)) != EOF) bytes.push_back(static_cast<std::uint8_t>(byte));
        std::fclose(file);
    }
    return bytes;
}

// The image's segments lie one after another on the device: it holds them as
// one run. The report may be written just after the outcome shows.
inline void ExpectDeviceHoldsTheImage(const char* imagePath, const char* reportPath) {
    const std::vector<std::uint8_t> image = ReadWholeFile(imagePath);
    std::vector<std::uint8_t> expected;
    std::uint32_t firstAddress = 0;
    WalkSegments({image.data(), static_cast<std::uint32_t>(image.size())},
                 [&](const ImageSegment& segment) {
                     if (expected.empty()) firstAddress = segment.loadAddress;
                     expected.insert(expected.end(), segment.data, segment.data + segment.length);
                     return true;
                 });
    ASSERT_FALSE(expected.empty()) << imagePath;
    std::vector<std::uint8_t> report;
    for (DWORD waited = 0; waited < 10000 && report.size() < 8 + expected.size(); waited += 50) {
        Sleep(50);
        report = ReadWholeFile(reportPath);
    }
    ASSERT_EQ(report.size(), 8 + expected.size());  // one contiguous run
    EXPECT_EQ(ReadLe32(report.data()), firstAddress);
    EXPECT_EQ(ReadLe32(report.data() + 4), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), report.begin() + 8));
}

}  // namespace fwup::test
