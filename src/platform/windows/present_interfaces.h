#pragma once

// The present interfaces of a device interface class, walked once through
// SetupAPI: each one's path and the device it belongs to.

#include <windows.h>
#include <setupapi.h>

#include <functional>

#include "platform/windows/interface_search.h"

namespace fwup {

GUID AsGuid(const InterfaceClass& interfaceClass);

// Calls visit for each present interface whose path can be had, in the
// system's order, until it returns false. The set and the device record
// hold only during the call.
using InterfaceVisit =
    std::function<bool(HDEVINFO set, const char* path, SP_DEVINFO_DATA& device)>;
void ForEachPresentInterface(const InterfaceClass& interfaceClass, const InterfaceVisit& visit);

}  // namespace fwup
