#include "app/dialog/win32_user_interface.h"

#include <new>

namespace fwup {

bool WideFromGbk(const char* text, std::wstring& wide) {
    const int length = MultiByteToWideChar(kGbkCodePage, 0, text, -1, nullptr, 0);
    if (length <= 0) return false;
    try {
        wide.assign(static_cast<std::size_t>(length), L'\0');
    } catch (const std::bad_alloc&) {
        return false;  // the bytes as they are, through the narrow call
    }
    if (MultiByteToWideChar(kGbkCodePage, 0, text, -1, wide.data(), length) != length)
        return false;
    wide.pop_back();  // the terminating zero the conversion counted
    return true;
}

void SetGbkWindowText(HWND window, const char* text) {
    std::wstring wide;
    if (WideFromGbk(text, wide))
        SetWindowTextW(window, wide.c_str());
    else
        SetWindowTextA(window, text);  // no GBK table: the bytes as they are
}

void Win32UserInterface::SetStatusText(const char* text) {
    SetGbkWindowText(statusLine_, text);
    RedrawWindow(statusLine_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

bool Win32UserInterface::AskYesNo(const char* text, const char* caption) {
    std::wstring wideText;
    std::wstring wideCaption;
    if (!WideFromGbk(text, wideText) || !WideFromGbk(caption, wideCaption))
        return MessageBoxA(dialog_, text, caption, MB_YESNO) == IDYES;
    return MessageBoxW(dialog_, wideText.c_str(), wideCaption.c_str(), MB_YESNO) == IDYES;
}

}  // namespace fwup
