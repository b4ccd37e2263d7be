// Window geometry without the Win32 types, so the rules can be tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ui {

struct Point {
    int32_t x = 0, y = 0;
};

struct Rect {
    int32_t left = 0, top = 0, width = 0, height = 0;
    // Left/top inclusive, right/bottom exclusive, as Win32's PtInRect.
    bool Contains(Point p) const {
        return p.x >= left && p.y >= top && p.x - left < width && p.y - top < height;
    }
};

inline Rect MakeRect(int32_t left, int32_t top, int32_t width, int32_t height) {
    Rect r;
    r.left = left;
    r.top = top;
    r.width = width;
    r.height = height;
    return r;
}

// Top-left corner that centres `size` on `area` (integer halves, toward zero).
Point CentreIn(const Rect& area, int32_t width, int32_t height);

// Offset that centres an inner length in an outer one, fraction dropped toward zero.
int32_t CentredOffset(int32_t outer, int32_t inner);

// New window position during a background drag: the anchor (pointer position
// inside the window when the button went down) stays under the pointer.
Point DragTarget(Point windowTopLeft, Point pointerInClient, Point anchor);

// Index of the topmost shape under `p`: later entries lie above earlier ones,
// so the search runs in reverse. Hidden entries never match. -1 when none.
struct Shape {
    Rect bounds;
    bool visible = true;
};
int HitTopmost(const std::vector<Shape>& shapes, Point p);

// A grid of fixed-height rows and per-column widths, scrolled by whole rows.
struct GridLayout {
    std::vector<int32_t> colWidths;
    int32_t rowHeight = 1;
    int32_t rowCount = 0;
    int32_t topRow = 0;  // first visible row
};
// The cell under a point in grid client coordinates; false outside every cell.
bool CellAt(const GridLayout& grid, Point p, int32_t* col, int32_t* row);
// Cell rectangle in grid client coordinates (rows above topRow lie above 0).
Rect CellRect(const GridLayout& grid, int32_t col, int32_t row);
// Rows that fit entirely in a client height (at least 1).
int32_t FullyVisibleRows(const GridLayout& grid, int32_t clientHeight);

} // namespace ui
