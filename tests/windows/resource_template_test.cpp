// The compiled resources, read back field by field.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "resource_file.h"

namespace fwup::test {
namespace {

constexpr std::uint16_t kRtIcon = 3, kRtDialog = 5, kRtGroupIcon = 14, kRtManifest = 24;

Bytes ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class Resources : public testing::Test {
protected:
    void SetUp() override {
        const Bytes file = ReadFile(RESOURCE_FILE_PATH);
        ASSERT_FALSE(file.empty()) << RESOURCE_FILE_PATH;
        std::optional<std::vector<ResourceEntry>> read = ReadResourceFile(file);
        ASSERT_TRUE(read.has_value());
        entries_ = std::move(*read);
    }

    const ResourceEntry* Find(const ResourceKey& type, const ResourceKey& name) const {
        for (const ResourceEntry& entry : entries_)
            if (entry.type == type && entry.name == name) return &entry;
        return nullptr;
    }

    std::vector<ResourceEntry> entries_;
};

TEST_F(Resources, DialogTemplateIsExactlyTheLayoutTable) {
    const ResourceEntry* entry = Find(Numbered(kRtDialog), Numbered(129));
    ASSERT_NE(entry, nullptr);
    const std::optional<DialogTemplate> dialog = ReadDialogTemplate(entry->data);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->version, 1);
    EXPECT_EQ(dialog->signature, 0xFFFF);  // the extended template
    EXPECT_EQ(dialog->helpId, 0u);
    EXPECT_EQ(dialog->exStyle, 0u);
    EXPECT_EQ(dialog->style, 0x00CA0040u);  // caption, system menu, minimise box, font
    EXPECT_EQ(dialog->x, 0);
    EXPECT_EQ(dialog->y, 0);
    EXPECT_EQ(dialog->width, 241);
    EXPECT_EQ(dialog->height, 145);
    EXPECT_EQ(dialog->menu, ResourceKey{});
    EXPECT_EQ(dialog->windowClass, ResourceKey{});
    EXPECT_EQ(dialog->title, "Update");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 0);
    EXPECT_EQ(dialog->italic, 0);
    EXPECT_EQ(dialog->charset, 0);
    EXPECT_EQ(dialog->typeface, "MS Sans Serif");

    constexpr std::uint16_t kButton = 0x0080, kStatic = 0x0082;
    struct Expected {
        std::uint32_t id;
        std::uint16_t windowClass;
        std::int16_t x, y, width, height;
        std::uint32_t style, exStyle;
    };
    const Expected expected[] = {
        {1, kButton, 96, 117, 50, 14, 0x50010000, 0},
        {2, kButton, 177, 117, 50, 14, 0x50010000, 0},
        {1002, kStatic, 7, 88, 227, 14, 0x50820000, 0x00000200},
        {1003, kButton, 15, 117, 50, 14, 0x50010000, 0},
        {1005, kStatic, 16, 26, 189, 8, 0x50020000, 0},
        {1006, kStatic, 16, 42, 211, 8, 0x50020000, 0},
        {1007, kStatic, 16, 59, 189, 8, 0x50020000, 0},
        {1004, kStatic, 16, 11, 189, 8, 0x50020000, 0},
    };
    ASSERT_EQ(dialog->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const DialogControl& control = dialog->controls[i];
        SCOPED_TRACE(testing::Message() << "control #" << i + 1 << ", id " << expected[i].id);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.windowClass, Numbered(expected[i].windowClass));
        EXPECT_EQ(control.x, expected[i].x);
        EXPECT_EQ(control.y, expected[i].y);
        EXPECT_EQ(control.width, expected[i].width);
        EXPECT_EQ(control.height, expected[i].height);
        EXPECT_EQ(control.style, expected[i].style);
        EXPECT_EQ(control.exStyle, expected[i].exStyle);
        EXPECT_EQ(control.helpId, 0u);
    }
    EXPECT_EQ(dialog->controls[2].title, Named(""));  // the status line starts empty
}

