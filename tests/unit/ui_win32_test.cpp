// The framework's Windows halves: handle owners, the picture decoder (WIC)
// over the program's own resources, and forms driven by their messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "ui/gdi.h"
#include "ui/picture.h"

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
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = -H;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    Bitmap target(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
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
