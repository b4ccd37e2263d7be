#include "windows/mainunit.h"

#include "center/kovacenter.h"
#include "text/uitext.h"
#include "ui/application.h"
#include "windows/accountrows.h"
#include "windows/confirmunit.h"
#include "windows/forms.h"
#include "windows/listlayout.h"
#include "windows/loginunit.h"
#include "windows/look.h"
#include "windows/submitunit.h"
#include "windows/weblinks.h"

namespace {

const ui::Colour kCyan = ui::MakeColour(66, 232, 224);
const ui::Colour kWhite = ui::MakeColour(255, 255, 255);

} // namespace

TMainForm::TMainForm() : ui::Form(1280, 798) {
    SetCaption(UiText("KOVA API權限申請暨環境使用驗證服務"));
    BgImage.SetAutoSize(true);  // the face is decoded when first shown
    drag.Attach(BgImage);

    ui::FontDesc idFont;
    idFont.pixelHeight = 21;
    idFont.bold = true;
    IDLabel.SetFont(idFont);
    IDLabel.SetTransparent(false);
    IDLabel.SetColour(windows::kBoxColours.back);

    ReloadBtn.SetAutoSize(true);
    ReloadBtn.SetPicture(ui::Picture::FromResource(L"RELOAD_ICON"));
    ReloadBtn.OnClick = [this](ui::Control&) { ReloadBtnClick(); };
    for (ui::Control* c : std::initializer_list<ui::Control*>{&ReloadBtn, &RiskSignLabel, &DocumentLabel, &FAQLabel,
                                                              &RiskCertLabel2, &LogoutLabel, &MinimizeLabel,
                                                              &CloseLabel})
        c->SetCursor(ui::Cursor::HandPoint);
    RiskSignLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::RiskSign); };
    RiskCertLabel2.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::RiskSign); };
    DocumentLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::Instructions); };
    FAQLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::Faq); };
    LogoutLabel.OnClick = [this](ui::Control&) { LogoutLabelClick(); };
    MinimizeLabel.OnClick = [](ui::Control&) { ui::Application::Instance().Minimize(); };
    CloseLabel.OnClick = [this](ui::Control&) { Close(); };

    // Only their pictures are used, by the grid's apply column.
    ApplyBtnOff.SetAutoSize(true);
    ApplyBtnOff.SetPicture(ui::Picture::FromResource(L"APPLY_OFF_ICON"));
    ApplyBtnOff.Hide();
    ApplyBtnOn.SetAutoSize(true);
    ApplyBtnOn.SetPicture(ui::Picture::FromResource(L"APPLY_ON_ICON"));
    ApplyBtnOn.Hide();
    DarkImage.SetAutoSize(true);
    DarkImage.Hide();

    ui::FontDesc gridFont;
    gridFont.pixelHeight = 17;
    StringGrid.SetFont(gridFont);
    ui::FontDesc link = gridFont;
    link.underline = true;
    linkFont = ui::CreateFontFor(link);
    StringGrid.SetColCount(windows::kAccountColumns);
    StringGrid.SetDefaultRowHeight(windows::kGridRowHeight);
    StringGrid.SetColour(windows::kBoxColours.back);
    StringGrid.SetDefaultDrawing(false);
    StringGrid.OnDrawCell = [this](ui::Grid&, int c, int r, const RECT& rc, HDC dc) { StringGridDrawCell(c, r, rc, dc); };
    StringGrid.OnMouseMove = [this](ui::Grid&, ui::ShiftState, int x, int y) { StringGridMouseMove(x, y); };
    StringGrid.OnMouseDown = [this](ui::Grid&, ui::MouseButton, ui::ShiftState, int x, int y) {
        pointer.x = x;
        pointer.y = y;
    };
    StringGrid.OnClick = [this](ui::Grid&) { StringGridClick(); };

    // Closing this window, by any means, ends the application.
    OnClose = [](ui::Form&) { ui::Application::Instance().Terminate(); };
    OnShow = [this](ui::Form&) { FormShow(); };
}

void TMainForm::FormShow() {
    // Decoded on first showing, not at start-up: the login window comes first.
    if (BgImage.GetPicture().Empty()) BgImage.SetPicture(ui::Picture::FromResource(L"LIST_FACE"));
    for (int c = 0; c < windows::kAccountColumns; ++c) StringGrid.SetColWidth(c, windows::kGridColumnWidths[c]);
    FillGrid();
}

void TMainForm::FillGrid() {
    KovaCenter* center = KovaCenter::Instance();
    if (!center) return;
    IDLabel.SetCaption(center->custId);
    StringGrid.SetRowCount(static_cast<int>(center->applyList.size()));
    for (size_t i = 0; i < center->applyList.size(); ++i) {
        windows::AccountRow row = windows::MakeAccountRow(center->applyList[i], center->branchList);
        for (int c = 0; c < 6; ++c) StringGrid.SetCell(c, static_cast<int>(i), row.cells[c]);
        StringGrid.SetCell(windows::kApplyColumn, static_cast<int>(i), std::string());
    }
    StringGrid.Invalidate();
}

