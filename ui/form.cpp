#include "ui/form.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/application.h"
#include "ui/control.h"
#include "ui/font.h"
#include "ui/monitor.h"
#include "ui/wincontrol.h"
#include "ui/windowclass.h"

namespace ui {
namespace {

const wchar_t kClassName[] = L"KovaForm";

ShiftState ShiftFrom(WPARAM keys) {
    ShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    return s;
}

BOOL CALLBACK CollectEnabled(HWND w, LPARAM p) {
    auto* list = reinterpret_cast<std::vector<HWND>*>(p);
    if (IsWindowVisible(w) && IsWindowEnabled(w)) list->push_back(w);
    return TRUE;
}

} // namespace

Form::Form(int clientWidth, int clientHeight) : width_(clientWidth), height_(clientHeight) {
    // Double clicks as such: the second press of one is not a click.
    RegisterWindowClass(kClassName, WindowProc, CS_DBLCLKS, kProgramIcon);
    brush_.Reset(CreateSolidBrush(colour_));
    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"",
                            WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                            clientWidth, clientHeight, Application::Instance().Handle(), nullptr,
                            GetModuleHandleW(nullptr), this);
}

Form::~Form() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void Form::SetCaption(const std::string& ansi) { SetWindowTextW(hwnd_, AnsiToWide(ansi).c_str()); }

std::string Form::Caption() const {
    std::wstring text(512, L'\0');
    int n = GetWindowTextW(hwnd_, &text[0], static_cast<int>(text.size()));
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return WideToAnsi(text);
}

void Form::SetColour(Colour c) {
    colour_ = c;
    brush_.Reset(CreateSolidBrush(c));
    Invalidate();
}

int Form::Left() const {
    RECT r = {};
    GetWindowRect(hwnd_, &r);
    return r.left;
}

int Form::Top() const {
    RECT r = {};
    GetWindowRect(hwnd_, &r);
    return r.top;
}

void Form::SetPosition(int left, int top) {
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::MapLogical(HDC dc) const {
    if (scale_.IsIdentity()) return;
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, scale_.den, scale_.den, nullptr);
    SetViewportExtEx(dc, scale_.num, scale_.num, nullptr);
}

void Form::Rescale(const MonitorFit& monitor) {
    Scale s = FitScale(static_cast<int32_t>(monitor.dpi), monitor.workArea, width_, height_);
    if (s == scale_) return;
    scale_ = s;
    SetWindowPos(hwnd_, nullptr, 0, 0, scale_.ToDevice(width_), scale_.ToDevice(height_),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (WinControl* c : winControls_) c->Place();
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void Form::DpiChanged(UINT dpi, const RECT& suggested) {
    const MonitorFit monitor = MonitorOfSuggested(dpi, suggested);
    Rescale(monitor);
    // At the size just set, not the size the system suggested.
    Point p = PlaceAtSuggested(hwnd_, suggested, monitor.workArea);
    SetPosition(p.x, p.y);
}

void Form::WorkAreaChanged() {
    const MonitorFit monitor = MonitorOf(hwnd_, MONITOR_DEFAULTTONEAREST);
    Rescale(monitor);
    Point p = KeepInside(WindowRect(hwnd_), monitor.workArea);
    SetPosition(p.x, p.y);
}

void Form::SetShowInTaskbar(bool on) {
    LONG ex = GetWindowLongW(hwnd_, GWL_EXSTYLE);
    SetWindowLongW(hwnd_, GWL_EXSTYLE, on ? (ex | WS_EX_APPWINDOW) : (ex & ~WS_EX_APPWINDOW));
}

void Form::Show() {
    if (Visible()) {
        SetForegroundWindow(hwnd_);
        return;
    }
    if (!placed_) {
        placed_ = true;
        // Still at 0, 0 on the primary monitor: its DPI and work area decide.
        const MonitorFit monitor = MonitorOf(hwnd_, MONITOR_DEFAULTTOPRIMARY);
        Rescale(monitor);
        Point p = PlaceIn(monitor.workArea, scale_.ToDevice(width_), scale_.ToDevice(height_));
        SetPosition(p.x, p.y);
    }
    if (OnShow) OnShow(*this);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    UpdateWindow(hwnd_);
}

void Form::Hide() {
    if (pressed_) ReleaseMouse();
    ShowWindow(hwnd_, SW_HIDE);
}

bool Form::Visible() const { return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE); }

void Form::Close() {
    if (OnCloseQuery && !OnCloseQuery(*this)) return;
    if (modal_) {
        SetModalResult(mrCancel);
        return;
    }
    Hide();
    if (OnClose) OnClose(*this);
    if (Application::Instance().MainForm() == this) Application::Instance().Terminate();
}

void Form::SetModalResult(int result) { modalResult_ = result; }

int Form::ShowModal() {
    if (modal_ || Visible()) return mrNone;
    // Every other enabled top-level window of this thread gets no input meanwhile.
    // Owned by the window that opened it, it stays above that window (its
    // taskbar button, Alt+Tab) and needs no taskbar button of its own.
    Application& app = Application::Instance();
    const HWND formerOwner = GetWindow(hwnd_, GW_OWNER);
    const HWND opener = app.DialogOwner(nullptr, hwnd_);
    if (opener) SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(opener));
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
    HWND previous = GetActiveWindow();
    for (HWND w : disabled) EnableWindow(w, FALSE);
    modal_ = true;
    modalResult_ = mrNone;
    Show();
    // Keys go to the dialog from the start, not to a control of the window
    // that opened it (Enter and Esc may mean something to the dialog).
    if (!IsChild(hwnd_, GetFocus())) ::SetFocus(hwnd_);
    while (modalResult_ == mrNone) {
        if (!app.ProcessMessage()) {
            PostQuitMessage(0);  // the outer loop ends too
            if (modalResult_ == mrNone) modalResult_ = mrCancel;
            break;
        }
    }
    for (HWND w : disabled) EnableWindow(w, TRUE);
    Hide();
    // The opener may go before this form does, and would take it along.
    if (opener) SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(formerOwner));
    modal_ = false;
    if (previous && IsWindow(previous)) SetActiveWindow(previous);
    return modalResult_;
}