TEST_F(Resources, IconHasA32And16PixelImageIn16ColoursThatDrawSomething) {
    const ResourceEntry* group = Find(Numbered(kRtGroupIcon), Numbered(128));
    ASSERT_NE(group, nullptr);
    ByteReader reader(group->data);
    EXPECT_EQ(reader.U16(), 0);
    EXPECT_EQ(reader.U16(), 1);  // icons
    const std::uint16_t count = reader.U16();
    ASSERT_EQ(count, 2);
    std::set<int> sizes;
    for (int i = 0; i < count; ++i) {
        const int width = reader.U8();
        const int height = reader.U8();
        const int colours = reader.U8();
        reader.Skip(1 + 2);  // reserved, planes
        const std::uint16_t bitCount = reader.U16();
        reader.Skip(4);  // bytes in the image
        const std::uint16_t imageId = reader.U16();
        SCOPED_TRACE(width);
        sizes.insert(width);
        EXPECT_EQ(height, width);
        EXPECT_EQ(colours, 16);
        EXPECT_EQ(bitCount, 4);

        const ResourceEntry* image = Find(Numbered(kRtIcon), Numbered(imageId));
        ASSERT_NE(image, nullptr);
        ByteReader header(image->data);
        EXPECT_EQ(header.U32(), 40u);
        EXPECT_EQ(header.U32(), static_cast<std::uint32_t>(width));
        EXPECT_EQ(header.U32(), static_cast<std::uint32_t>(2 * width));  // colours and mask
        header.Skip(2);
        EXPECT_EQ(header.U16(), 4);
        // Not a blank square: several colours, some pixels see-through.
        const std::size_t colourBytes = static_cast<std::size_t>(width) * width / 2;
        const std::size_t maskStart = 40 + 64 + colourBytes;
        ASSERT_GE(image->data.size(), maskStart);
        std::set<int> used;
        for (std::size_t at = 40 + 64; at < maskStart; ++at) {
            used.insert(image->data[at] >> 4);
            used.insert(image->data[at] & 0x0F);
        }
        EXPECT_GE(used.size(), 4u);
        const bool someTransparent = std::any_of(image->data.begin() + maskStart,
                                                 image->data.end(), [](auto b) { return b != 0; });
        EXPECT_TRUE(someTransparent);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

// The manifest as Windows reads it: an activation context made from it. It
// asks for the administrator (Clear opens the volume raw) and keeps the
// dependency on the common controls 6.
TEST_F(Resources, ManifestParsesAsksForTheAdministratorAndKeepsCommonControls6) {
    const ResourceEntry* manifest = Find(Numbered(kRtManifest), Numbered(1));
    ASSERT_NE(manifest, nullptr);
    const std::string text(manifest->data.begin(), manifest->data.end());
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                             "processorArchitecture=\"" MANIFEST_ARCHITECTURE "\"",
                             "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\"",
                             "type=\"win32\""})
        EXPECT_NE(text.find(part), std::string::npos) << part;

    char folder[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "fwm", 0, path), 0u);
    {
        std::ofstream file(path, std::ios::binary);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.lpSource = path;
    HANDLE context = CreateActCtxA(&request);
    const DWORD error = GetLastError();
    DeleteFileA(path);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse: " << error;

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
    EXPECT_EQ(level.UiAccess, 0u);

    // Assembly 1 is the program's own; the common controls follow, resolved.
    // Each record is followed by its texts.
    alignas(8) unsigned char buffer[4096] = {};
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, ActivationContextDetailedInformation, buffer,
                             sizeof buffer, nullptr));
    const DWORD assemblies =
        reinterpret_cast<ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer)->ulAssemblyCount;
    const std::string architecture = MANIFEST_ARCHITECTURE;
    const std::wstring wanted = L"Microsoft.Windows.Common-Controls,processorArchitecture=\"" +
                                std::wstring(architecture.begin(), architecture.end()) +
                                L"\",publicKeyToken=\"6595b64144ccf1df\",type=\"win32\",version=\"6.";
    bool found = false;
    for (DWORD index = 2; index <= assemblies; ++index) {
        const auto* assembly =
            reinterpret_cast<ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer);
        found = found || (QueryActCtxW(0, context, &index,
                                       AssemblyDetailedInformationInActivationContext, buffer,
                                       sizeof buffer, nullptr) &&
                          std::wstring(assembly->lpAssemblyEncodedAssemblyIdentity).rfind(wanted, 0) == 0);
    }
    EXPECT_TRUE(found);
    ReleaseActCtx(context);
}

TEST_F(Resources, FirmwareImageIsTheConfiguredFileAsDataResource201) {
    const ResourceEntry* image = Find(Named("DATA"), Numbered(201));
    ASSERT_NE(image, nullptr);
    const Bytes file = ReadFile(FIRMWARE_IMAGE_PATH);
    ASSERT_FALSE(file.empty()) << FIRMWARE_IMAGE_PATH;
    EXPECT_TRUE(image->data == file);
}

TEST_F(Resources, NothingElseIsCarried) {
    std::set<std::pair<std::string, int>> carried;
    for (const ResourceEntry& entry : entries_) {
        const std::string type = entry.type.number ? std::to_string(*entry.type.number) : entry.type.text;
        carried.insert({type, entry.name.number.value_or(-1)});
    }
    // The icon's two images are numbered by the resource compiler.
    EXPECT_EQ(carried, (std::set<std::pair<std::string, int>>{
                           {"14", 128}, {"3", 1}, {"3", 2}, {"5", 129}, {"24", 1}, {"DATA", 201}}));
}

}  // namespace
}  // namespace fwup::test
