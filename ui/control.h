// Non-windowed controls: painted by their form in creation order, hit-tested in
// reverse (a later control lies above an earlier one).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/events.h"
#include "ui/font.h"
#include "ui/geometry.h"
#include "ui/picture.h"

namespace ui {

class Form;

class Control {
public:
    // Registers with `owner`, above every control created before it.
    Control(Form& owner, int left, int top, int width, int height);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& Owner() const { return owner_; }
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }
    const Rect& Bounds() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }

    Cursor GetCursor() const { return cursor_; }
    void SetCursor(Cursor c) { cursor_ = c; }

    void Invalidate() const;

    // Coordinates are relative to the control.
    std::function<void(Control& sender, MouseButton, ShiftState, int x, int y)> OnMouseDown;
    std::function<void(Control& sender, ShiftState, int x, int y)> OnMouseMove;
    std::function<void(Control& sender, MouseButton, ShiftState, int x, int y)> OnMouseUp;
    // Left button pressed and released over the control.
    std::function<void(Control& sender)> OnClick;
    // A press on the control that ends without its release: the form lost the
    // mouse capture (a message box came up, Alt+Tab, the Windows key).
    std::function<void(Control& sender)> OnCaptureLost;

    virtual void Paint(HDC dc) = 0;

private:
    Form& owner_;
    Rect bounds_;
    bool visible_ = true;
    Cursor cursor_ = Cursor::Default;
};

// A picture at the control's top-left (or centred in it); autosize makes the
// control the picture's size.
class Image : public Control {
public:
    Image(Form& owner, int left, int top, int width = 0, int height = 0);

    void SetPicture(Picture picture);
    const Picture& GetPicture() const { return picture_; }
    void SetAutoSize(bool on);
    void SetCenter(bool on);

    void Paint(HDC dc) override;

private:
    Picture picture_;
    bool autoSize_ = false;
    bool center_ = false;
};

// A label: with no caption and transparent, a hot spot over a painted button;
// with a caption, text in its font and colour.
class Label : public Control {
public:
    Label(Form& owner, int left, int top, int width = 0, int height = 0);

    // Caption in the process code page.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& ansi);
    void SetFont(const FontDesc& desc);
    const FontDesc& Font() const { return desc_; }
    void SetFontColour(Colour c);
    // Background colour; painted only when not transparent.
    void SetColour(Colour c);
    void SetTransparent(bool on);
    void SetAutoSize(bool on);
    void SetVerticalCentre(bool on);

    void Paint(HDC dc) override;

private:
    void Fit();

    std::string caption_;
    FontDesc desc_;
    FontHandle font_;
    Colour back_ = MakeColour(255, 255, 255);
    bool transparent_ = true;
    bool autoSize_ = false;
    bool vcentre_ = false;
};

} // namespace ui
