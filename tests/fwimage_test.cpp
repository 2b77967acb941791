// The fwimage and make-stand-in-image tools, run as a user runs them.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_images.h"

namespace fwup::test {
namespace {

struct ToolRun {
    int status;
    std::string output;  // stdout and stderr
};

ToolRun RunTool(const std::string& commandLine) {
    ToolRun run{-1, {}};
    std::FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    while (std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) run.output.append(chunk, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FwimageTool : public testing::Test {
protected:
    std::string WriteImage(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    ToolRun Fwimage(const std::string& arguments) { return RunTool(std::string(FWIMAGE_PATH) + " " + arguments); }
};

TEST_F(FwimageTool, FramesOfTheSmallImage) {
    const ToolRun run = Fwimage("frames " + WriteImage("small.bin", SmallImage()));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "W EF 01 02 01 20 00\n"
              "W 58 A7 00 80 03 1C D0 00 FC 78 56 11 11 20 1D D0 00 FC 78 56 44 44 20 20 D0 00 FC 03 20 00 80 20\n"
              "R 4\n"
              "W EF 01 02 02 07 00\n"
              "W 00 20 00 80\n"
              "W 61 62 63\n"
              "R 4\n"
              "W EF 01 02 08 03 00\n"
              "W 4E 0C 01\n"
              "R 4\n"
              "result 0\n");
}

TEST_F(FwimageTool, FramesOfARefusedImageIsOnlyItsResult) {
    Bytes image = SmallImage();
    image[0] = 0;
    const ToolRun run = Fwimage("frames " + WriteImage("refused.bin", image));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "result 3\n");
}

TEST_F(FwimageTool, CheckPassesTheEmbeddedImageAndFailsBadOnes) {
    Bytes noTrailer = SmallImage();
    noTrailer.resize(20);
    // A second segment that runs past the end: its bytes would never be sent.
    Bytes truncated = MakeImage({{0x1000, {1, 2, 3}}, {0x2000, Pattern(32)}});
    truncated.resize(truncated.size() - 10);
    const struct {
        const char* name;
        Bytes image;
        int status;
        const char* says;
    } cases[] = {
        {"embedded.bin", EmbeddedImage(), 0, ": ok: 4 segments"},
        {"no-trailer.bin", noTrailer, 1, "flash nothing"},
        // A begin and an end command with nothing between them.
        {"empty-segments.bin", MakeImage({{0x1000, {}}, {0x2000, {}}}), 1, "flash nothing"},
        {"truncated.bin", truncated, 1, "never sent"},
        {"bad-magic.bin", {1, 2, 3, 4, 5, 6, 7, 8}, 1, "refused"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Fwimage("check " + WriteImage(c.name, c.image));
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.name << ": " << run.output;
    }
}

TEST_F(FwimageTool, InfoOfTheEmbeddedImage) {
    const ToolRun run = Fwimage(std::string("info ") + FIRMWARE_IMAGE_PATH);
    EXPECT_EQ(run.status, 0);
    for (const char* line : {"accepted: yes\n", "end address: 0x8000D218\n", "data commands: 14\n",
                             "checksum: 0x5DC6\n",
                             "segment 3: load address 0x8000D164, length 180, header at 45445, data at 45453\n",
                             "bytes never sent: 5 (reserved byte 1, after the last segment 4)\n"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
}

// Data pieces that look like command headers are still data.
TEST_F(FwimageTool, InfoCountsTheDataCommandsOfTheWalk) {
    const Bytes headerLike{0xEF, 0x01, 0x02, 0x02, 0x06, 0x00};
    Bytes chunkThenHeaderLike = Pattern(MaxChunkSize);
    chunkThenHeaderLike.insert(chunkThenHeaderLike.end(), headerLike.begin(), headerLike.end());
    const struct {
        Bytes image;
        const char* line;
    } cases[] = {
        {MakeImage({{0x1000, headerLike}}), "data commands: 1\n"},
        {MakeImage({{0x1000, chunkThenHeaderLike}}), "data commands: 2\n"},
        {MakeImage({{0x1000, {}}, {0x2000, {1, 2, 3}}}), "data commands: 1\n"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const ToolRun run = Fwimage("info " + WriteImage("count-" + std::to_string(i) + ".bin", cases[i].image));
        EXPECT_EQ(run.status, 0) << i;
        EXPECT_NE(run.output.find(cases[i].line), std::string::npos) << i << ": " << run.output;
    }
}

TEST_F(FwimageTool, UnreadableFilesAndUsageErrors) {
    // Sparse: nothing of it is written to the disk.
    const std::string tooLarge =
        (std::filesystem::path(testing::TempDir()) / ("too-large-" + std::to_string(getpid()) + ".bin")).string();
    std::ofstream(tooLarge).close();
    std::filesystem::resize_file(tooLarge, kLargestImageSize + 1);
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {"/nonexistent/image.bin", "No such file or directory"},
        {"/dev/zero", "not a regular file"},
        {testing::TempDir(), "not a regular file"},
        {tooLarge, "16777217 bytes, more than the 16777216 of the largest image"},
        // The kernel gives this file the size 0, then delivers its text.
        {"/proc/self/status", "its size changed while it was read"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Fwimage("info " + c.path);
        EXPECT_EQ(run.status, 1) << c.path;
        EXPECT_EQ(run.output, "fwimage: cannot read " + c.path + ": " + c.reason + "\n");
    }
    std::filesystem::remove(tooLarge);
    EXPECT_EQ(Fwimage("").status, 2);
    EXPECT_EQ(Fwimage("flash x").status, 2);
}

TEST(StandInImage, CommittedImageIsWhatTheToolMakes) {
    const std::string made = (std::filesystem::path(testing::TempDir()) / "stand-in.bin").string();
    ASSERT_EQ(RunTool(std::string(MAKE_STAND_IN_IMAGE_PATH) + " " + made).status, 0);
    Bytes bytes;
    std::string error;
    ASSERT_TRUE(ReadImageFile(made, bytes, error)) << error;
    Bytes committed;
    ASSERT_TRUE(ReadImageFile(STAND_IN_IMAGE_PATH, committed, error)) << error;
    EXPECT_EQ(bytes, committed);
}

}  // namespace
}  // namespace fwup::test
