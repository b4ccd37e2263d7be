// The framework's Windows halves: handle owners, the picture decoder (WIC)
// over the program's own resources, and forms driven by their messages.
#include <gtest/gtest.h>
#include <windows.h>
#include <imm.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "ui/application.h"
#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "ui/gdi.h"
#include "ui/grid.h"
#include "ui/picture.h"
#include "ui/windowclass.h"

namespace {

using namespace ui;

TEST(GdiObject, ReplacingOrDroppingAHandleDeletesTheOldOne) {
    HBRUSH first = CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH second = CreateSolidBrush(RGB(4, 5, 6));
    ASSERT_NE(GetObjectType(first), 0u);
    {
        Brush b(first);
        b.Reset(second);
        EXPECT_EQ(GetObjectType(first), 0u) << "the replaced brush was not deleted";
        EXPECT_NE(GetObjectType(second), 0u);
        Brush moved(std::move(b));
        EXPECT_EQ(b.Get(), nullptr);
        EXPECT_EQ(moved.Get(), second);
    }
    EXPECT_EQ(GetObjectType(second), 0u) << "the owner's destructor did not delete its brush";
}

TEST(GdiObject, ReleaseHandsTheHandleOn) {
    HBRUSH h = CreateSolidBrush(RGB(1, 2, 3));
    {
        Brush b(h);
        EXPECT_EQ(b.Release(), h);
    }
    EXPECT_NE(GetObjectType(h), 0u);
    DeleteObject(h);
}

// Blue, green, red of one pixel of a 32-bit top-down picture.
void PixelAt(const Picture& pic, int x, int y, int* r, int* g, int* b) {
    DIBSECTION ds = {};
    ASSERT_EQ(GetObjectW(pic.Handle(), sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
    ASSERT_EQ(ds.dsBm.bmBitsPixel, 32);
    const unsigned char* row = static_cast<const unsigned char*>(ds.dsBm.bmBits) + y * ds.dsBm.bmWidthBytes;
    *b = row[x * 4];
    *g = row[x * 4 + 1];
    *r = row[x * 4 + 2];
}

TEST(Picture, FacesDecodeToTheirClientSizesAs32BitDibs) {
    struct Face {
        const wchar_t* name;
        int width, height;
    } faces[] = {
        {L"LOGIN_FACE", 1280, 798}, {L"LIST_FACE", 1280, 798}, {L"SUBMIT_FACE", 500, 620}, {L"CONFIRM_FACE", 480, 520}};
    for (const Face& f : faces) {
        Picture pic = Picture::FromResource(f.name);
        ASSERT_FALSE(pic.Empty());
        EXPECT_EQ(pic.Width(), f.width);
        EXPECT_EQ(pic.Height(), f.height);
        // Below the title strip: the windows' background colour, RGB(30, 9, 104)
        // within what JPEG keeps of it.
        int r = 0, g = 0, b = 0;
        PixelAt(pic, f.width - 20, f.height - 8, &r, &g, &b);
        EXPECT_NEAR(r, 30, 6);
        EXPECT_NEAR(g, 9, 6);
        EXPECT_NEAR(b, 104, 6);
    }
}

TEST(Picture, IconsKeepTheirTransparency) {
    Picture folder = Picture::FromResource(L"FOLDER_ICON");
    ASSERT_FALSE(folder.Empty());
    EXPECT_EQ(folder.Width(), 24);
    DIBSECTION ds = {};
    ASSERT_TRUE(GetObjectW(folder.Handle(), sizeof(ds), &ds));
    const unsigned char* px = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    EXPECT_EQ(px[3], 0) << "top-left corner of the folder icon should be transparent";
    Picture apply = Picture::FromResource(L"APPLY_ON_ICON");
    EXPECT_EQ(apply.Width(), 100);
    EXPECT_EQ(apply.Height(), 32);
}

TEST(Picture, MissingOrBrokenDataGivesAnEmptyPicture) {
    EXPECT_TRUE(Picture::FromResource(L"NO_SUCH_PICTURE").Empty());
    const char junk[] = "\xFF\xD8\xFF\xE0 not really a JPEG";
    EXPECT_TRUE(Picture::FromEncoded(junk, sizeof(junk)).Empty());
    EXPECT_TRUE(Picture::FromEncoded(nullptr, 10).Empty());
}

// Puts `units` UTF-16 units on the clipboard, as they are (no terminator added).
bool PutClipboardUnits(const wchar_t* units, size_t count) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, count * sizeof(wchar_t));
    bool ok = false;
    if (mem) {
        std::memcpy(GlobalLock(mem), units, count * sizeof(wchar_t));
        GlobalUnlock(mem);
        ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        if (!ok) GlobalFree(mem);
    }
    CloseClipboard();
    return ok;
}

TEST(Clipboard, ReadsUnicodeTextWithinItsLimit) {
    const wchar_t text[] = L"a1234567890\u8b49";
    ASSERT_TRUE(PutClipboardUnits(text, sizeof(text) / sizeof(wchar_t)));
    std::wstring got;
    ASSERT_TRUE(ReadClipboardText(nullptr, &got));
    EXPECT_EQ(got, L"a1234567890\u8b49");
    ASSERT_TRUE(ReadClipboardText(nullptr, &got, 4));
    EXPECT_EQ(got, L"a123");
    // The clipboard is closed again: another reader can open it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    CloseClipboard();
}

TEST(Clipboard, TextWithoutATerminatorStopsAtItsBlock) {
    const wchar_t units[] = {L'x', L'y', L'z'};
    ASSERT_TRUE(PutClipboardUnits(units, 3));
    std::wstring got;
    ASSERT_TRUE(ReadClipboardText(nullptr, &got));
    // Never past the block; Wine terminates such text itself, inside the block.
    // Text there is, all the same: a read that returns nothing is no read.
    EXPECT_GE(got.size(), 2u);
    EXPECT_LE(got.size(), 3u);
    EXPECT_EQ(std::wstring(L"xyz").substr(0, got.size()), got);
}

} // namespace

