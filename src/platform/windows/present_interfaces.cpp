#include "platform/windows/present_interfaces.h"

#include <string>

namespace fwup {

GUID AsGuid(const InterfaceClass& interfaceClass) {
    GUID guid{interfaceClass.data1, interfaceClass.data2, interfaceClass.data3, {}};
    for (int i = 0; i < 8; ++i) guid.Data4[i] = interfaceClass.data4[i];
    return guid;
}

void ForEachPresentInterface(const InterfaceClass& interfaceClass, const InterfaceVisit& visit) {
    const GUID guid = AsGuid(interfaceClass);
    // One set for the whole walk: a set made again for each index may list
    // a device twice, or miss one, as devices come and go meanwhile.
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return;
    ForEachMemberIndex([&](std::uint32_t index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &interfaceData))
            return GetLastError() == ERROR_NO_MORE_ITEMS ? MemberAt::End : MemberAt::Unreadable;
        // The first call fails for want of a record; only the size it reports counts.
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
        if (!InterfaceDetailSizeUsable(size)) return MemberAt::Unreadable;
        std::string record(size, '\0');
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr, &device))
            return MemberAt::Unreadable;
        return visit(set, detail->DevicePath, device) ? MemberAt::Visited : MemberAt::End;
    });
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace fwup
