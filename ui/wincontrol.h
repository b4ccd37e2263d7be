// Windowed controls: child windows of a form (edit boxes, grids).
#pragma once

#include <windows.h>

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

    // Notifications the form reflects to the control.
    virtual void Command(WORD /*code*/) {}
    virtual HBRUSH ControlColour(HDC /*dc*/) { return nullptr; }

protected:
    void Attach(HWND hwnd);

private:
    Form& owner_;
    HWND hwnd_ = nullptr;
};

} // namespace ui