// ---- edit boxes and forms ----------------------------------------------------

TEST(EditKeyFilter, AnInputMethodCharacterReachesTheFilterAsItsTwoBytes) {
    ui::Form form(300, 100);
    ui::Edit edit(form, 0, 0, 200, 28);
    std::string seen;
    edit.OnKeyPress = [&seen](ui::Edit&, char& key) {
        seen.push_back(key);
        if (static_cast<unsigned char>(key) >= 0x80) key = 0;
    };
    // Big5 A4 A4, lead byte high, as an input method delivers it; then a
    // single-byte one. Without the split the box inserts the character
    // itself and the filter never sees it.
    SendMessageA(edit.Handle(), WM_IME_CHAR, 0xA4A4, 1);
    SendMessageA(edit.Handle(), WM_IME_CHAR, 'k', 1);
    EXPECT_EQ(std::string("\xA4\xA4k"), seen);
    EXPECT_EQ("k", edit.Text()) << "only the byte the filter passed reached the box";
}

TEST(FormClicks, ADoubleClickIsOneClick) {
    ui::Form form(300, 100);
    ui::Label label(form, 10, 10, 50, 20);
    int clicks = 0;
    label.OnClick = [&clicks](ui::Control&) { ++clicks; };
    const LPARAM at = MAKELPARAM(20, 20);
    // What the system sends for a double click on a class with CS_DBLCLKS.
    SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(form.Handle(), WM_LBUTTONUP, 0, at);
    SendMessageW(form.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(form.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(1, clicks);
    SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(form.Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(2, clicks) << "a later single click counts again";
}

// ---- window classes -----------------------------------------------------------

namespace {
LRESULT CALLBACK AnswerOne(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return m == WM_USER ? 1 : DefWindowProcW(w, m, wp, lp);
}
LRESULT CALLBACK AnswerTwo(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return m == WM_USER ? 2 : DefWindowProcW(w, m, wp, lp);
}
} // namespace

TEST(WindowClass, ASecondRegistrationSucceedsAndKeepsTheFirstClass) {
    ASSERT_TRUE(ui::RegisterWindowClass(L"KovaTestOnce", AnswerOne, 0, nullptr));
    EXPECT_TRUE(ui::RegisterWindowClass(L"KovaTestOnce", AnswerTwo, CS_DBLCLKS, nullptr));
    HWND w = CreateWindowExW(0, L"KovaTestOnce", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(1, SendMessageW(w, WM_USER, 0, 0));
    EXPECT_EQ(0u, GetClassLongPtrW(w, GCL_STYLE) & CS_DBLCLKS);
    DestroyWindow(w);
}

TEST(WindowClass, FormsAndGridsTakeDoubleClicksAndTheProgramIconIsOnItsWindows) {
    ui::Form form(300, 100);
    ui::Grid grid(form, 0, 0, 200, 80);
    // Without CS_DBLCLKS the second press of a double click is a press, and
    // a double click two clicks.
    EXPECT_NE(0u, GetClassLongPtrW(form.Handle(), GCL_STYLE) & CS_DBLCLKS);
    EXPECT_NE(0u, GetClassLongPtrW(grid.Handle(), GCL_STYLE) & CS_DBLCLKS);
    // The icon of Alt+Tab and of the minimised application's taskbar entry.
    EXPECT_NE(0u, GetClassLongPtrW(form.Handle(), GCLP_HICON));
    EXPECT_NE(0u, GetClassLongPtrW(ui::Application::Instance().Handle(), GCLP_HICON));
}

// ---- scale -------------------------------------------------------------------

TEST(Picture, EveryPictureHasItsCopyAtTwiceTheSize) {
    const wchar_t* names[] = {L"LOGIN_FACE",     L"LIST_FACE",       L"SUBMIT_FACE",    L"CONFIRM_FACE",
                              L"FOLDER_ICON",    L"EYE_HIDDEN_ICON", L"EYE_SHOWN_ICON", L"RELOAD_ICON",
                              L"APPLY_ON_ICON",  L"APPLY_OFF_ICON"};
    for (const wchar_t* name : names) {
        Picture one = Picture::DecodeResource(name);
        Picture two = Picture::DecodeResource((std::wstring(name) + L"_2X").c_str());
        ASSERT_FALSE(two.Empty());
        EXPECT_EQ(two.Width(), 2 * one.Width());
        EXPECT_EQ(two.Height(), 2 * one.Height());
    }
}

TEST(Picture, OnAMappedDcItIsDrawnFromItsCopyAtTwiceTheSize) {
    // At a scale of two the copy drawn at twice the size lands pixel for
    // pixel: no stretched 1x pixels, nothing outside the device rectangle.
    Picture face = Picture::FromResource(L"SUBMIT_FACE");
    Picture large = Picture::DecodeResource(L"SUBMIT_FACE_2X");
    ASSERT_FALSE(face.Empty());
    ASSERT_FALSE(large.Empty());
    const int W = 1020, H = 1260;
    WindowDC screen(nullptr);
    MemoryDC mem(screen.Get());
    void* bits = nullptr;
    Bitmap target = MakeDib(W, H, &bits);
    ASSERT_TRUE(target && bits);
    std::memset(bits, 0, static_cast<size_t>(W) * H * 4);
    {
        ScopedSelect sel(mem.Get(), target.Get());
        SetMapMode(mem.Get(), MM_ANISOTROPIC);
        SetWindowExtEx(mem.Get(), 1, 1, nullptr);
        SetViewportExtEx(mem.Get(), 2, 2, nullptr);
        face.Draw(mem.Get(), 5, 5);  // device 10..1010 x 10..1250
    }
    GdiFlush();
    DIBSECTION ds = {};
    ASSERT_TRUE(GetObjectW(large.Handle(), sizeof(ds), &ds));
    const uint32_t* want = static_cast<const uint32_t*>(ds.dsBm.bmBits);
    const uint32_t* got = static_cast<const uint32_t*>(bits);
    int differ = 0;
    for (int y = 0; y < 1240; ++y)
        for (int x = 0; x < 1000; ++x)
            differ += (got[(y + 10) * W + x + 10] & 0xFFFFFF) != (want[y * 1000 + x] & 0xFFFFFF);
    EXPECT_EQ(0, differ);
    EXPECT_EQ(0u, got[9 * W + 9]) << "nothing above and left of it";
    EXPECT_EQ(0u, got[1250 * W + 1010]) << "nothing below and right of it";
}

TEST(FormScale, ADpiChangeResizesTheWindowAndItsControlsAndMapsThePointer) {
    ui::Form form(300, 100);
    ui::Label label(form, 100, 40, 50, 20);
    ui::Edit edit(form, 10, 10, 100, 20);
    int clicks = 0, downX = -1, downY = -1;
    label.OnClick = [&clicks](ui::Control&) { ++clicks; };
    label.OnMouseDown = [&](ui::Control&, ui::MouseButton, ui::ShiftState, int x, int y) {
        downX = x;
        downY = y;
    };
    RECT suggested = {40, 30, 640, 230};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(form.GetScale(), (ui::Scale{2, 1}));
    RECT client = {};
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 200);
    RECT box = {};
    GetWindowRect(edit.Handle(), &box);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, 20);
    EXPECT_EQ(box.top, 20);
    EXPECT_EQ(box.right - box.left, 200);
    // Device 250, 100 is logical 125, 50: inside the label, 25 and 10 into it.
    SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 100));
    SendMessageW(form.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(250, 100));
    EXPECT_EQ(1, clicks);
    EXPECT_EQ(25, downX);
    EXPECT_EQ(10, downY);
    // Device 120, 50 would be inside the label at its logical size: not at 2x.
    SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 50));
    SendMessageW(form.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(120, 50));
    EXPECT_EQ(1, clicks);
}

