#include "ui/wincontrol.h"

#include "ui/form.h"

namespace ui {
namespace {
const wchar_t kProp[] = L"KovaWinControl";
}

WinControl::WinControl(Form& owner) : owner_(owner) { owner_.AddWinControl(this); }

WinControl::~WinControl() {
    owner_.RemoveWinControl(this);
    if (hwnd_) {
        RemovePropW(hwnd_, kProp);
        DestroyWindow(hwnd_);
    }
}

HWND WinControl::CreateChild(DWORD exStyle, const char* className, DWORD style, const Rect& bounds) {
    bounds_ = bounds;
    Rect d = owner_.GetScale().ToDevice(bounds_);
    return CreateWindowExA(exStyle, className, "", style, d.left, d.top, d.width, d.height, owner_.Handle(), nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void WinControl::Place() {
    if (!hwnd_) return;
    Rect d = owner_.GetScale().ToDevice(bounds_);
    SetWindowPos(hwnd_, nullptr, d.left, d.top, d.width, d.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void WinControl::Attach(HWND hwnd) {
    hwnd_ = hwnd;
    if (hwnd_) SetPropW(hwnd_, kProp, this);
}

WinControl* WinControl::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<WinControl*>(GetPropW(hwnd, kProp)) : nullptr;
}

bool WinControl::Visible() const { return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE); }

void WinControl::SetVisible(bool visible) {
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void WinControl::SetFocus() {
    if (hwnd_) ::SetFocus(hwnd_);
}

bool WinControl::Focused() const { return hwnd_ && GetFocus() == hwnd_; }

} // namespace ui
