#include "platform/windows/interface_search.h"

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

void ForEachMemberIndex(const std::function<MemberAt(std::uint32_t memberIndex)>& at) {
    for (std::uint32_t memberIndex = 0; memberIndex < kMostInterfaceMembers; ++memberIndex)
        if (at(memberIndex) == MemberAt::End) return;
}

}  // namespace fwup