namespace {
RECT WorkAreaNow() {
    RECT wa = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &wa, 0);
    return wa;
}
RECT WindowRectOf(const ui::Form& f) {
    RECT r = {};
    GetWindowRect(f.Handle(), &r);
    return r;
}
} // namespace

TEST(FormPlace, TheFirstShowingCentresTheWindowInTheWorkArea) {
    const RECT wa = WorkAreaNow();
    ui::Form form(300, 100);
    form.Show();
    const RECT r = WindowRectOf(form);
    EXPECT_NEAR((wa.left + wa.right) / 2, (r.left + r.right) / 2, 1);
    EXPECT_NEAR((wa.top + wa.bottom) / 2, (r.top + r.bottom) / 2, 1);
}

TEST(FormPlace, AChangedWorkAreaOrDpiKeepsAShownWindowInside) {
    const RECT wa = WorkAreaNow();
    ui::Form form(300, 100);
    // Not shown yet: nothing to keep, the first showing places it.
    form.SetPosition(wa.right - 50, wa.bottom - 20);
    SendMessageW(form.Handle(), WM_DISPLAYCHANGE, 32, MAKELPARAM(wa.right, wa.bottom));
    EXPECT_EQ(wa.right - 50, form.Left()) << "a hidden window was moved before its first showing";
    form.Show();
    const RECT shown = WindowRectOf(form);
    const LONG w = shown.right - shown.left, h = shown.bottom - shown.top;
    // Each change that concerns the work area moves it the least distance inside.
    const std::function<void()> changes[] = {
        [&form] { SendMessageW(form.Handle(), WM_DISPLAYCHANGE, 32, 0); },
        [&form] { SendMessageW(form.Handle(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0); },
    };
    for (const auto& change : changes) {
        form.SetPosition(wa.right - 50, wa.bottom - 20);
        change();
        EXPECT_EQ(wa.right - w, form.Left());
        EXPECT_EQ(wa.bottom - h, form.Top());
    }
    form.SetPosition(wa.right - 50, wa.bottom - 20);
    SendMessageW(form.Handle(), WM_SETTINGCHANGE, SPI_SETDESKWALLPAPER, 0);
    EXPECT_EQ(wa.right - 50, form.Left()) << "a setting that is not the work area moved the window";
    // A DPI change puts it at the suggested corner, kept inside at its new size.
    const UINT dpi = static_cast<UINT>(96 * form.GetScale().num / form.GetScale().den);
    RECT suggested = {wa.left - 40, wa.top + 10, wa.left - 40 + w, wa.top + 10 + h};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(wa.left, form.Left());
    EXPECT_EQ(wa.top + 10, form.Top());
}

// ---- dragging, dialog owners, one-click dialogs --------------------------------

namespace {

// Whether `upper` lies above `lower` in the top-level z-order.
bool IsAbove(HWND upper, HWND lower) {
    for (HWND w = GetWindow(lower, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
        if (w == upper) return true;
    return false;
}

// The left button pressed and released at a screen point, as the mouse does.
void ClickOnScreen(int x, int y) {
    INPUT in[3] = {};
    for (INPUT& i : in) i.type = INPUT_MOUSE;
    in[0].mi.dx = static_cast<LONG>((x * 65536 + GetSystemMetrics(SM_CXSCREEN) - 1) / GetSystemMetrics(SM_CXSCREEN));
    in[0].mi.dy = static_cast<LONG>((y * 65536 + GetSystemMetrics(SM_CYSCREEN) - 1) / GetSystemMetrics(SM_CYSCREEN));
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof(INPUT));
}

void ClickOnControl(const ui::Control& c) {
    POINT p = {c.Left() + c.Width() / 2, c.Top() + c.Height() / 2};
    ClientToScreen(c.Owner().Handle(), &p);
    ClickOnScreen(p.x, p.y);
}

// A form that runs `onUser` when it receives WM_USER + 1.
class ProbeForm : public ui::Form {
public:
    ProbeForm(int w, int h) : ui::Form(w, h) {}
    std::function<void()> onUser;

protected:
    void UserMessage(UINT message, WPARAM, LPARAM) override {
        if (message == WM_USER + 1 && onUser) onUser();
    }
};

} // namespace

TEST(WindowDrag, LosingTheMouseCaptureEndsTheDrag) {
    const LPARAM press = MAKELPARAM(10, 10), later = MAKELPARAM(60, 40);
    ui::Form other(100, 100);
    // Ways the capture goes: a message box or another window takes it, the
    // system cancels the mode (Alt+Tab), or it is simply released.
    const std::function<void(HWND)> losses[] = {
        [&other](HWND) { SetCapture(other.Handle()); ReleaseCapture(); },
        [](HWND form) { SendMessageW(form, WM_CANCELMODE, 0, 0); },
        [](HWND) { ReleaseCapture(); },
    };
    for (ui::WindowDrag::Mode mode : {ui::WindowDrag::WithFlag, ui::WindowDrag::WhileLeftHeld}) {
        for (const auto& lose : losses) {
            ui::Form form(300, 200);
            ui::Image handle(form, 0, 0, 300, 200);
            ui::WindowDrag drag(form, mode);
            drag.Attach(handle);
            form.SetPosition(100, 100);
            SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, press);
            ASSERT_EQ(GetCapture(), form.Handle());
            SendMessageW(form.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 15));
            ASSERT_EQ(110, form.Left()) << "a drag moves the form";
            lose(form.Handle());
            EXPECT_FALSE(drag.Dragging());
            // No button held: the form stays, also where the button is still down.
            SendMessageW(form.Handle(), WM_MOUSEMOVE, 0, later);
            SendMessageW(form.Handle(), WM_MOUSEMOVE, MK_LBUTTON, later);
            EXPECT_EQ(110, form.Left()) << "the form followed the pointer after the capture went (mode " << mode << ")";
            EXPECT_EQ(105, form.Top());
            // The next press starts a new drag.
            SendMessageW(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, press);
            SendMessageW(form.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 10));
            SendMessageW(form.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
            EXPECT_EQ(120, form.Left());
            EXPECT_FALSE(drag.Dragging());
        }
    }
}