bool TMainForm::Eligible(int row) const {
    return row >= 0 && row < StringGrid.RowCount() && windows::IsEligible(StringGrid.Cell(windows::kPermissionColumn, row));
}

ui::Rect TMainForm::CellBounds(int col, int row) const {
    RECT r = StringGrid.CellRect(col, row);
    ui::Rect b;
    b.left = r.left;
    b.top = r.top;
    b.width = r.right - r.left;
    b.height = r.bottom - r.top;
    return b;
}

bool TMainForm::RowLink(int row, ui::Rect* link) const {
    std::string prefix;
    if (row < 0 || row >= StringGrid.RowCount() ||
        !windows::LinkPrefix(StringGrid.Cell(windows::kSentenceColumn, row), &prefix))
        return false;
    SIZE before = StringGrid.TextExtent(StringGrid.FontHandle(), prefix);
    // An empty prefix still has the line's height.
    SIZE line = StringGrid.TextExtent(StringGrid.FontHandle(), prefix.empty() ? std::string(" ") : prefix);
    *link = windows::LinkRect(CellBounds(windows::kSentenceColumn, row), prefix.empty() ? 0 : before.cx, line.cy);
    return true;
}

void TMainForm::StringGridDrawCell(int col, int row, const RECT& rect, HDC dc) {
    KovaCenter* center = KovaCenter::Instance();
    if (!center || center->applyList.empty()) return;
    ui::Brush back(CreateSolidBrush(StringGrid.GetColour()));
    FillRect(dc, &rect, back.Get());
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (col == windows::kApplyColumn) {
        const ui::Picture& pic = Eligible(row) ? ApplyBtnOn.GetPicture() : ApplyBtnOff.GetPicture();
        pic.Draw(dc, rect.left + ui::CentredOffset(w, pic.Width()), rect.top + ui::CentredOffset(h, pic.Height()));
        return;
    }
    std::wstring text = ui::AnsiToWide(StringGrid.Cell(col, row));
    SetTextColor(dc, col == 0 ? kCyan : kWhite);
    SetBkMode(dc, TRANSPARENT);
    RECT calc = {0, 0, w, h};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    RECT t = rect;
    t.top += ui::CentredOffset(h, calc.bottom - calc.top);
    t.bottom = t.top + (calc.bottom - calc.top);
    if (col != windows::kSentenceColumn) {
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
        return;
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    ui::Rect link;
    if (!RowLink(row, &link)) return;
    // The same words again, over themselves, in link style.
    std::wstring words = ui::AnsiToWide(UiText("請立即簽署"));
    RECT l = ui::ToRECT(link.left, link.top, link.width, link.height);
    ui::ScopedSelect sel(dc, linkFont.Get());
    SetTextColor(dc, kCyan);
    DrawTextW(dc, words.c_str(), static_cast<int>(words.size()), &l, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
}

void TMainForm::StringGridMouseMove(int x, int y) {
    pointer.x = x;
    pointer.y = y;
    int col = -1, row = -1;
    bool hand = false;
    if (StringGrid.MouseToCell(x, y, &col, &row)) {
        ui::Rect link;
        if (col == windows::kApplyColumn) hand = Eligible(row);
        else if (col == windows::kSentenceColumn) hand = RowLink(row, &link) && link.Contains(pointer);
    }
    StringGrid.SetCursor(hand ? ui::Cursor::HandPoint : ui::Cursor::Default);
}

void TMainForm::StringGridClick() {
    const int col = StringGrid.Col(), row = StringGrid.Row();
    KovaCenter* center = KovaCenter::Instance();
    if (!center || row < 0 || static_cast<size_t>(row) >= center->applyList.size()) return;
    if (col == windows::kApplyColumn && Eligible(row)) {
        const ui::Picture& on = ApplyBtnOn.GetPicture();
        if (!windows::CentredRect(CellBounds(col, row), on.Width(), on.Height()).Contains(pointer)) return;
        SubmitForm->SetAccount(center->applyList[static_cast<size_t>(row)]);
        dim.Dim();
        if (SubmitForm->ShowModal() == ui::mrOk) {
            FillGrid();
            ConfirmForm->ShowModal();
        }
        dim.Undim();
    } else if (col == windows::kSentenceColumn) {
        ui::Rect link;
        if (RowLink(row, &link) && link.Contains(pointer)) windows::OpenWebPage(windows::WebPage::RiskSign);
    }
}

void TMainForm::ReloadBtnClick() {
    KovaCenter* center = KovaCenter::Instance();
    if (center && center->Relogin(Handle())) dim.Dim();
}

void TMainForm::UserMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message != kMsgUserAuth) return;
    // A failed reload takes in nothing but its message: the list stays.
    if (KovaCenter* center = KovaCenter::Instance()) center->TakeAnswer(kMsgUserAuth);
    dim.Undim();
    if (wParam == 1) FillGrid();
}

void TMainForm::LogoutLabelClick() {
    Hide();
    if (KovaCenter* center = KovaCenter::Instance()) center->Logout();
    if (LoginForm) LoginForm->Show();
}
