#pragma once

#include <windows.h>

#include <string>

#include "app/dialog/user_interface.h"

namespace fwup {

// The texts are GBK bytes; the dialog is a Unicode window, so they read the
// same whatever the system's ANSI code page.
inline constexpr UINT kGbkCodePage = 936;

// GBK bytes as UTF-16; false when the system cannot convert them.
bool WideFromGbk(const char* text, std::wstring& wide);

// Sets a window's or control's text from GBK bytes through the wide call.
void SetGbkWindowText(HWND window, const char* text);

// The commands' view of the dialog: its status control and question boxes
// owned by the dialog window.
class Win32UserInterface : public UserInterface {
public:
    Win32UserInterface(HWND dialog, HWND statusLine) : dialog_(dialog), statusLine_(statusLine) {}

    // Drawn before returning: the command may block the message loop next.
    void SetStatusText(const char* text) override;
    bool AskYesNo(const char* text, const char* caption) override;

private:
    HWND dialog_;
    HWND statusLine_;
};

}  // namespace fwup