TEST(ModalOwner, AModalDialogIsOwnedByTheWindowThatOpenedItAndStaysAboveIt) {
    ui::Form list(400, 300);
    ProbeForm dialog(200, 100);
    dialog.SetShowInTaskbar(false);
    list.Show();
    const HWND formerOwner = GetWindow(dialog.Handle(), GW_OWNER);
    HWND owner = nullptr;
    bool above = false, listEnabled = true;
    dialog.onUser = [&] {
        owner = GetWindow(dialog.Handle(), GW_OWNER);
        // The list's taskbar button or Alt+Tab raises the list.
        BringWindowToTop(list.Handle());
        SetWindowPos(list.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = IsAbove(dialog.Handle(), list.Handle());
        listEnabled = IsWindowEnabled(list.Handle()) != FALSE;
        dialog.SetModalResult(ui::mrOk);
    };
    PostMessageW(dialog.Handle(), WM_USER + 1, 0, 0);
    EXPECT_EQ(ui::mrOk, dialog.ShowModal());
    EXPECT_EQ(list.Handle(), owner);
    EXPECT_TRUE(above) << "the list came above its own modal dialog";
    EXPECT_FALSE(listEnabled);
    EXPECT_EQ(formerOwner, GetWindow(dialog.Handle(), GW_OWNER)) << "the owner is not given back after the dialog";
}

namespace {
std::function<void()> g_onTimer;
void CALLBACK RunOnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_onTimer) g_onTimer();
}
BOOL CALLBACK FindMessageBox(HWND w, LPARAM p) {
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (IsWindowVisible(w) && std::wstring(cls) == L"#32770") {
        *reinterpret_cast<HWND*>(p) = w;
        return FALSE;
    }
    return TRUE;
}
} // namespace