void Form::CaptureMouse() { SetCapture(hwnd_); }

void Form::ReleaseMouse() {
    if (GetCapture() == hwnd_) ReleaseCapture();
}

void Form::Invalidate() { InvalidateRect(hwnd_, nullptr, FALSE); }

void Form::Repaint() { UpdateWindow(hwnd_); }

void Form::AddControl(Control* c) { controls_.push_back(c); }

void Form::RemoveControl(Control* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (pressed_ == c) pressed_ = nullptr;
}

void Form::AddWinControl(WinControl* c) { winControls_.push_back(c); }

void Form::RemoveWinControl(WinControl* c) {
    winControls_.erase(std::remove(winControls_.begin(), winControls_.end(), c), winControls_.end());
}

void Form::UserMessage(UINT, WPARAM, LPARAM) {}

Control* Form::ControlAt(int x, int y) const {
    // In device pixels: a control is hit exactly where it is painted.
    std::vector<Shape> shapes;
    shapes.reserve(controls_.size());
    for (Control* c : controls_) shapes.push_back(Shape{scale_.ToDevice(c->Bounds()), c->Visible()});
    Point p;
    p.x = x;
    p.y = y;
    int i = HitTopmost(shapes, p);
    return i < 0 ? nullptr : controls_[static_cast<size_t>(i)];
}

void Form::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    // Composed off screen, then copied once: no flicker, and a snapshot of the
    // window never catches a half-painted face.
    const int w = scale_.ToDevice(width_), h = scale_.ToDevice(height_);
    MemoryDC mem(dc);
    Bitmap buffer(CreateCompatibleBitmap(dc, w, h));
    if (mem.Get() && buffer) {
        ScopedSelect sel(mem.Get(), buffer.Get());
        int saved = SaveDC(mem.Get());
        MapLogical(mem.Get());
        RECT all = ToRECT(0, 0, width_, height_);
        FillRect(mem.Get(), &all, brush_.Get());
        for (Control* c : controls_) {
            if (c->Visible()) c->Paint(mem.Get());
        }
        RestoreDC(mem.Get(), saved);
        BitBlt(dc, 0, 0, w, h, mem.Get(), 0, 0, SRCCOPY);
    }
    EndPaint(hwnd_, &ps);
}

