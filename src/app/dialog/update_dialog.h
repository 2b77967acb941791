#pragma once

#include <windows.h>

#include <cstdint>

#include "app/dialog/dialog_texts.h"

namespace fwup {

// The program's one window. The commands read these fields; none writes them.
struct UpdateDialog {
    HWND window = nullptr;
    std::uint32_t imageSize = 0;
    const std::uint8_t* imageData = nullptr;  // inside the program's resources; never freed
    LanguageFlag languageFlag = 1;
    HWND statusLine = nullptr;
};

// Creates the dialog hidden from template 129, without owner; its
// initialisation has run when this returns. Null when it cannot be created.
HWND CreateUpdateDialog(HINSTANCE module, UpdateDialog& dialog);

}  // namespace fwup
