// TMainForm: the account list window, shown once a sign-in completes. It lists
// the customer's accounts with their declaration and permission states, opens
// the submit and confirmation dialogs for an eligible one, reloads the list,
// opens the operator's pages and logs out.
#pragma once

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/form.h"
#include "ui/geometry.h"
#include "ui/grid.h"
#include "windows/listlayout.h"

class TMainForm : public ui::Form {
public:
    TMainForm();

protected:
    void UserMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormShow();
    void FillGrid();
    void StringGridDrawCell(int col, int row, const RECT& rect, HDC dc);
    void StringGridMouseMove(int x, int y);
    void StringGridClick();
    void ReloadBtnClick();
    void LogoutLabelClick();
    // The row's link rectangle in grid coordinates; false when it has none.
    bool RowLink(int row, ui::Rect* link) const;
    ui::Rect CellBounds(int col, int row) const;
    bool Eligible(int row) const;

    ui::Image BgImage{*this, 0, 0};
    ui::Label IDLabel{*this, 272, 149, 132, 26};
    ui::Image ReloadBtn{*this, 296, 179};
    ui::Label RiskSignLabel{*this, 672, 606, 86, 25};
    ui::Label DocumentLabel{*this, 402, 631, 106, 23};
    ui::Label FAQLabel{*this, 359, 724, 91, 28};
    ui::Label RiskCertLabel2{*this, 480, 725, 190, 28};
    ui::Label LogoutLabel{*this, 707, 717, 156, 46};
    ui::Label MinimizeLabel{*this, 1203, 8, 32, 32};
    ui::Label CloseLabel{*this, 1240, 8, 32, 32};
    ui::Image ApplyBtnOff{*this, 1083, 566};
    ui::Image ApplyBtnOn{*this, 1083, 606};
    ui::Image DarkImage{*this, 0, 0, 1280, 798};
    ui::Grid StringGrid{*this, windows::kGridLeft, windows::kGridTop, windows::kGridWidth, windows::kGridHeight};

    ui::WindowDrag drag{*this, ui::WindowDrag::WhileLeftHeld};
    ui::DimOverlay dim{*this, DarkImage, BgImage, {&StringGrid}};
    ui::Point pointer;  // last position in the grid, for the click's hit tests
    ui::FontHandle linkFont;
};
