// Windowed controls: child windows of a form (edit boxes, grids).
#pragma once

#include <windows.h>

#include "ui/geometry.h"

namespace ui {

class Form;

class WinControl {
public:
    explicit WinControl(Form& owner);
    virtual ~WinControl();
    WinControl(const WinControl&) = delete;
    WinControl& operator=(const WinControl&) = delete;

    Form& Owner() const { return owner_; }
    HWND Handle() const { return hwnd_; }

    bool Visible() const;
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    void SetFocus();
    bool Focused() const;

    // The control behind a child window of a form, or null.
    static WinControl* FromHandle(HWND hwnd);

    // Logical bounds in the form.
    const Rect& Bounds() const { return bounds_; }
    // Puts the window where its bounds lie at the form's scale (the form
    // calls it when its scale changes).
    virtual void Place();

    // Notifications the form reflects to the control.
    virtual void Command(WORD /*code*/) {}
    virtual HBRUSH ControlColour(HDC /*dc*/) { return nullptr; }

protected:
    // The child window at `bounds` (logical) in the owner's scale.
    HWND CreateChild(DWORD exStyle, const char* className, DWORD style, const Rect& bounds);
    void Attach(HWND hwnd);

private:
    Form& owner_;
    HWND hwnd_ = nullptr;
    Rect bounds_;
};

} // namespace ui
