// A picture held as a 32-bit DIB section: a face or icon decoded from the
// program's resources by the platform's imaging component (WIC), or a bitmap
// made at run time (the dimmed snapshot).
#pragma once

#include <windows.h>

#include "ui/gdi.h"

namespace ui {

class Picture {
public:
    Picture() = default;
    Picture(Picture&&) = default;
    Picture& operator=(Picture&&) = default;

    // Decodes an RCDATA resource of the running module (JPEG, PNG, ...).
    // An empty picture when the resource is missing or cannot be decoded.
    static Picture FromResource(const wchar_t* name);
    // Starts decoding a resource on a thread of its own; the first
    // FromResource of that name then waits for it instead of decoding it.
    // Start-up decodes the first window's face while it makes the window.
    static void Prefetch(const wchar_t* name);
    // Decodes now, on the calling thread (any thread).
    static Picture DecodeResource(const wchar_t* name);
    // Decodes an encoded image held in memory (bounded by `size`).
    static Picture FromEncoded(const void* data, size_t size);
    // Takes ownership of a bitmap; drawn with a straight copy.
    static Picture FromBitmap(HBITMAP bitmap);

    bool Empty() const { return !bitmap_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    HBITMAP Handle() const { return bitmap_.Get(); }

    // Draws at its natural size; pictures with transparent parts are blended.
    void Draw(HDC dc, int x, int y) const;

private:
    Bitmap bitmap_;
    int width_ = 0, height_ = 0;
    bool alpha_ = false;
};

} // namespace ui
