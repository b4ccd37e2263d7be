#include "ui/geometry.h"

namespace ui {

Point CentreIn(const Rect& area, int32_t width, int32_t height) {
    Point p;
    p.x = area.left + CentredOffset(area.width, width);
    p.y = area.top + CentredOffset(area.height, height);
    return p;
}

int32_t CentredOffset(int32_t outer, int32_t inner) {
    // 64-bit difference: two extreme 32-bit lengths must not wrap.
    return static_cast<int32_t>((static_cast<int64_t>(outer) - inner) / 2);
}

Point DragTarget(Point windowTopLeft, Point pointerInClient, Point anchor) {
    Point p;
    p.x = pointerInClient.x + windowTopLeft.x - anchor.x;
    p.y = pointerInClient.y + windowTopLeft.y - anchor.y;
    return p;
}

int HitTopmost(const std::vector<Shape>& shapes, Point p) {
    for (size_t i = shapes.size(); i-- > 0;) {
        if (shapes[i].visible && shapes[i].bounds.Contains(p)) return static_cast<int>(i);
    }
    return -1;
}

bool CellAt(const GridLayout& grid, Point p, int32_t* col, int32_t* row) {
    if (p.x < 0 || p.y < 0 || grid.rowHeight <= 0) return false;
    int64_t x = p.x;
    int32_t c = -1;
    for (size_t i = 0; i < grid.colWidths.size(); ++i) {
        if (x < grid.colWidths[i]) {
            c = static_cast<int32_t>(i);
            break;
        }
        x -= grid.colWidths[i];
    }
    if (c < 0) return false;
    int64_t r = static_cast<int64_t>(grid.topRow) + p.y / grid.rowHeight;
    if (r >= grid.rowCount) return false;
    *col = c;
    *row = static_cast<int32_t>(r);
    return true;
}

Rect CellRect(const GridLayout& grid, int32_t col, int32_t row) {
    Rect r;
    for (int32_t i = 0; i < col && i < static_cast<int32_t>(grid.colWidths.size()); ++i) r.left += grid.colWidths[i];
    if (col >= 0 && col < static_cast<int32_t>(grid.colWidths.size())) r.width = grid.colWidths[col];
    r.top = (row - grid.topRow) * grid.rowHeight;
    r.height = grid.rowHeight;
    return r;
}

int32_t FullyVisibleRows(const GridLayout& grid, int32_t clientHeight) {
    if (grid.rowHeight <= 0) return 1;
    int32_t n = clientHeight / grid.rowHeight;
    return n < 1 ? 1 : n;
}

} // namespace ui