void Form::MouseButtonEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    MouseButton button = MouseButton::Left;
    bool down = false;
    switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: down = true; break;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: button = MouseButton::Right; down = true; break;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: button = MouseButton::Middle; down = true; break;
    case WM_RBUTTONUP: button = MouseButton::Right; break;
    case WM_MBUTTONUP: button = MouseButton::Middle; break;
    default: break;
    }
    ShiftState shift = ShiftFrom(wParam);
    if (down) {
        Control* target = pressed_ ? pressed_ : ControlAt(x, y);
        if (!target) return;
        if (!pressed_) {
            pressed_ = target;
            pressedLeft_ = false;
            SetCapture(hwnd_);
        }
        // The second press of a double click is a press (a drag may start)
        // but not a click: the person meant one click, which the first
        // press and release already made.
        if (button == MouseButton::Left && message != WM_LBUTTONDBLCLK) pressedLeft_ = true;
        if (target->OnMouseDown)
            target->OnMouseDown(*target, button, shift, scale_.ToLogical(x) - target->Left(),
                                scale_.ToLogical(y) - target->Top());
        return;
    }
    Control* target = pressed_ ? pressed_ : ControlAt(x, y);
    if (!target) return;
    const bool wasPressed = pressed_ == target;
    const bool clickable = button == MouseButton::Left && wasPressed && pressedLeft_;
    if (button == MouseButton::Left) pressedLeft_ = false;
    // The press ends here: a handler that releases the capture itself (the
    // drag does) then ends no press, and no capture loss is reported.
    const bool last = !(shift & (ssLeft | ssRight | ssMiddle));
    if (last) pressed_ = nullptr;
    if (target->OnMouseUp)
        target->OnMouseUp(*target, button, shift, scale_.ToLogical(x) - target->Left(),
                          scale_.ToLogical(y) - target->Top());
    bool click = clickable && target->Visible() && ControlAt(x, y) == target;
    if (last) ReleaseMouse();
    if (click && target->OnClick) target->OnClick(*target);
}

void Form::MouseMoveEvent(WPARAM wParam, LPARAM lParam) {
    int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    Control* target = pressed_ ? pressed_ : ControlAt(x, y);
    if (target && target->OnMouseMove)
        target->OnMouseMove(*target, ShiftFrom(wParam), scale_.ToLogical(x) - target->Left(),
                            scale_.ToLogical(y) - target->Top());
}

bool Form::SetCursorFor(HWND hit, LPARAM lParam) {
    if (hit != hwnd_ || LOWORD(lParam) != HTCLIENT) return false;
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    Control* c = pressed_ ? pressed_ : ControlAt(p.x, p.y);
    bool hand = c && c->GetCursor() == Cursor::HandPoint;
    ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(hand ? IDC_HAND : IDC_ARROW)));
    return true;
}

void Form::CaptureLost() {
    // No release will come: the press ends here.
    Control* lost = pressed_;
    pressed_ = nullptr;
    pressedLeft_ = false;
    if (lost && lost->OnCaptureLost) Guarded([lost] { lost->OnCaptureLost(*lost); });
}

HBRUSH Form::ControlBrush(HWND child, HDC dc) {
    WinControl* c = WinControl::FromHandle(child);
    return c ? c->ControlColour(dc) : nullptr;
}

bool Form::ReflectCommand(HWND child, WORD code) {
    WinControl* c = WinControl::FromHandle(child);
    if (!c) return false;
    Guarded([&] { c->Command(code); });
    return true;
}

bool Form::MonitorChange(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DPICHANGED) {
        Guarded([&] { DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); });
        return true;
    }
    // Before the first showing the window has no place to keep yet.
    const bool workArea = message == WM_DISPLAYCHANGE || wParam == SPI_SETWORKAREA;
    if (workArea && placed_) Guarded([this] { WorkAreaChanged(); });
    return false;
}

LRESULT Form::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Guarded([this] { Paint(); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
        Guarded([&] { MouseButtonEvent(message, wParam, lParam); });
        return 0;
    case WM_MOUSEMOVE:
        Guarded([&] { MouseMoveEvent(wParam, lParam); });
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd_) CaptureLost();
        return 0;
    case WM_CANCELMODE:
        ReleaseMouse();
        break;
    case WM_SETCURSOR:
        if (SetCursorFor(reinterpret_cast<HWND>(wParam), lParam)) return TRUE;
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (HBRUSH b = ControlBrush(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)))
            return reinterpret_cast<LRESULT>(b);
        break;
    case WM_COMMAND:
        if (ReflectCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam))) return 0;
        break;
    case WM_CLOSE:
        Guarded([this] { Close(); });
        return 0;
    case WM_KEYDOWN:
        if (OnKeyDown) {
            Guarded([&] { OnKeyDown(*this, static_cast<uint16_t>(wParam)); });
            return 0;
        }
        break;
    case WM_DPICHANGED:
    case WM_SETTINGCHANGE:
    case WM_DISPLAYCHANGE:
        if (MonitorChange(message, wParam, lParam)) return 0;
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            Guarded([] { Application::Instance().Minimize(); });
            return 0;
        }
        break;
    default:
        break;
    }
    LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
    if (message >= WM_USER && message <= 0x7FFF) Guarded([&] { UserMessage(message, wParam, lParam); });
    return result;
}

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        Form* f = static_cast<Form*>(cs->lpCreateParams);
        f->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
    }
    Form* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
    return form->Process(message, wParam, lParam);
}

} // namespace ui
