#include "ui/edit.h"

#include <imm.h>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/placeholder.h"

namespace ui {

Edit::Edit(Form& owner, int left, int top, int width, int height) : WinControl(owner) {
    // No WS_TABSTOP and no tooltip: the hint is only the placeholder.
    HWND hwnd = CreateChild(0, "EDIT", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_LEFT,
                            MakeRect(left, top, width, height));
    Attach(hwnd);
    desc_.colour = colours_.text;
    brush_.Reset(CreateSolidBrush(colours_.back));
    if (hwnd) {
        ApplyFont(FALSE);
        original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Edit::SubclassProc)));
    }
}

Edit::~Edit() {
    // The box's own procedure must see its WM_NCDESTROY, or its buffers leak.
    if (Handle() && original_) SetWindowLongPtrA(Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
}

std::string Edit::Text() const {
    if (!Handle()) return std::string();
    int n = GetWindowTextLengthA(Handle());
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    int got = GetWindowTextA(Handle(), &text[0], n + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void Edit::SetText(const std::string& ansi) {
    if (Handle()) SetWindowTextA(Handle(), ansi.c_str());
}

void Edit::SetPasswordChar(char c) {
    passwordChar_ = c;
    if (!Handle()) return;
    SendMessageA(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(c), 0);
    InvalidateRect(Handle(), nullptr, TRUE);
}

void Edit::SetMaxLength(int n) {
    maxLength_ = n < 0 ? 0 : n;
    if (Handle()) SendMessageA(Handle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void Edit::SetUpperCase(bool on) {
    if (!Handle()) return;
    LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    SetWindowLongW(Handle(), GWL_STYLE, on ? (style | ES_UPPERCASE) : (style & ~ES_UPPERCASE));
}

void Edit::SetTabStop(bool on) {
    if (!Handle()) return;
    LONG style = GetWindowLongW(Handle(), GWL_STYLE);
    SetWindowLongW(Handle(), GWL_STYLE, on ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
}

void Edit::SetFont(const FontDesc& desc) {
    desc_ = desc;
    ApplyFont(TRUE);
}

void Edit::ApplyFont(BOOL redraw) {
    // The box draws its own text: its font has the scaled pixel height, so
    // typed text lines up with the face's painted lines at any scale.
    const Scale& scale = Owner().GetScale();
    FontDesc scaled = desc_;
    scaled.pixelHeight = scale.ToDevice(desc_.pixelHeight);
    font_ = CreateFontFor(scaled);
    if (!Handle()) return;
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), redraw);
    const WORD margin = static_cast<WORD>(scale.ToDevice(2));
    SendMessageW(Handle(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, margin));
}

void Edit::Place() {
    WinControl::Place();
    ApplyFont(TRUE);
}

void Edit::SetFontColour(Colour c) {
    desc_.colour = c;
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void Edit::SetColours(const BoxColours& colours) {
    colours_ = colours;
    desc_.colour = !hint_.empty() && Text() == hint_ ? colours.placeholder : colours.text;
    SetColour(colours.back);
}

void Edit::SetColour(Colour c) {
    colours_.back = c;
    brush_.Reset(CreateSolidBrush(c));
    if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void Edit::GetSelection(int* start, int* end) const {
    DWORD s = 0, e = 0;
    if (Handle()) SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    *start = static_cast<int>(s);
    *end = static_cast<int>(e);
}

void Edit::SetSelection(int start, int end) {
    if (Handle()) SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void Edit::ApplyPlaceholderRule(char maskWhenCleared) {
    EditBoxState box;
    box.text = Text();
    box.textColour = desc_.colour;
    box.passwordChar = passwordChar_;
    if (!ui::ApplyPlaceholderRule(box, hint_, maskWhenCleared, colours_)) return;
    SetPasswordChar(box.passwordChar);
    SetFontColour(box.textColour);
    SetText(box.text);
}

bool Edit::IsEmpty() const { return IsEmptyOrPlaceholder(Text(), hint_); }

void Edit::SetSingleByteOnly(bool on) {
    singleByte_ = on;
    filter_.Reset();
    if (!Handle()) return;
    // A password box has no input context either: without one, no input
    // method composes text into the box.
    if (on) {
        ImmAssociateContext(Handle(), nullptr);
    } else {
        ImmAssociateContextEx(Handle(), nullptr, IACE_DEFAULT);
    }
}

void Edit::Paste() {
    if (OnPaste) Guarded([this] { OnPaste(*this); });
}

void Edit::Command(WORD code) {
    if (code == EN_CHANGE && OnChange) OnChange(*this);
}

HBRUSH Edit::ControlColour(HDC dc) {
    SetTextColor(dc, desc_.colour);
    SetBkColor(dc, colours_.back);
    return brush_.Get();
}

LRESULT Edit::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(original_, Handle(), message, wParam, lParam);
}

LRESULT Edit::FocusChange(UINT message, WPARAM wParam, LPARAM lParam, const std::function<void(Edit&)>& handler) {
    LRESULT r = CallOriginal(message, wParam, lParam);
    if (handler) Guarded([&] { handler(*this); });
    return r;
}

bool Edit::PassKeyDown(WPARAM* wParam, LPARAM lParam) {
    // A new key: a trail byte still awaited is not coming. An input
    // method's own keys arrive as VK_PROCESSKEY.
    if (*wParam != VK_PROCESSKEY) filter_.Reset();
    dropChar_ = false;
    ShiftState shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    uint16_t key = static_cast<uint16_t>(*wParam);
    if (OnKeyDown) Guarded([&] { OnKeyDown(*this, key, shift); });
    const bool ctrlV = key == 'V' && shift == ssCtrl;
    const bool shiftInsert = key == VK_INSERT && shift == ssShift;
    if (key != 0 && OnPaste && (ctrlV || shiftInsert)) {
        Paste();
        key = 0;
    }
    if (key == 0) {
        // TranslateMessage has already queued the key's character
        // (Enter's '\r', Esc, Ctrl+V's 0x16): the box must not see it.
        dropChar_ = true;
        dropScanCode_ = (static_cast<UINT>(lParam) >> 16) & 0x1FF;
        return false;
    }
    *wParam = key;
    return true;
}

void Edit::ImeCharAsBytes(WPARAM wParam, LPARAM lParam) {
    // The box would insert an input method's character whole, past the
    // key filter. It goes through the filter as the bytes a typed one
    // arrives as (lead byte in the high byte), and what passes reaches
    // the box as WM_CHAR.
    unsigned char bytes[2];
    int n = 0;
    if (wParam > 0xFF) bytes[n++] = static_cast<unsigned char>((wParam >> 8) & 0xFF);
    bytes[n++] = static_cast<unsigned char>(wParam & 0xFF);
    for (int i = 0; i < n; ++i) {
        char key = static_cast<char>(bytes[i]);
        if (OnKeyPress) Guarded([&] { OnKeyPress(*this, key); });
        if (key != 0) CallOriginal(WM_CHAR, static_cast<unsigned char>(key), lParam);
    }
}

bool Edit::PassChar(WPARAM* wParam, LPARAM lParam) {
    if (dropChar_) {
        dropChar_ = false;
        if (((static_cast<UINT>(lParam) >> 16) & 0x1FF) == dropScanCode_) return false;
    }
    const unsigned char byte = static_cast<unsigned char>(*wParam & 0xFF);
    if (singleByte_ && !filter_.Accept(byte)) return false;
    if (byte == 0x16 && OnPaste) {  // Ctrl+V without its key-down
        Paste();
        return false;
    }
    if (OnKeyPress) {
        char key = static_cast<char>(byte);
        Guarded([&] { OnKeyPress(*this, key); });
        if (key == 0) return false;
        *wParam = static_cast<unsigned char>(key);
    }
    return true;
}

LRESULT Edit::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFOCUS:
        return FocusChange(message, wParam, lParam, OnEnter);
    case WM_KILLFOCUS:
        filter_.Reset();
        return FocusChange(message, wParam, lParam, OnExit);
    case WM_KEYDOWN:
        if (!PassKeyDown(&wParam, lParam)) return 0;
        break;
    case WM_PASTE:  // also what the box's context menu sends
        if (!OnPaste) break;
        Paste();
        return 0;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_ENDCOMPOSITION:
        // Composed text would go into the box whole, past the key filter.
        if (singleByte_) return 0;
        break;
    case WM_IME_CHAR:
        if (!singleByte_) ImeCharAsBytes(wParam, lParam);
        return 0;
    case WM_CHAR:
        if (!PassChar(&wParam, lParam)) return 0;
        break;
    default:
        break;
    }
    return CallOriginal(message, wParam, lParam);
}

LRESULT CALLBACK Edit::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Edit* edit = static_cast<Edit*>(WinControl::FromHandle(hwnd));
    if (!edit || !edit->original_) return DefWindowProcA(hwnd, message, wParam, lParam);
    return edit->Process(message, wParam, lParam);
}

} // namespace ui
