// Move-only owners of the GDI and DC handles the framework uses. Each closes
// its handle on destruction; replacing one closes the old handle first.
#pragma once

#include <windows.h>

#include <utility>

namespace ui {

template <typename H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject&& o) noexcept : h_(o.Release()) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    H Release() { return std::exchange(h_, nullptr); }
    void Reset(H h = nullptr) {
        if (h_ && h_ != h) DeleteObject(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

typedef GdiObject<HBITMAP> Bitmap;
typedef GdiObject<HFONT> FontHandle;
typedef GdiObject<HBRUSH> Brush;

// GetDC/ReleaseDC of a window (null window: the screen).
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDC() { if (dc_) ReleaseDC(hwnd_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// CreateCompatibleDC/DeleteDC.
class MemoryDC {
public:
    explicit MemoryDC(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDC() { if (dc_) DeleteDC(dc_); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back, so
// a bitmap or font is never deleted while still selected.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    ~ScopedSelect() { if (old_) SelectObject(dc_, old_); }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A top-down 32-bit DIB section of this size, and its pixels in `bits`
// (null when it could not be made).
inline Bitmap MakeDib(int width, int height, void** bits) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    return Bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, bits, nullptr, 0));
}

inline RECT ToRECT(int left, int top, int width, int height) {
    RECT r = {left, top, left + width, top + height};
    return r;
}

} // namespace ui
