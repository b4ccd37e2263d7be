#include "ui/behaviour.h"

#include <vector>

#include "ui/dimpixels.h"
#include "ui/gdi.h"

namespace ui {

void WindowDrag::Attach(Control& handle) {
    handle.OnMouseDown = [this](Control&, MouseButton b, ShiftState s, int x, int y) { MouseDown(b, s, x, y); };
    handle.OnMouseMove = [this](Control&, ShiftState s, int x, int y) { MouseMove(s, x, y); };
    handle.OnMouseUp = [this](Control&, MouseButton, ShiftState, int, int) { MouseUp(); };
    handle.OnCaptureLost = [this](Control&) { CaptureLost(); };
}

void WindowDrag::MouseDown(MouseButton, ShiftState shift, int x, int y) {
    if (!(shift & ssLeft)) return;
    anchor_.x = x;
    anchor_.y = y;
    dragging_ = true;
    form_.CaptureMouse();
}

void WindowDrag::MouseMove(ShiftState shift, int x, int y) {
    bool active = dragging_ && (mode_ == WithFlag || (shift & ssLeft) != 0);
    if (!active) return;
    Point window;
    window.x = form_.Left();
    window.y = form_.Top();
    // The window moves in device pixels.
    const Scale& scale = form_.GetScale();
    Point pointer;
    pointer.x = x;
    pointer.y = y;
    Point to = DragTarget(window, scale.ToDevice(pointer), scale.ToDevice(anchor_));
    if (to.x != window.x || to.y != window.y) form_.SetPosition(to.x, to.y);
}

void WindowDrag::MouseUp() {
    form_.ReleaseMouse();
    dragging_ = false;
}

void ToggleMasking(Edit& box, Control& hiddenEye, Control& shownEye) {
    const bool reveal = box.PasswordChar() == '*';
    if (reveal) {
        box.SetPasswordChar(0);
    } else if (box.Text() != box.Hint()) {
        box.SetPasswordChar('*');
    }
    shownEye.SetVisible(reveal);
    hiddenEye.SetVisible(!reveal);
}

HBITMAP TakeDimmedSnapshot(HWND hwnd) {
    WindowDC windowDc(hwnd);
    if (!windowDc.Get()) return nullptr;
    MemoryDC mem(windowDc.Get());
    if (!mem.Get()) return nullptr;
    RECT client = {};
    GetClientRect(hwnd, &client);
    size_t bytes = 0;
    if (!DibBufferBytes(client.right, client.bottom, 32, &bytes)) return nullptr;
    // A DIB section: the window's pixels are copied once into memory that is
    // darkened where it lies, with no conversion out and back.
    void* bits = nullptr;
    Bitmap bitmap = MakeDib(client.right, client.bottom, &bits);
    if (!bitmap || !bits) return nullptr;
    bool copied = false;
    {
        ScopedSelect sel(mem.Get(), bitmap.Get());
        copied = BitBlt(mem.Get(), 0, 0, client.right, client.bottom, windowDc.Get(), 0, 0, SRCCOPY) != FALSE;
    }
    GdiFlush();
    if (copied) HalvePixels(static_cast<uint8_t*>(bits), bytes / 4);
    return bitmap.Release();
}

void DimOverlay::Dim() {
    HBITMAP snapshot = TakeDimmedSnapshot(form_.Handle());
    Picture picture = snapshot ? Picture::FromBitmap(snapshot) : Picture();
    // Taken in device pixels: it covers the logical client area exactly.
    picture.SetLogicalSize(form_.ClientWidth(), form_.ClientHeight());
    overlay_.SetPicture(std::move(picture));
    background_.Hide();
    for (WinControl* c : windowed_) c->Hide();
    overlay_.Show();
    form_.Invalidate();
    form_.Repaint();
}

void DimOverlay::Undim() {
    overlay_.Hide();
    background_.Show();
    for (WinControl* c : windowed_) c->Show();
    form_.Invalidate();
}

} // namespace ui