TEST(ModalOwner, AMessageBoxAskedForByAHiddenWindowIsOwnedByTheShownOne) {
    ui::Form login(300, 200), list(400, 300);
    list.Show();
    HWND box = nullptr, owner = nullptr;
    bool above = false;
    g_onTimer = [&] {
        EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
        if (!box) {
            SetTimer(nullptr, 0, 1, RunOnTimer);
            return;
        }
        owner = GetWindow(box, GW_OWNER);
        BringWindowToTop(list.Handle());
        above = IsAbove(box, list.Handle());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    SetTimer(nullptr, 0, 1, RunOnTimer);
    ui::ShowMessage(login.Handle(), "title", "update");
    g_onTimer = nullptr;
    ASSERT_NE(nullptr, box) << "no message box";
    EXPECT_EQ(list.Handle(), owner);
    EXPECT_TRUE(above) << "the message box sank behind the list";
    EXPECT_TRUE(IsWindowEnabled(list.Handle()));
}

TEST(ModalClicks, OneRealClickEndsADialogOpenedByAClickAndTheOneAfterIt) {
    // As the list opens the submit dialog from a click, then the confirmation
    // once the submit dialog has closed: each dialog's button needs one click.
    ui::Form list(500, 400);
    ui::Label cell(list, 100, 100, 80, 40);
    ui::Form submit(300, 250), confirm(280, 260);
    ui::Label submitOk(submit, 150, 190, 120, 40), confirmOk(confirm, 30, 200, 220, 40);
    for (ui::Form* f : {&submit, &confirm}) f->SetShowInTaskbar(false);
    submitOk.OnClick = [&submit](ui::Control&) { submit.SetModalResult(ui::mrOk); };
    confirmOk.OnClick = [&confirm](ui::Control&) { confirm.Close(); };
    int submitResult = ui::mrNone, confirmResult = ui::mrNone, ticks = 0;
    bool done = false;
    cell.OnClick = [&](ui::Control&) {
        submitResult = submit.ShowModal();
        if (submitResult == ui::mrOk) confirmResult = confirm.ShowModal();
        done = true;
    };
    // Each tick, once every input before it has been handled: click where
    // the next step is, or give up on a dialog that one click did not end.
    int step = 0;
    g_onTimer = [&] {
        ++ticks;
        if (step == 0 && list.Visible()) { ClickOnControl(cell); ++step; ticks = 0; }
        else if (step == 1 && submit.Visible()) { ClickOnControl(submitOk); ++step; ticks = 0; }
        else if (step == 2 && confirm.Visible()) { ClickOnControl(confirmOk); ++step; ticks = 0; }
        else if (ticks > 50) {
            if (submit.IsModal()) submit.SetModalResult(99);
            else if (confirm.IsModal()) confirm.SetModalResult(99);
            else done = true;  // the list's click was lost
        }
        if (!done) SetTimer(nullptr, 0, 20, RunOnTimer);
    };
    list.Show();
    SetTimer(nullptr, 0, 20, RunOnTimer);
    ui::Application& app = ui::Application::Instance();
    while (!done && app.ProcessMessage()) {
    }
    g_onTimer = nullptr;
    EXPECT_EQ(ui::mrOk, submitResult) << "the submit dialog's button took more than one click";
    EXPECT_EQ(ui::mrCancel, confirmResult) << "the confirmation's button took more than one click";
}

// ---- edit boxes: single-byte boxes, paste routes, consumed keys --------------

namespace {

// Posts a key-down as the keyboard would and runs the loop, whose
// TranslateMessage makes the key's character.
void PressKey(HWND box, UINT vk, UINT scanCode) {
    PostMessageA(box, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scanCode << 16)));
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

void SendByte(ui::Edit& box, unsigned char byte) { SendMessageA(box.Handle(), WM_CHAR, byte, 1); }

void HoldKey(int vk, bool down) {  // as GetKeyState sees it
    BYTE state[256];
    GetKeyboardState(state);
    state[vk] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

HWND g_menuBox = nullptr;
void CALLBACK PickPaste(HWND, UINT, UINT_PTR id, DWORD) {  // runs in the menu's loop
    KillTimer(nullptr, id);
    PostMessageA(g_menuBox, WM_CHAR, 'p', 0);
}
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    EndMenu();
}

} // namespace

