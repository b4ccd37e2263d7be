// The grid through its window messages: a press picks the current cell, a
// press and release on one cell is a click, the scroll bar and the wheel move
// whole rows within the rows there are, and all of it in logical pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/form.h"
#include "ui/grid.h"

namespace {

// Three columns of 50 and rows of 20 in a grid 100 high: five rows fit.
struct SmallGrid {
    explicit SmallGrid(int rows) {
        grid.SetColCount(3);
        for (int c = 0; c < 3; ++c) grid.SetColWidth(c, 50);
        grid.SetDefaultRowHeight(20);
        grid.SetRowCount(rows);
        grid.OnClick = [this](ui::Grid& g) { clicks.push_back(g.Col() * 100 + g.Row()); };
    }
    void Press(UINT down, int x, int y) { SendMessageW(grid.Handle(), down, MK_LBUTTON, MAKELPARAM(x, y)); }
    void Release(UINT up, int x, int y) { SendMessageW(grid.Handle(), up, 0, MAKELPARAM(x, y)); }
    void Scroll(WORD request) { SendMessageW(grid.Handle(), WM_VSCROLL, MAKEWPARAM(request, 0), 0); }
    void Wheel(short delta) { SendMessageW(grid.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0); }
    int TopRow() const { return GetScrollPos(grid.Handle(), SB_VERT); }

    ui::Form form{400, 300};
    ui::Grid grid{form, 0, 0, 300, 100};
    std::vector<int> clicks;  // col * 100 + row of each click
};

TEST(GridClicks, APressAndReleaseOnOneCellIsOneClickOnTheCurrentCell) {
    SmallGrid g(10);
    g.Press(WM_LBUTTONDOWN, 60, 45);
    EXPECT_EQ(1, g.grid.Col());
    EXPECT_EQ(2, g.grid.Row());
    EXPECT_EQ(g.grid.Handle(), GetCapture()) << "the release must come to the grid wherever it is";
    g.Release(WM_LBUTTONUP, 95, 55);  // same cell, elsewhere in it
    EXPECT_EQ(std::vector<int>{102}, g.clicks);
    EXPECT_NE(g.grid.Handle(), GetCapture());

    g.Press(WM_LBUTTONDOWN, 10, 5);
    g.Release(WM_LBUTTONUP, 110, 5);  // released on the next column
    g.Press(WM_LBUTTONDOWN, 200, 5);  // right of the last column: no cell
    g.Release(WM_LBUTTONUP, 200, 5);
    EXPECT_EQ(std::vector<int>{102}, g.clicks);
    EXPECT_EQ(0, g.grid.Col()) << "a press off the cells keeps the current cell";
    EXPECT_EQ(0, g.grid.Row());

    // The right button reaches the owner but neither picks a cell nor clicks.
    ui::MouseButton down = ui::MouseButton::Left, up = ui::MouseButton::Left;
    g.grid.OnMouseDown = [&down](ui::Grid&, ui::MouseButton b, ui::ShiftState, int, int) { down = b; };
    g.grid.OnMouseUp = [&up](ui::Grid&, ui::MouseButton b, ui::ShiftState, int, int) { up = b; };
    g.Press(WM_RBUTTONDOWN, 110, 65);
    g.Release(WM_RBUTTONUP, 110, 65);
    EXPECT_EQ(ui::MouseButton::Right, down);
    EXPECT_EQ(ui::MouseButton::Right, up);
    EXPECT_EQ(0, g.grid.Col());
    EXPECT_EQ(1u, g.clicks.size());
}

TEST(GridClicks, AtTwiceTheScaleTheOwnerGetsLogicalPositions) {
    SmallGrid g(10);
    int downX = -1, downY = -1;
    g.grid.OnMouseDown = [&](ui::Grid&, ui::MouseButton, ui::ShiftState, int x, int y) {
        downX = x;
        downY = y;
    };
    RECT suggested = {0, 0, 800, 600};
    SendMessageW(g.form.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(g.form.GetScale(), (ui::Scale{2, 1}));
    g.Press(WM_LBUTTONDOWN, 120, 90);  // logical 60, 45: column 1, row 2
    g.Release(WM_LBUTTONUP, 120, 90);
    EXPECT_EQ(60, downX);
    EXPECT_EQ(45, downY);
    EXPECT_EQ(std::vector<int>{102}, g.clicks);
}

TEST(GridScroll, TheScrollBarAndTheWheelMoveWholeRowsWithinTheRows) {
    SmallGrid g(20);  // the last five rows begin at row 15
    const int kWheel = -1;
    const struct {
        int request;  // an SB_ request, or kWheel by `wheel`
        short wheel;
        int top;
    } steps[] = {
        {SB_LINEDOWN, 0, 1},   {SB_PAGEDOWN, 0, 6},  {SB_BOTTOM, 0, 15}, {SB_LINEDOWN, 0, 15},
        {kWheel, -WHEEL_DELTA, 15}, {kWheel, WHEEL_DELTA, 14}, {SB_PAGEUP, 0, 9}, {SB_TOP, 0, 0},
        {SB_LINEUP, 0, 0},     {SB_PAGEDOWN, 0, 5},  {kWheel, -WHEEL_DELTA, 6},
    };
    for (const auto& s : steps) {
        if (s.request == kWheel) g.Wheel(s.wheel);
        else g.Scroll(static_cast<WORD>(s.request));
        EXPECT_EQ(s.top, g.TopRow()) << "after request " << s.request << ", wheel " << s.wheel;
    }
    g.Press(WM_LBUTTONDOWN, 10, 25);  // the second row shown
    EXPECT_EQ(7, g.grid.Row()) << "the cells do not follow the scroll bar";
    g.Release(WM_LBUTTONUP, 10, 25);

    g.Scroll(SB_BOTTOM);
    g.grid.SetRowCount(8);
    EXPECT_EQ(3, g.TopRow()) << "fewer rows leave the grid scrolled past its last row";
}

} // namespace
