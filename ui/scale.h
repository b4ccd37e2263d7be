// The scale a window is drawn at: its layout is in logical pixels (the size
// the faces were drawn for) and the screen gets device pixels. Kept as a
// fraction so that a scale of one is exactly the identity.
#pragma once

#include <cstdint>

#include "ui/geometry.h"

namespace ui {

struct Scale {
    int32_t num = 1, den = 1;  // device pixels per logical pixel, num / den

    bool IsIdentity() const { return num == den; }
    bool operator==(const Scale& o) const {
        return static_cast<int64_t>(num) * o.den == static_cast<int64_t>(o.num) * den;
    }
    bool operator!=(const Scale& o) const { return !(*this == o); }

    // A logical coordinate or length in device pixels, rounded to nearest
    // (halves up), as GDI rounds its mapping modes.
    int32_t ToDevice(int32_t logical) const;
    // The logical pixel whose device span holds this device pixel.
    int32_t ToLogical(int32_t device) const;
    // Edges are mapped, not sizes: touching rectangles stay touching.
    Rect ToDevice(const Rect& logical) const;
    Point ToDevice(Point logical) const;
    Point ToLogical(Point device) const;
};

// Logical pixels per inch: a scale of one.
const int32_t kBaseDpi = 96;
// Below this a window is no longer usable; it is drawn at it even when it
// does not fit.
const Scale kSmallestScale = {1, 2};

// The scale a window of this logical size is drawn at on a monitor of this
// DPI whose work area (the screen less the taskbar) is `workArea`: the DPI's
// own scale, or less where the window would not fit; never below
// kSmallestScale. A DPI or work area of zero or less is ignored.
Scale FitScale(int32_t dpi, const Rect& workArea, int32_t width, int32_t height);

// Where a window of this device size goes in the work area: its centre, or
// its top-left corner when it is larger.
Point PlaceIn(const Rect& workArea, int32_t width, int32_t height);

// Moves a window's rectangle (device pixels) the least distance that puts it
// inside the work area; a larger window keeps its top-left corner on it.
Point KeepInside(const Rect& window, const Rect& workArea);

} // namespace ui