// A refused character whose second byte was 0x80 or above ate the next real
// key, also in the next box: the first password character after the ID.
TEST(EditSingleByte, KeyAfterARefusedCharacterIsNotLost) {
    ui::Form form(300, 100);
    ui::Edit id(form, 0, 0, 200, 28), pwd(form, 0, 30, 200, 28);
    id.SetSingleByteOnly(true);
    pwd.SetSingleByteOnly(true);
    SetFocus(id.Handle());
    for (unsigned char b : {0xA4, 0xA4, 0x81}) SendByte(id, b);  // Big5 A4 A4, a lone lead byte
    SetFocus(pwd.Handle());
    SendByte(pwd, 'p');
    SetFocus(id.Handle());
    SendByte(id, 'a');  // could be a trail byte, but the box was left
    SendByte(id, 0x81);
    PressKey(id.Handle(), 'B', 0x30);  // a new key
    for (unsigned char b : {0xA5, 0x5C, 0x63}) SendByte(id, b);  // Big5 A5 5C (trail goes too), 'c'
    EXPECT_EQ("p", pwd.Text());
    EXPECT_EQ("abc", id.Text());
}

// A finished input-method composition went into a filtered box whole, past
// the key filter.
TEST(EditSingleByte, InputMethodTextNeverGetsPastTheFilter) {
    ui::Form form(300, 100);
    ui::Edit pwd(form, 0, 0, 200, 28), path(form, 0, 30, 200, 28);
    pwd.SetSingleByteOnly(true);
    EXPECT_EQ(nullptr, ImmGetContext(pwd.Handle()));
    HIMC imc = ImmGetContext(path.Handle());
    EXPECT_NE(nullptr, imc) << "the path box keeps its input method";
    ImmReleaseContext(path.Handle(), imc);
    SendMessageW(pwd.Handle(), WM_IME_COMPOSITION, 0x4E2D, GCS_RESULTSTR);
    SendMessageA(pwd.Handle(), WM_IME_CHAR, 0xA4A4, 1);
    SendByte(pwd, 'k');
    EXPECT_EQ("k", pwd.Text());
}

