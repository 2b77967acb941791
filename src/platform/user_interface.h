#pragma once

namespace fwup {

// A fixed text in both languages. The bytes are those the dialog shows: the
// Chinese texts, the captions and the full-width question mark in GBK (code
// page 936), everything else ASCII.
struct LocalizedText {
    const char* english;
    const char* chinese;
};

// "打开驱动失败": what both commands show when their device cannot be found or
// opened.
inline constexpr LocalizedText kOpenDriverFailedText{
    "Open the driver failed", "\xb4\xf2\xbf\xaa\xc7\xfd\xb6\xaf\xca\xa7\xb0\xdc"};

// The dialog's language choice: non-zero selects English, zero Chinese.
using LanguageFlag = int;

inline const char* Choose(const LocalizedText& text, LanguageFlag languageFlag) {
    return languageFlag != 0 ? text.english : text.chinese;
}

// What the commands need of the dialog: the status line and one Yes/No
// question. Texts are GBK bytes; the Windows side converts them from code
// page 936 and shows them through the wide calls.
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
