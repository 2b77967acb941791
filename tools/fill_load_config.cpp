// fill-load-config: the build's step after linking the Windows program.
//
//   fill-load-config PROGRAM MAP
//
// Points PROGRAM's load-configuration entry at its `_load_config_used`
// record, whose address the linker's MAP file gives, and rewrites its
// checksum. Exit status 0 done, 1 failed (PROGRAM unchanged), 2 wrong usage.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "pe_load_config.h"
#include "image/image_file.h"

namespace {

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    // Written beside it, then put in its place: never half a program.
    const std::string temporary = path + ".filling";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fill-load-config PROGRAM MAP\n");
        return 2;
    }
    const std::string program = argv[1];
    const std::string mapPath = argv[2];
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> map;
    std::string error;
    if (!fwup::ReadImageFile(program, file, error) || !fwup::ReadImageFile(mapPath, map, error)) {
        std::fprintf(stderr, "fill-load-config: %s\n", error.c_str());
        return 1;
    }
    const auto address = fwup::pe::RecordAddressFromMap(
        std::string_view(reinterpret_cast<const char*>(map.data()), map.size()));
    if (!address) {
        std::fprintf(stderr, "fill-load-config: %s lists no _load_config_used\n", mapPath.c_str());
        return 1;
    }
    const fwup::pe::FillOutcome outcome = fwup::pe::FillLoadConfigEntry(file, *address);
    if (outcome.result != fwup::pe::FillResult::kFilled) {
        std::fprintf(stderr, "fill-load-config: %s: %s\n", program.c_str(),
                     fwup::pe::Describe(outcome.result));
        return 1;
    }
    if (!WriteWholeFile(program, file)) {
        std::fprintf(stderr, "fill-load-config: cannot write %s\n", program.c_str());
        return 1;
    }
    std::printf("%s: load configuration at RVA 0x%X, 0x%X bytes\n", program.c_str(), outcome.rva,
                outcome.size);
    return 0;
}
