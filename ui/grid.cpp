#include "ui/grid.h"

#include <windowsx.h>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/windowclass.h"

namespace ui {
namespace {

const wchar_t kClassName[] = L"KovaGrid";
const char kClassNameAnsi[] = "KovaGrid";  // CreateChild makes ANSI windows
// Bounds that keep every cell computation far from 32-bit overflow.
const int kMaxCols = 256;
const int kMaxRows = 100000;

ShiftState ShiftFrom(WPARAM keys) {
    ShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    return s;
}

void ShowPointer(Cursor c) {
    ::SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(c == Cursor::HandPoint ? IDC_HAND : IDC_ARROW)));
}

} // namespace

Grid::Grid(Form& owner, int left, int top, int width, int height) : WinControl(owner) {
    RegisterWindowClass(kClassName, WindowProc, CS_DBLCLKS, nullptr);
    layout_.rowHeight = 24;
    brush_.Reset(CreateSolidBrush(back_));
    font_ = CreateFontFor(desc_);
    HWND hwnd = CreateChild(0, kClassNameAnsi, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS,
                            MakeRect(left, top, width, height));
    Attach(hwnd);
    UpdateScrollBar();
}

void Grid::SetColCount(int n) {
    if (n < 0) n = 0;
    if (n > kMaxCols) n = kMaxCols;
    layout_.colWidths.resize(static_cast<size_t>(n), 64);
    for (auto& row : cells_) row.resize(static_cast<size_t>(n));
    Invalidate();
}

void Grid::SetRowCount(int n) {
    if (n < 0) n = 0;
    if (n > kMaxRows) n = kMaxRows;
    layout_.rowCount = n;
    cells_.resize(static_cast<size_t>(n), std::vector<std::string>(layout_.colWidths.size()));
    if (row_ >= n) row_ = n > 0 ? n - 1 : 0;
    UpdateScrollBar();
    Invalidate();
}

void Grid::SetColWidth(int col, int width) {
    if (col < 0 || col >= ColCount()) return;
    layout_.colWidths[static_cast<size_t>(col)] = width < 0 ? 0 : width;
    Invalidate();
}

int Grid::ColWidth(int col) const {
    return col >= 0 && col < ColCount() ? layout_.colWidths[static_cast<size_t>(col)] : 0;
}

void Grid::SetDefaultRowHeight(int h) {
    layout_.rowHeight = h < 1 ? 1 : h;
    UpdateScrollBar();
    Invalidate();
}

const std::string& Grid::Cell(int col, int row) const {
    static const std::string empty;
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return empty;
    return cells_[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

void Grid::SetCell(int col, int row, const std::string& ansi) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount()) return;
    cells_[static_cast<size_t>(row)][static_cast<size_t>(col)] = ansi;
    Invalidate();
}

void Grid::SetColour(Colour c) {
    back_ = c;
    brush_.Reset(CreateSolidBrush(c));
    Invalidate();
}

void Grid::SetFont(const FontDesc& desc) {
    desc_ = desc;
    font_ = CreateFontFor(desc_);
    Invalidate();
}

void Grid::SetCursor(Cursor c) {
    if (cursor_ == c) return;
    cursor_ = c;
    // Takes effect at once when the pointer is already over the grid.
    POINT p;
    if (Handle() && GetCursorPos(&p) && WindowFromPoint(p) == Handle()) ShowPointer(c);
}

bool Grid::MouseToCell(int x, int y, int* col, int* row) const {
    Point p;
    p.x = x;
    p.y = y;
    int32_t c = 0, r = 0;
    if (!CellAt(layout_, p, &c, &r)) return false;
    *col = c;
    *row = r;
    return true;
}

