// A borderless top-level window whose face is painted by its non-windowed
// controls, with windowed controls (edit boxes, grids) as child windows.
//
// Forms and controls are laid out in logical pixels. The form is drawn at one
// scale: its monitor's DPI, or less where the window would not fit the
// monitor's work area (see FitScale). The form alone maps between logical and
// device pixels: it paints its controls through a GDI mapping mode, hands
// them logical mouse positions, and places its windowed controls.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/gdi.h"
#include "ui/colour.h"
#include "ui/scale.h"

namespace ui {

class Control;
class WinControl;
struct MonitorFit;

const int mrNone = 0, mrOk = 1, mrCancel = 2;

class Form {
public:
    // Creates the window hidden, with this client size and no border.
    Form(int clientWidth, int clientHeight);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND Handle() const { return hwnd_; }

    void SetCaption(const std::string& ansi);
    std::string Caption() const;
    void SetColour(Colour c);
    // Logical client size.
    int ClientWidth() const { return width_; }
    int ClientHeight() const { return height_; }
    const Scale& GetScale() const { return scale_; }
    // Sets GDI's mapping from logical to device pixels on a DC painting this
    // form or one of its windowed controls (nothing at a scale of one).
    void MapLogical(HDC dc) const;
    // Screen position, in device pixels.
    int Left() const;
    int Top() const;
    void SetPosition(int left, int top);
    // A taskbar button of its own (on by default; off for dialogs).
    void SetShowInTaskbar(bool on);

    // The first showing places the window at the centre of its monitor's work area.
    void Show();
    void Hide();
    bool Visible() const;
    // Modal: ends the modal loop with mrCancel. Otherwise hides the window and
    // fires OnClose; closing the application's main form ends the message loop.
    void Close();

    // Shows the window and keeps the other forms disabled until a modal result
    // is set (or Close); hides it again and returns that result.
    int ShowModal();
    void SetModalResult(int result);
    int ModalResult() const { return modalResult_; }
    bool IsModal() const { return modal_; }

    void CaptureMouse();
    void ReleaseMouse();
    void Invalidate();
    // Paints what is invalid now, not at the next idle moment.
    void Repaint();

    std::function<void(Form& sender)> OnCreate;  // fired by Application::CreateForm
    std::function<void(Form& sender)> OnShow;    // each time it goes from hidden to shown
    std::function<void(Form& sender)> OnClose;
    // Asked before any close, the modal one included; false keeps the form open.
    std::function<bool(Form& sender)> OnCloseQuery;
    // A key pressed while the form itself (no control of it) has the focus.
    std::function<void(Form& sender, uint16_t key)> OnKeyDown;

    // Framework side, used by the controls.
    void AddControl(Control* c);
    void RemoveControl(Control* c);
    void AddWinControl(WinControl* c);
    void RemoveWinControl(WinControl* c);

protected:
    // Messages from WM_USER to 0x7FFF, after the standard handling.
    virtual void UserMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    Control* ControlAt(int x, int y) const;
    void MouseButtonEvent(UINT message, WPARAM wParam, LPARAM lParam);
    void MouseMoveEvent(WPARAM wParam, LPARAM lParam);
    // The scale for the monitor's DPI and work area; resizes and redraws.
    void Rescale(const MonitorFit& monitor);
    void DpiChanged(UINT dpi, const RECT& suggested);
    void WorkAreaChanged();
    // WM_DPICHANGED, WM_SETTINGCHANGE and WM_DISPLAYCHANGE; true when the
    // message is handled in full (the system's handling is not wanted).
    bool MonitorChange(UINT message, WPARAM wParam, LPARAM lParam);
    bool SetCursorFor(HWND hit, LPARAM lParam);
    // The mouse capture went elsewhere while a control was pressed.
    void CaptureLost();
    // Notifications of a windowed control, handed to it: its colours (null:
    // the default ones) and its WM_COMMAND codes (false: not one of ours).
    HBRUSH ControlBrush(HWND child, HDC dc);
    bool ReflectCommand(HWND child, WORD code);

    HWND hwnd_ = nullptr;
    int width_, height_;
    Scale scale_;
    Colour colour_ = MakeColour(0, 0, 128);
    Brush brush_;
    bool placed_ = false;
    bool modal_ = false;
    int modalResult_ = mrNone;
    std::vector<Control*> controls_;
    std::vector<WinControl*> winControls_;
    Control* pressed_ = nullptr;  // receives moves and the release while a button is held
    bool pressedLeft_ = false;
};

} // namespace ui
