#pragma once

namespace fwup {

// What the dialog's commands need of the dialog: the status line and one
// Yes/No question. Texts are GBK bytes (code page 936); the Windows side
// converts them and shows them through the wide calls.
class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Replaces the status line's text and has it drawn at once, even when the
    // caller blocks afterwards.
    virtual void SetStatusText(const char* text) = 0;

    // A modal Yes/No question owned by the dialog. True only for Yes; No, a
    // closed box and a box that could not be shown are all false.
    virtual bool AskYesNo(const char* text, const char* caption) = 0;
};

}  // namespace fwup
