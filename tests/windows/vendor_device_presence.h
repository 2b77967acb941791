#pragma once

// Makes a device in vendor mode present in the test's Wine prefix, or absent,
// as its driver's installation would: a device instance
// "USB\VID_2008&PID_7639\<serial>" with an interface of the USB device class,
// linked, so that the search for present interfaces lists it. Its pipes below
// the interface path are served elsewhere (vendor-pipe-bridge). The prefix
// keeps what is made here: each test says which devices it needs, and removes
// them after itself.

#include <windows.h>
#include <setupapi.h>

#include <cstring>
#include <string>

#include "platform/windows/interface_search.h"

namespace fwup::test {

inline constexpr char kVendorInstancePrefix[] = "USB\\VID_2008&PID_7639\\";

inline GUID UsbDeviceInterfaceClass() {
    const InterfaceClass& c = kGuidDevinterfaceUsbDevice;
    GUID guid{c.data1, c.data2, c.data3, {}};
    std::memcpy(guid.Data4, c.data4, sizeof guid.Data4);
    return guid;
}

// The interface of `device` marked as linked: its registry key below the
// interface class, "##?#<path without \\?\>\#<reference>\Control", value
// Linked = 1. Wide calls: the key's name is longer than the narrow ones take.
inline bool LinkInterface(const std::string& interfacePath, const std::string& reference) {
    const GUID guid = UsbDeviceInterfaceClass();
    HKEY classKey = SetupDiOpenClassRegKeyExA(&guid, KEY_ALL_ACCESS, DIOCR_INTERFACE, nullptr,
                                              nullptr);
    if (classKey == INVALID_HANDLE_VALUE) return false;
    std::string name = "##?#" + interfacePath.substr(4);
    if (!reference.empty()) name.resize(name.size() - reference.size() - 1);
    name += "\\#" + reference + "\\Control";
    const std::wstring wideName(name.begin(), name.end());
    HKEY control = nullptr;
    bool linked = RegCreateKeyExW(classKey, wideName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &control, nullptr) == ERROR_SUCCESS;
    if (linked) {
        const DWORD one = 1;
        linked = RegSetValueExW(control, L"Linked", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&one), sizeof one) == ERROR_SUCCESS;
        RegCloseKey(control);
    }
    RegCloseKey(classKey);
    return linked;
}

// Plugs the device in; its interface path (the system writes it in lower
// case), or empty when it could not be made. A reference string, when given,
// follows the path after a "\".
inline std::string PlugVendorDevice(const std::string& serial, const std::string& reference = "") {
    const GUID interfaceClass = UsbDeviceInterfaceClass();
    // The USB device setup class.
    const GUID usbClass{0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
    HDEVINFO set = SetupDiCreateDeviceInfoList(&usbClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) return {};
    std::string path;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    const std::string instance = kVendorInstancePrefix + serial;
    if (SetupDiCreateDeviceInfoA(set, instance.c_str(), &usbClass, nullptr, nullptr, 0, &device) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
        SetupDiCreateDeviceInterfaceA(set, &device, &interfaceClass,
                                      reference.empty() ? nullptr : reference.c_str(), 0,
                                      &interfaceData)) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &size, nullptr);
        std::string record(size, '\0');
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
        detail->cbSize = sizeof *detail;
        if (size >= sizeof *detail &&
            SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, size, nullptr, nullptr))
            path = detail->DevicePath;
    }
    SetupDiDestroyDeviceInfoList(set);
    if (path.empty() || !LinkInterface(path, reference)) return {};
    return path;
}

// Removes every device instance of the vendor's ids, with its interfaces,
// or only the one of that serial; true when none of them is left.
inline bool UnplugVendorDevices(const std::string& serial = "") {
    const GUID interfaceClass = UsbDeviceInterfaceClass();
    HDEVINFO set = SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    bool removed = true;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        char instance[512] = {};
        SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance, nullptr);
        const bool ours =
            serial.empty()
                ? std::strncmp(instance, kVendorInstancePrefix, sizeof kVendorInstancePrefix - 1) == 0
                : lstrcmpiA(instance, (kVendorInstancePrefix + serial).c_str()) == 0;
        if (ours) removed = SetupDiRemoveDevice(set, &device) && removed;
    }
    SetupDiDestroyDeviceInfoList(set);
    return removed;
}

}  // namespace fwup::test