// Only Ctrl+V went through the ID's rules: WM_PASTE, Shift+Insert and the
// context menu pasted the clipboard as it was.
TEST(EditPaste, EveryPasteRouteGoesThroughTheHook) {
    ui::Form form(300, 100);
    ui::Edit edit(form, 0, 0, 200, 28);
    int pastes = 0;
    edit.OnPaste = [&pastes](ui::Edit&) { ++pastes; };
    ASSERT_TRUE(PutClipboardUnits(L"zz", 3));
    SendMessageW(edit.Handle(), WM_PASTE, 0, 0);
    SendByte(edit, 0x16);
    HoldKey(VK_CONTROL, true);
    PressKey(edit.Handle(), 'V', 0x2F);  // with its 0x16: one paste
    HoldKey(VK_CONTROL, false);
    HoldKey(VK_SHIFT, true);
    PressKey(edit.Handle(), VK_INSERT, 0x52);
    HoldKey(VK_SHIFT, false);
    g_menuBox = edit.Handle();  // the box's own context menu; its mnemonic picks Paste
    SetTimer(nullptr, 0, 1, PickPaste);
    UINT_PTR guard = SetTimer(nullptr, 0, 10000, CloseMenu);  // never hang on the menu
    SendMessageW(edit.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(edit.Handle()), 0);
    KillTimer(nullptr, guard);
    EXPECT_EQ(5, pastes);
    EXPECT_EQ("", edit.Text()) << "the box's own paste never ran";
}

// Enter in a path box signed in or submitted on its key-down, and then its
// character still reached the box, which beeps.
TEST(EditKeyDown, ACharacterOfAConsumedKeyNeverReachesTheBox) {
    ui::Form form(300, 100);
    ui::Edit edit(form, 0, 0, 200, 28);
    std::string seen;
    edit.OnKeyDown = [](ui::Edit&, uint16_t& key, ui::ShiftState) { key = key == 'Y' ? key : 0; };
    edit.OnKeyPress = [&seen](ui::Edit&, char& key) { seen.push_back(key); };
    PressKey(edit.Handle(), VK_RETURN, 0x1C);
    PressKey(edit.Handle(), VK_ESCAPE, 0x01);
    PressKey(edit.Handle(), 'X', 0x2D);
    PressKey(edit.Handle(), 'Y', 0x15);
    EXPECT_EQ("y", seen);
    EXPECT_EQ("y", edit.Text());
}