SIZE Grid::TextExtent(HFONT font, const std::string& ansi) const {
    WindowDC screen(nullptr);
    int saved = SaveDC(screen.Get());
    Owner().MapLogical(screen.Get());
    std::wstring text = AnsiToWide(ansi);
    RECT r = {0, 0, 0, 0};
    {
        ScopedSelect sel(screen.Get(), font);
        DrawTextW(screen.Get(), text.c_str(), static_cast<int>(text.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    RestoreDC(screen.Get(), saved);
    SIZE s = {r.right - r.left, r.bottom - r.top};
    return s;
}

RECT Grid::CellRect(int col, int row) const {
    Rect r = ui::CellRect(layout_, col, row);
    return ToRECT(r.left, r.top, r.width, r.height);
}

void Grid::Invalidate() {
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

int Grid::ClientHeight() const {
    RECT r = {};
    if (Handle()) GetClientRect(Handle(), &r);
    return Owner().GetScale().ToLogical(r.bottom - r.top);
}

void Grid::UpdateScrollBar() {
    if (!Handle()) return;
    int page = FullyVisibleRows(layout_, ClientHeight());
    int maxTop = layout_.rowCount > page ? layout_.rowCount - page : 0;
    if (layout_.topRow > maxTop) layout_.topRow = maxTop;
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = layout_.rowCount > 0 ? layout_.rowCount - 1 : 0;
    si.nPage = static_cast<UINT>(page);
    si.nPos = layout_.topRow;
    SetScrollInfo(Handle(), SB_VERT, &si, TRUE);
}

void Grid::ScrollTo(int topRow) {
    int page = FullyVisibleRows(layout_, ClientHeight());
    int maxTop = layout_.rowCount > page ? layout_.rowCount - page : 0;
    if (topRow > maxTop) topRow = maxTop;
    if (topRow < 0) topRow = 0;
    if (topRow == layout_.topRow) return;
    layout_.topRow = topRow;
    UpdateScrollBar();
    Invalidate();
}

void Grid::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(Handle(), &ps);
    RECT client = {};
    GetClientRect(Handle(), &client);
    MemoryDC mem(dc);
    Bitmap buffer(CreateCompatibleBitmap(dc, client.right > 0 ? client.right : 1, client.bottom > 0 ? client.bottom : 1));
    if (mem.Get() && buffer) {
        ScopedSelect sel(mem.Get(), buffer.Get());
        FillRect(mem.Get(), &client, brush_.Get());
        // Cells in logical pixels, as the form's controls (fonts scale with it).
        int saved = SaveDC(mem.Get());
        Owner().MapLogical(mem.Get());
        ScopedSelect font(mem.Get(), font_.Get());
        int rows = ClientHeight() / layout_.rowHeight + 2;
        for (int r = layout_.topRow; r < layout_.rowCount && r < layout_.topRow + rows; ++r) {
            for (int c = 0; c < ColCount(); ++c) {
                RECT cell = CellRect(c, r);
                if (defaultDrawing_) {
                    std::wstring text = AnsiToWide(Cell(c, r));
                    SetBkMode(mem.Get(), TRANSPARENT);
                    SetTextColor(mem.Get(), desc_.colour);
                    RECT t = cell;
                    t.left += 2;
                    DrawTextW(mem.Get(), text.c_str(), static_cast<int>(text.size()), &t,
                              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
                }
                if (OnDrawCell) {
                    int cellSaved = SaveDC(mem.Get());
                    OnDrawCell(*this, c, r, cell, mem.Get());
                    RestoreDC(mem.Get(), cellSaved);
                }
            }
        }
        RestoreDC(mem.Get(), saved);
        BitBlt(dc, 0, 0, client.right, client.bottom, mem.Get(), 0, 0, SRCCOPY);
    }
    EndPaint(Handle(), &ps);
}

void Grid::MouseDown(MouseButton button, ShiftState shift, int x, int y) {
    int c = -1, r = -1;
    if (button == MouseButton::Left && MouseToCell(x, y, &c, &r)) {
        col_ = c;
        row_ = r;
        pressCol_ = c;
        pressRow_ = r;
        SetCapture(Handle());
    } else if (button == MouseButton::Left) {
        pressCol_ = pressRow_ = -1;
    }
    if (OnMouseDown) Guarded([&] { OnMouseDown(*this, button, shift, x, y); });
}

void Grid::MouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (button == MouseButton::Left && GetCapture() == Handle()) ReleaseCapture();
    if (OnMouseUp) Guarded([&] { OnMouseUp(*this, button, shift, x, y); });
    int c = -1, r = -1;
    bool click = button == MouseButton::Left && pressCol_ >= 0 && MouseToCell(x, y, &c, &r) && c == pressCol_ &&
                 r == pressRow_;
    if (button == MouseButton::Left) pressCol_ = pressRow_ = -1;
    if (click && OnClick) Guarded([this] { OnClick(*this); });
}

void Grid::ScrollBarEvent(WORD request) {
    int page = FullyVisibleRows(layout_, ClientHeight());
    switch (request) {
    case SB_LINEUP: ScrollTo(layout_.topRow - 1); break;
    case SB_LINEDOWN: ScrollTo(layout_.topRow + 1); break;
    case SB_PAGEUP: ScrollTo(layout_.topRow - page); break;
    case SB_PAGEDOWN: ScrollTo(layout_.topRow + page); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si = {};
        si.cbSize = sizeof(si);
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(Handle(), SB_VERT, &si);
        ScrollTo(si.nTrackPos);
        break;
    }
    case SB_TOP: ScrollTo(0); break;
    case SB_BOTTOM: ScrollTo(layout_.rowCount); break;
    default: break;
    }
}

LRESULT Grid::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    // Mouse positions in logical pixels, as the cells.
    const Scale& scale = Owner().GetScale();
    int x = scale.ToLogical(GET_X_LPARAM(lParam)), y = scale.ToLogical(GET_Y_LPARAM(lParam));
    switch (message) {
    case WM_PAINT:
        Guarded([this] { Paint(); });
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        UpdateScrollBar();
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) != HTCLIENT) break;
        ShowPointer(cursor_);
        return TRUE;
    case WM_MOUSEMOVE:
        if (OnMouseMove) Guarded([&] { OnMouseMove(*this, ShiftFrom(wParam), x, y); });
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        MouseDown(message == WM_LBUTTONDOWN ? MouseButton::Left : MouseButton::Right, ShiftFrom(wParam), x, y);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        MouseUp(message == WM_LBUTTONUP ? MouseButton::Left : MouseButton::Right, ShiftFrom(wParam), x, y);
        return 0;
    case WM_VSCROLL:
        ScrollBarEvent(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        ScrollTo(layout_.topRow + (GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? -1 : 1));
        return 0;
    default:
        break;
    }
    return DefWindowProcW(Handle(), message, wParam, lParam);
}

LRESULT CALLBACK Grid::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Grid* grid = static_cast<Grid*>(WinControl::FromHandle(hwnd));
    if (!grid) return DefWindowProcW(hwnd, message, wParam, lParam);
    return grid->Process(message, wParam, lParam);
}

} // namespace ui
