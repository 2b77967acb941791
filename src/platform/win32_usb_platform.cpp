#include "platform/win32_usb_platform.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <memory>
#include <new>

#include "platform/interface_detail.h"

namespace fwup {
namespace {

// The records the device search hands to SetupAPI, as the 32-bit program sees them.
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == kInterfaceDetailHeadSize);
#endif
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) ==
              kInterfaceDetailPathOffset);
static_assert(sizeof(GUID) == sizeof(InterfaceClass));

HANDLE AsHandle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

GUID AsGuid(const InterfaceClass& interfaceClass) {
    GUID guid{interfaceClass.data1, interfaceClass.data2, interfaceClass.data3, {}};
    for (int i = 0; i < 8; ++i) guid.Data4[i] = interfaceClass.data4[i];
    return guid;
}

// The path of the interface at memberIndex of an enumerated set.
bool CopyPathAt(HDEVINFO set, const GUID& guid, DWORD memberIndex, char* path,
                std::uint32_t capacity) {
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, memberIndex, &interfaceData))
        return false;
    // This call fails for want of a record; only the size it reports counts.
    DWORD requiredSize = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &requiredSize, nullptr);
    if (!InterfaceDetailSizeUsable(requiredSize)) return false;
    std::unique_ptr<std::uint8_t[]> record(new (std::nothrow) std::uint8_t[requiredSize]());
    if (!record) return false;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, requiredSize, nullptr,
                                          nullptr))
        return false;
    return CopyInterfacePath(detail->DevicePath, requiredSize, path, capacity);
}

// Until a cancelled transfer has finished, the platform may still write the
// record and the buffer, and both belong to the caller: wait for it.
void CancelAndWait(HANDLE pipe, OVERLAPPED& overlapped) {
    CancelIo(pipe);
    DWORD ignored = 0;
    GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
}

}  // namespace

bool Win32UsbPlatform::GetDeviceInterfacePath(const InterfaceClass& interfaceClass,
                                              std::uint32_t memberIndex, char* path,
                                              std::uint32_t capacity) {
    const GUID guid = AsGuid(interfaceClass);
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return false;
    const bool copied = CopyPathAt(set, guid, memberIndex, path, capacity);
    SetupDiDestroyDeviceInfoList(set);
    return copied;
}

PlatformHandle Win32UsbPlatform::OpenPipe(const char* pipePath) {
    HANDLE pipe = CreateFileA(pipePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    return reinterpret_cast<PlatformHandle>(pipe);
}

void Win32UsbPlatform::ClosePipe(PlatformHandle pipe) {
    CloseHandle(AsHandle(pipe));
}

bool Win32UsbPlatform::ReadTransfer(PlatformHandle pipe, std::uint8_t* buffer,
                                    std::uint32_t count, std::uint32_t* transferred,
                                    std::uint32_t timeoutMs) {
    return Transfer(Direction::Read, pipe, buffer, count, transferred, timeoutMs);
}

bool Win32UsbPlatform::WriteTransfer(PlatformHandle pipe, const std::uint8_t* buffer,
                                     std::uint32_t count, std::uint32_t* transferred,
                                     std::uint32_t timeoutMs) {
    // WriteFile only reads the buffer.
    return Transfer(Direction::Write, pipe, const_cast<std::uint8_t*>(buffer), count,
                    transferred, timeoutMs);
}

std::uint32_t Win32UsbPlatform::WaitForTransfer(PlatformHandle pipe, std::uint32_t timeoutMs) {
    return WaitForSingleObject(AsHandle(pipe), timeoutMs);
}

bool Win32UsbPlatform::Transfer(Direction direction, PlatformHandle pipe, std::uint8_t* buffer,
                                std::uint32_t count, std::uint32_t* transferred,
                                std::uint32_t timeoutMs) {
    HANDLE handle = AsHandle(pipe);
    OVERLAPPED overlapped{};
    overlapped.Offset = count;  // the driver's pipes have no file position
    DWORD moved = 0;
    const BOOL started = direction == Direction::Read
                             ? ReadFile(handle, buffer, count, &moved, &overlapped)
                             : WriteFile(handle, buffer, count, &moved, &overlapped);
    bool completed = false;
    if (started) {
        // Done at once. The count comes from the record: on an overlapped
        // handle the call's own count need not be filled in.
        GetOverlappedResult(handle, &overlapped, &moved, FALSE);
        completed = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        switch (WaitForTransfer(pipe, timeoutMs)) {
            case WAIT_OBJECT_0:
                completed = GetOverlappedResult(handle, &overlapped, &moved, TRUE) != FALSE;
                break;
            case WAIT_TIMEOUT:
                // One poll: the transfer may have finished after the limit.
                if (GetOverlappedResult(handle, &overlapped, &moved, FALSE))
                    completed = true;
                else if (GetLastError() == ERROR_IO_INCOMPLETE)
                    CancelAndWait(handle, overlapped);
                // Any other error: the transfer ended and nothing is pending.
                break;
            default:  // the wait failed; the transfer may still be running
                CancelAndWait(handle, overlapped);
                break;
        }
    }
    *transferred = moved;
    return completed;
}

}  // namespace fwup
