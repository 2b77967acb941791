#include "platform/windows/win32_usb_link.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>

#include "platform/windows/device_location.h"
#include "platform/windows/interface_search.h"
#include "platform/windows/present_interfaces.h"

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

LinkStatus StatusOfError(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: return LinkStatus::NoPermission;
    case ERROR_SHARING_VIOLATION: return LinkStatus::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return LinkStatus::NotFound;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_COMMAND: return LinkStatus::DeviceGone;
    case ERROR_SEM_TIMEOUT:
    case ERROR_OPERATION_ABORTED: return LinkStatus::TimedOut;
    default: return LinkStatus::Failed;
    }
}

// A device property as text; empty where the system has none.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    char value[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(value), sizeof value - 1,
                                           nullptr) ||
        type != REG_SZ)
        return {};
    return value;
}

// The model's devices among the present interfaces, read in one walk over
// one set: each one's hub port and serial number, where the system knows them.
std::vector<UsbDeviceInfo> FindPresentDevices() {
    std::vector<PresentInterface> present;
    ForEachPresentInterface(kGuidDevinterfaceUsbDevice, [&](HDEVINFO set, const char* path,
                                                            SP_DEVINFO_DATA& device) {
        if (!InterfacePathMatches(path)) return true;
        PresentInterface entry{path, {}, DeviceProperty(set, device, SPDRP_LOCATION_INFORMATION)};
        char instance[512] = {};
        if (SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance - 1, nullptr))
            entry.instanceId = instance;
        present.push_back(std::move(entry));
        return true;
    });
    return VendorDevicesAmong(present);
}

// Until a cancelled transfer has finished, the platform may still write the
// record and the buffer, and both belong to the caller: wait for it.
void CancelAndWait(HANDLE pipe, OVERLAPPED& overlapped) {
    CancelIo(pipe);
    DWORD ignored = 0;
    GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
}

}  // namespace

Win32UsbLink::~Win32UsbLink() {
    while (!links_.empty()) Close(links_.begin()->first);
}

std::vector<UsbDeviceInfo> Win32UsbLink::FindDevices(LinkStatus* status) {
    if (status != nullptr) *status = LinkStatus::Ok;
    return FindPresentDevices();
}

PlatformHandle Win32UsbLink::OpenPipe(const char* pipePath) {
    HANDLE pipe = CreateFileA(pipePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    return reinterpret_cast<PlatformHandle>(pipe);
}

PlatformHandle Win32UsbLink::Open(const UsbDeviceInfo& device, LinkStatus* why) {
    const std::string& path = device.path.empty() ? device.id : device.path;
    const PlatformHandle reply = OpenPipe(ComposePipePath(path, kReplyPipeName).c_str());
    if (reply == kInvalidHandleValue) {
        if (why != nullptr) *why = StatusOfError(GetLastError());
        return kInvalidHandleValue;
    }
    // A command pipe that does not open leaves the link usable: its first
    // write fails and the download reports it.
    const PlatformHandle command = OpenPipe(ComposePipePath(path, kCommandPipeName).c_str());
    std::lock_guard<std::mutex> hold(linksLock_);
    links_[reply] = Pipes{reply, command};
    if (why != nullptr) *why = LinkStatus::Ok;
    return reply;
}

void Win32UsbLink::Close(PlatformHandle link) {
    Pipes pipes{kInvalidHandleValue, kInvalidHandleValue};
    {
        std::lock_guard<std::mutex> hold(linksLock_);
        const auto found = links_.find(link);
        if (found == links_.end()) return;
        pipes = found->second;
        links_.erase(found);
    }
    CloseHandle(AsHandle(pipes.reply));
    if (pipes.command != kInvalidHandleValue) CloseHandle(AsHandle(pipes.command));
}

Win32UsbLink::Pipes Win32UsbLink::PipesOf(PlatformHandle link) {
    std::lock_guard<std::mutex> hold(linksLock_);
    const auto found = links_.find(link);
    return found == links_.end() ? Pipes{kInvalidHandleValue, kInvalidHandleValue} : found->second;
}

TransferResult Win32UsbLink::Read(PlatformHandle link, std::uint8_t* buffer, std::uint32_t count,
                                  std::uint32_t timeoutMs) {
    const Pipes pipes = PipesOf(link);
    if (pipes.reply == kInvalidHandleValue) return {LinkStatus::Failed, 0};
    return PipeTransfer(Direction::Read, pipes.reply, buffer, count, timeoutMs);
}

TransferResult Win32UsbLink::Write(PlatformHandle link, const std::uint8_t* buffer,
                                   std::uint32_t count, std::uint32_t timeoutMs) {
    const Pipes pipes = PipesOf(link);
    if (pipes.reply == kInvalidHandleValue) return {LinkStatus::Failed, 0};
    // WriteFile only reads the buffer.
    return PipeTransfer(Direction::Write, pipes.command, const_cast<std::uint8_t*>(buffer), count,
                        timeoutMs);
}

std::uint32_t Win32UsbLink::AwaitTransfer(PlatformHandle pipe, std::uint32_t timeoutMs) {
    // Nobody can ask to stop: one wait for the whole limit.
    if (!StopWatched()) return WaitForTransfer(pipe, timeoutMs);
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const auto left = static_cast<std::uint32_t>(now < until ? until - now : 0);
        const std::uint32_t waited = WaitForTransfer(pipe, std::min(left, kStopCheckMs));
        if (waited != WAIT_TIMEOUT || left <= kStopCheckMs || StopRequested()) return waited;
    }
}

