// A text grid: columns of given widths, rows of one height, a vertical scroll
// bar, no grid lines and no border; cells drawn by the owner when it wants.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/events.h"
#include "ui/font.h"
#include "ui/geometry.h"
#include "ui/wincontrol.h"

namespace ui {

class Grid : public WinControl {
public:
    Grid(Form& owner, int left, int top, int width, int height);

    void SetColCount(int n);
    int ColCount() const { return static_cast<int>(layout_.colWidths.size()); }
    void SetRowCount(int n);
    int RowCount() const { return layout_.rowCount; }
    void SetColWidth(int col, int width);
    int ColWidth(int col) const;
    void SetDefaultRowHeight(int h);
    int DefaultRowHeight() const { return layout_.rowHeight; }

    // Cell texts in the process code page.
    const std::string& Cell(int col, int row) const;
    void SetCell(int col, int row, const std::string& ansi);

    // The current cell: set by a press on a cell.
    int Col() const { return col_; }
    int Row() const { return row_; }

    void SetColour(Colour c);
    Colour GetColour() const { return back_; }
    void SetFont(const FontDesc& desc);
    const FontDesc& Font() const { return desc_; }
    HFONT FontHandle() const { return font_.Get(); }
    // Off: every cell is left to OnDrawCell.
    void SetDefaultDrawing(bool on) { defaultDrawing_ = on; }
    void SetCursor(Cursor c);
    Cursor GetCursor() const { return cursor_; }

    // Single-line extent of a text in a font, in logical pixels as the cells
    // are painted (at another scale, not simply the font's logical size).
    SIZE TextExtent(HFONT font, const std::string& ansi) const;

    // Cell under a point in client coordinates; false outside every cell.
    bool MouseToCell(int x, int y, int* col, int* row) const;
    RECT CellRect(int col, int row) const;
    void Invalidate();

    // dc has the grid font selected; rect is in client coordinates.
    std::function<void(Grid& sender, int col, int row, const RECT& rect, HDC dc)> OnDrawCell;
    std::function<void(Grid& sender, ShiftState, int x, int y)> OnMouseMove;
    std::function<void(Grid& sender, MouseButton, ShiftState, int x, int y)> OnMouseDown;
    std::function<void(Grid& sender, MouseButton, ShiftState, int x, int y)> OnMouseUp;
    // Left press and release on the same cell.
    std::function<void(Grid& sender)> OnClick;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Process(UINT message, WPARAM wParam, LPARAM lParam);
    // A press on a cell makes it the current cell; the left button's release
    // on the same cell is a click. x, y in logical pixels.
    void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    void MouseUp(MouseButton button, ShiftState shift, int x, int y);
    void ScrollBarEvent(WORD request);  // WM_VSCROLL's SB_* request
    void Paint();
    void UpdateScrollBar();
    void ScrollTo(int topRow);
    int ClientHeight() const;

    GridLayout layout_;
    std::vector<std::vector<std::string>> cells_;  // [row][col]
    int col_ = 0, row_ = 0;
    int pressCol_ = -1, pressRow_ = -1;
    Colour back_ = MakeColour(255, 255, 255);
    FontDesc desc_;
    ui::FontHandle font_;
    Brush brush_;
    bool defaultDrawing_ = true;
    Cursor cursor_ = Cursor::Default;
};

} // namespace ui
