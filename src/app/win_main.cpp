// Start-up and shutdown of the program, and its message loop.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/message_loop.h"
#include "app/update_dialog.h"

namespace fwup {
namespace {

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
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const int exitCode = fwup::RunUpdateDialog(instance, showCommand);
    CoUninitialize();
    return exitCode;
}
