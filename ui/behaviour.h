// What the picture-faced windows share: dragging by the background image, and
// the dimming overlay with its snapshot.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

#include "ui/control.h"
#include "ui/edit.h"
#include "ui/events.h"
#include "ui/form.h"
#include "ui/geometry.h"
#include "ui/wincontrol.h"

namespace ui {

// Moves a form while the left button drags its background image.
// With a drag flag, a drag lasts from the left press to the release; without
// one, it lasts while the left button is held. Either way it ends when the
// form loses the mouse capture: the form must not follow a pointer whose
// button is no longer its.
class WindowDrag {
public:
    enum Mode { WithFlag, WhileLeftHeld };
    WindowDrag(Form& form, Mode mode) : form_(form), mode_(mode) {}

    // Wires the mouse events of the drag handle to this drag.
    void Attach(Control& handle);

    void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    void MouseMove(ShiftState shift, int x, int y);
    void MouseUp();
    void CaptureLost() { dragging_ = false; }
    // Clears the drag flag (a window does so each time it is shown).
    void Reset() { dragging_ = false; }
    // From the left press on the handle to its release or the capture's loss.
    bool Dragging() const { return dragging_; }

private:
    Form& form_;
    Mode mode_;
    Point anchor_;
    bool dragging_ = false;
};

// The eye toggle of a password box: masked ('*') becomes clear with the
// shown-state eye; otherwise the box is masked unless it shows its
// placeholder, with the hidden-state eye. One eye of the pair is visible.
void ToggleMasking(Edit& box, Control& hiddenEye, Control& shownEye);

// A copy of the window's client area with every colour byte halved; null when
// no copy could be made. Unhalved when the copy itself failed.
HBITMAP TakeDimmedSnapshot(HWND hwnd);

// Dims a form: its snapshot, darkened, in an overlay image above every other
// non-windowed control, with the background image and the windowed controls
// hidden (they would paint above the overlay).
class DimOverlay {
public:
    DimOverlay(Form& form, Image& overlay, Control& background, std::initializer_list<WinControl*> windowed)
        : form_(form), overlay_(overlay), background_(background), windowed_(windowed) {}

    // A windowed control to hide while dimmed, besides those given at construction.
    void AddWindowed(WinControl* c) { windowed_.push_back(c); }

    void Dim();
    void Undim();
    bool Dimmed() const { return overlay_.Visible(); }

private:
    Form& form_;
    Image& overlay_;
    Control& background_;
    std::vector<WinControl*> windowed_;
};

} // namespace ui
