// A borderless single-line edit box (an ANSI window: texts in the process code
// page, typed double-byte characters arrive as two key-press bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/events.h"
#include "ui/font.h"
#include "ui/keyfilter.h"
#include "ui/wincontrol.h"

namespace ui {

class Edit : public WinControl {
public:
    Edit(Form& owner, int left, int top, int width, int height);
    ~Edit() override;

    std::string Text() const;
    void SetText(const std::string& ansi);
    // The placeholder; never shown as a tooltip.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& ansi) { hint_ = ansi; }
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char c);  // 0: masking off
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);      // 0: no limit
    void SetUpperCase(bool on);
    void SetTabStop(bool on);
    void SetFont(const FontDesc& desc);
    Colour FontColour() const { return desc_.colour; }
    void SetFontColour(Colour c);
    void SetColour(Colour c);  // the background alone
    // Background, typed-text and placeholder colours; the text shows the
    // typed or the placeholder colour as the box's placeholder rule left it.
    void SetColours(const BoxColours& colours);

    // EM_GETSEL / EM_SETSEL, in bytes.
    void GetSelection(int* start, int* end) const;
    void SetSelection(int start, int end);

    // The placeholder rule on this box; `maskWhenCleared` is the masking
    // character to use once a placeholder is removed (0: none).
    void ApplyPlaceholderRule(char maskWhenCleared);
    // Empty, or showing its placeholder.
    bool IsEmpty() const;

    // Single-byte text only, for boxes whose keys are filtered: the box has
    // no input context, so no input method composes text into it past
    // OnKeyPress, and a typed double-byte character is refused whole (the
    // box's own KeyFilter) before OnKeyPress sees it.
    void SetSingleByteOnly(bool on);

    std::function<void(Edit& sender)> OnEnter;
    std::function<void(Edit& sender)> OnExit;
    std::function<void(Edit& sender)> OnChange;
    // Set `key` to 0 to discard it; the character it would type is then
    // discarded too.
    std::function<void(Edit& sender, uint16_t& key, ShiftState shift)> OnKeyDown;
    std::function<void(Edit& sender, char& key)> OnKeyPress;
    // When set, replaces the box's own paste on every route: WM_PASTE,
    // Ctrl+V, Shift+Insert and the context menu's Paste.
    std::function<void(Edit& sender)> OnPaste;

    // Also sizes the font and margins to the form's scale.
    void Place() override;
    void Command(WORD code) override;
    HBRUSH ControlColour(HDC dc) override;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);
    // The box's own handling of a focus message, then `handler`.
    LRESULT FocusChange(UINT message, WPARAM wParam, LPARAM lParam, const std::function<void(Edit&)>& handler);
    // The key-down and character steps: false when the box must not see the
    // message; otherwise `wParam` is what it sees (a handler may change it).
    bool PassKeyDown(WPARAM* wParam, LPARAM lParam);
    bool PassChar(WPARAM* wParam, LPARAM lParam);
    // WM_IME_CHAR as the one or two bytes a typed character arrives as.
    void ImeCharAsBytes(WPARAM wParam, LPARAM lParam);
    void ApplyFont(BOOL redraw);
    void Paste();

    WNDPROC original_ = nullptr;
    std::string hint_;
    char passwordChar_ = 0;
    bool singleByte_ = false;
    KeyFilter filter_;
    // The character of a key whose key-down was discarded, by scan code.
    bool dropChar_ = false;
    UINT dropScanCode_ = 0;
    int maxLength_ = 0;
    FontDesc desc_;
    FontHandle font_;
    BoxColours colours_;
    Brush brush_;
};

} // namespace ui
