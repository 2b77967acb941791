#pragma once

#include <windows.h>

#include <cstdint>

#include "app/dialog/dialog_texts.h"
#include "image/image_description.h"

namespace fwup {

// The program's one window. The commands read these fields; none writes them.
struct UpdateDialog {
    HWND window = nullptr;
    // The image inside the program's resources (never freed), described once
    // when the dialog is initialised; refused when it is absent.
    ImageDescription image;
    LanguageFlag languageFlag = 1;
    HWND statusLine = nullptr;
};

// Creates the dialog hidden from template 129, without owner; its
// initialisation has run when this returns. Null when it cannot be created.
HWND CreateUpdateDialog(HINSTANCE module, UpdateDialog& dialog);

}  // namespace fwup
