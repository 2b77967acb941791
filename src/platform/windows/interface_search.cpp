#include "platform/windows/interface_search.h"

#include <array>

namespace fwup {

bool InterfaceDetailSizeUsable(std::uint32_t requiredSize) {
    return requiredSize >= kInterfaceDetailHeadSize;
}

bool CopyInterfacePath(const char* detailPath, std::uint32_t requiredSize, char* path,
                       std::uint32_t capacity) {
    if (!InterfaceDetailSizeUsable(requiredSize) || capacity < requiredSize) return false;
    const std::uint32_t room = requiredSize - kInterfaceDetailPathOffset;  // path and its zero
    std::uint32_t i = 0;
    for (; i + 1 < room && detailPath[i] != '\0'; ++i) path[i] = detailPath[i];
    path[i] = '\0';
    return true;
}

bool InterfacePathMatches(std::string_view path) {
    return path.find(kVendorIdText.View()) != std::string_view::npos &&
           path.find(kProductIdText.View()) != std::string_view::npos;
}

std::string ComposePipePath(std::string_view devicePath, std::string_view pipeName) {
    std::string pipePath;
    pipePath.reserve(devicePath.size() + 1 + pipeName.size());
    pipePath.append(devicePath).append(kPipeSeparator).append(pipeName);
    return pipePath;
}

std::vector<std::string> FindMatchingInterfacePaths(const InterfacePathAt& pathAt) {
    std::vector<std::string> matching;
    std::array<char, kInterfacePathBufferSize> path{};
    for (std::uint32_t memberIndex = 0;; ++memberIndex) {
        path.fill('\0');
        if (!pathAt(memberIndex, path.data(), kInterfacePathCapacity)) return matching;
        // The capacity leaves the last byte zero, so the path always ends.
        if (InterfacePathMatches(path.data())) matching.emplace_back(path.data());
    }
}

}  // namespace fwup
