#include "app/dialog/update_dialog.h"

#include <new>

#include "app/dialog/dialog_commands.h"
#include "app/dialog/dialog_logic.h"
#include "app/dialog/message_loop.h"
#include "image/stand_in_image.h"
#include "app/dialog/program_platform.h"
#include "app/dialog/win32_user_interface.h"

namespace fwup {
namespace {

void PlaceOnWorkArea(HWND window) {
    RECT outer{};
    RECT workArea{};
    GetWindowRect(window, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    const ScreenPoint at =
        CenterDialog({workArea.left, workArea.top, workArea.right, workArea.bottom},
                     outer.right - outer.left, outer.bottom - outer.top);
    SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Icon 128 at the size the system asks for; without it the default icon stays.
void SetIcon(HWND window, WPARAM which, int widthMetric, int heightMetric) {
    HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResourceId),
                             IMAGE_ICON, GetSystemMetrics(widthMetric),
                             GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR);
    if (icon != nullptr) SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

// The dialog's keyboard handling (Tab, Enter, Esc, mnemonics) in the loop.
void RegisterKeyboardStep(HWND window) {
    MessageLoop* loop = CurrentMessageLoop();
    if (loop == nullptr) return;
    loop->AddFilter([window](MSG& message) { return IsDialogMessageW(window, &message) != 0; });
}

void WriteTexts(HWND window, LanguageFlag languageFlag) {
    for (const ControlText& control : DialogTexts)
        SetGbkWindowText(GetDlgItem(window, control.controlId),
                         Choose(control.text, languageFlag));
    SetGbkWindowText(window, DialogCaption);
}

// The image inside the program's resources: either complete or absent.
FirmwareImage LoadFirmwareImage() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(kFirmwareImageResourceId),
                                kFirmwareImageResourceType);
    if (found == nullptr) return {};
    const DWORD size = SizeofResource(module, found);
    if (size == 0) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return {};
    const void* data = LockResource(loaded);
    if (data == nullptr) return {};
    return FirmwareImage{static_cast<const std::uint8_t*>(data), size};
}

// Memory that runs out here leaves the image refused, so that Update sends
// nothing; the stand-in is still recognised, so that Clear changes nothing.
ImageDescription DescribeLoadedImage(FirmwareImage image) {
    try {
        return DescribeImage(image);
    } catch (const std::bad_alloc&) {
        ImageDescription refused;
        refused.standIn = IsStandInImage(image);
        return refused;
    }
}

INT_PTR InitializeDialog(UpdateDialog& dialog) {
    HWND window = dialog.window;
    PlaceOnWorkArea(window);
    SetIcon(window, ICON_BIG, SM_CXICON, SM_CYICON);
    SetIcon(window, ICON_SMALL, SM_CXSMICON, SM_CYSMICON);
    RegisterKeyboardStep(window);
    dialog.statusLine = GetDlgItem(window, kStatusLineId);
    dialog.languageFlag = ChooseLanguageFlag(GetUserDefaultLangID());
    WriteTexts(window, dialog.languageFlag);
    dialog.image = DescribeLoadedImage(LoadFirmwareImage());
    return TRUE;  // the focus goes to the first tab stop, the Update button
}

// A program that carries the stand-in image finds real devices but changes none.
Hardware ProgramHardware() {
    return ProgramSpeaksToRealDevices() ? Hardware::Real : Hardware::Simulated;
}

void RunUpdate(const UpdateDialog& dialog) {
    Win32UserInterface userInterface(dialog.window, dialog.statusLine);
    OnUpdate(ProgramUsbLink(), userInterface, dialog.languageFlag, dialog.image, ProgramHardware());
}

void RunClear(const UpdateDialog& dialog) {
    Win32UserInterface userInterface(dialog.window, dialog.statusLine);
    OnClear(ProgramScsiDrives(), userInterface, dialog.languageFlag, dialog.image,
            ProgramHardware());
}

void OnCancel(const UpdateDialog& dialog) {
    DestroyWindow(dialog.window);
    PostQuitMessage(kCancelButtonId);
}

INT_PTR CALLBACK UpdateDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<UpdateDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->window = window;
        return InitializeDialog(*dialog);
    }
    if (message != WM_COMMAND) return FALSE;
    auto* dialog = reinterpret_cast<UpdateDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    switch (RouteCommand(LOWORD(wParam), HIWORD(wParam))) {
        case DialogCommand::Update: RunUpdate(*dialog); return TRUE;
        case DialogCommand::Clear: RunClear(*dialog); return TRUE;
        case DialogCommand::Cancel: OnCancel(*dialog); return TRUE;
        case DialogCommand::None: break;
    }
    return FALSE;
}

}  // namespace

HWND CreateUpdateDialog(HINSTANCE module, UpdateDialog& dialog) {
    return CreateDialogParamW(module, MAKEINTRESOURCEW(kDialogTemplateId), nullptr,
                              UpdateDialogProc, reinterpret_cast<LPARAM>(&dialog));
}

}  // namespace fwup
