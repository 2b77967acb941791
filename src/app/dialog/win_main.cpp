// Start-up and shutdown of the program, and its message loop.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/dialog/message_loop.h"
#include "app/dialog/update_dialog.h"

namespace fwup {
namespace {

// DLLs that the program or the system's own DLLs load from here on come from
// the system folder only, never from the program's folder (a download folder,
// where anyone may have left a DLL of a system DLL's name) or the current
// one. Windows without the call (before 8, or 7 without its update) keeps its
// search order and still starts.
void LoadDllsFromTheSystemFolderOnly() {
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const FARPROC call =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (call == nullptr) return;
    reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(call))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Exit code 2 once the dialog has been closed, 0 when it could not be made.
int RunUpdateDialog(HINSTANCE module, int showCommand) {
    MessageLoop loop;
    MessageLoopRegistration registration(loop);
    UpdateDialog dialog;
    if (CreateUpdateDialog(module, dialog) == nullptr) return 0;
    ShowWindow(dialog.window, showCommand);
    return loop.Run();
}

}  // namespace
}  // namespace fwup

// The command line has no effect.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    fwup::LoadDllsFromTheSystemFolderOnly();
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const int exitCode = fwup::RunUpdateDialog(instance, showCommand);
    CoUninitialize();
    return exitCode;
}
