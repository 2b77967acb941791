#include "platform/interface_detail.h"

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

}  // namespace fwup