std::uint32_t Win32UsbLink::WaitForTransfer(PlatformHandle pipe, std::uint32_t timeoutMs) {
    return WaitForSingleObject(AsHandle(pipe), timeoutMs);
}

TransferResult Win32UsbLink::PipeTransfer(Direction direction, PlatformHandle pipe,
                                          std::uint8_t* buffer, std::uint32_t count,
                                          std::uint32_t timeoutMs) {
    // A pipe that did not open: the transfer fails without reaching the platform.
    if (pipe == kInvalidHandleValue) return {LinkStatus::NotFound, 0};
    HANDLE handle = AsHandle(pipe);
    OVERLAPPED overlapped{};
    overlapped.Offset = count;  // the driver's pipes have no file position
    DWORD moved = 0;
    const BOOL started = direction == Direction::Read
                             ? ReadFile(handle, buffer, count, &moved, &overlapped)
                             : WriteFile(handle, buffer, count, &moved, &overlapped);
    LinkStatus status = LinkStatus::Failed;
    if (started) {
        // Done at once. The count comes from the record: on an overlapped
        // handle the call's own count need not be filled in.
        GetOverlappedResult(handle, &overlapped, &moved, FALSE);
        status = LinkStatus::Ok;
    } else if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING) {
        status = StatusOfError(error);
    } else {
        switch (AwaitTransfer(pipe, timeoutMs)) {
            case WAIT_OBJECT_0:
                status = GetOverlappedResult(handle, &overlapped, &moved, TRUE)
                             ? LinkStatus::Ok
                             : StatusOfError(GetLastError());
                break;
            case WAIT_TIMEOUT:
                // One poll: the transfer may have finished after the limit.
                if (GetOverlappedResult(handle, &overlapped, &moved, FALSE)) {
                    status = LinkStatus::Ok;
                } else if (GetLastError() == ERROR_IO_INCOMPLETE) {
                    const bool stopped = StopRequested();
                    CancelAndWait(handle, overlapped);
                    status = stopped ? LinkStatus::Cancelled : LinkStatus::TimedOut;
                } else {
                    // Any other error: the transfer ended and nothing is pending.
                    status = StatusOfError(GetLastError());
                }
                break;
            default:  // the wait failed; the transfer may still be running
                CancelAndWait(handle, overlapped);
                break;
        }
    }
    return {status, static_cast<std::uint32_t>(moved)};
}

}  // namespace fwup
