// A picture held as a 32-bit DIB section: a face or icon decoded from the
// program's resources by the platform's imaging component (WIC), or a bitmap
// made at run time (the dimmed snapshot).
//
// Its size is in logical pixels. Drawn on a DC whose mapping makes that
// another device size, it is drawn resampled to it, from the resource's copy
// at twice the size (name + "_2X") where there is one.
#pragma once

#include <windows.h>

#include <string>

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
    // Start-up decodes the first window's face while it makes the window,
    // and the others' once that window is shown. A few at a time; call
    // both from the GUI thread.
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

    // The logical size it is drawn at (a run-time bitmap made at a device
    // size says here which logical size that was).
    void SetLogicalSize(int width, int height);

    // Draws at its logical size; pictures with transparent parts are blended.
    void Draw(HDC dc, int x, int y) const;

private:
    // The picture at this device size, made once and kept for the next paint.
    HBITMAP Resampled(int width, int height) const;

    Bitmap bitmap_;
    int width_ = 0, height_ = 0;            // logical
    int pixelWidth_ = 0, pixelHeight_ = 0;  // of bitmap_
    bool alpha_ = false;
    std::wstring hiRes_;  // the resource drawn at twice the size, if any
    mutable Bitmap resampled_;
    mutable int resampledWidth_ = 0, resampledHeight_ = 0;
};

} // namespace ui
