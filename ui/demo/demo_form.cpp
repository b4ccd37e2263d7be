#include "ui/demo/demo_form.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "text/uitext.h"
#include "ui/application.h"
#include "ui/dialogs.h"
#include "windows/listlayout.h"
#include "windows/look.h"

namespace demo {

namespace {
void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}
}  // namespace

DemoForm::DemoForm(const FaceLayout& face)
    : ui::Form(face.width, face.height), face_(face), BgImage(*this, 0, 0), drag_(*this, face.drag) {
    SetCaption(UiText(face.captionUtf8));
    SetShowInTaskbar(!face.dialog);
    BgImage.SetAutoSize(true);
    BgImage.SetPicture(ui::Picture::FromResource(face.resource));
    drag_.Attach(BgImage);
    // In this order: the non-windowed controls are painted in creation order.
    AddTexts();
    AddIcons();
    AddHotSpots();
    if (face.dims) {
        DarkImage = std::make_unique<ui::Image>(*this, 0, 0, face.width, face.height);
        DarkImage->SetAutoSize(true);
        DarkImage->Hide();
    }
    AddEdits();
    if (face.grid) AddGrid();
    if (DarkImage) AddDimOverlay();
    OnShow = [this](ui::Form&) { drag_.Reset(); };
    OnClose = [](ui::Form& f) { Print("closed " + std::to_string(f.IsModal())); };
}

void DemoForm::AddTexts() {
    for (const TextLayout& t : face_.texts) {
        auto label = std::make_unique<ui::Label>(*this, t.left, t.top);
        ui::FontDesc font;
        font.pixelHeight = t.pixelHeight;
        font.bold = t.bold;
        font.colour = t.colour;
        label->SetFont(font);
        label->SetTransparent(!t.opaque);
        label->SetColour(windows::kBoxColours.back);
        label->SetAutoSize(true);
        label->SetCaption(UiText(t.textUtf8));
        texts_.push_back(std::move(label));
    }
}

void DemoForm::AddIcons() {
    for (const IconLayout& i : face_.icons) {
        auto image = std::make_unique<ui::Image>(*this, i.left, i.top, i.width, i.height);
        image->SetPicture(ui::Picture::FromResource(i.resource));
        image->SetCenter(true);
        image->SetCursor(ui::Cursor::HandPoint);
        std::string name = i.name;
        if (name == "EyeHidden") eyeHidden_ = image.get();
        if (name == "EyeShown") eyeShown_ = image.get();
        if (eyeHidden_ == image.get() || eyeShown_ == image.get()) {
            image->OnClick = [this](ui::Control&) { EyeClick(); };
        } else if (name == "FolderImage") {
            image->OnClick = [this](ui::Control&) { FolderClick(); };
        } else {
            image->OnClick = [name](ui::Control&) { Print("click " + name); };
        }
        icons_.push_back(std::move(image));
    }
    if (eyeShown_) eyeShown_->Hide();
}

void DemoForm::AddHotSpots() {
    for (const HotSpot& s : face_.spots) {
        auto label = std::make_unique<ui::Label>(*this, s.left, s.top, s.width, s.height);
        label->SetCursor(ui::Cursor::HandPoint);
        const HotSpot* spot = &s;
        label->OnClick = [this, spot](ui::Control&) { HotSpotClick(*spot); };
        spots_.push_back(std::move(label));
    }
}

void DemoForm::AddEdits() {
    for (const EditLayout& e : face_.edits) {
        auto edit = std::make_unique<ui::Edit>(*this, e.left, e.top, e.width, e.height);
        edit->SetHint(UiText(e.placeholderUtf8));
        edit->SetColours(windows::kBoxColours);
        edit->SetMaxLength(e.maxLength);
        edit->SetTabStop(face_.dialog);  // the dialog's two boxes have a tab order
        auto handler = [this](ui::Edit& sender) { EditEnterExit(sender); };
        edit->OnEnter = handler;
        edit->OnExit = handler;
        edit->ApplyPlaceholderRule(0);
        if (e.password) edit->SetPasswordChar(0);
        edits_.push_back(std::move(edit));
    }
}

void DemoForm::AddGrid() {
    StringGrid = std::make_unique<ui::Grid>(*this, windows::kGridLeft, windows::kGridTop, windows::kGridWidth,
                                              windows::kGridHeight);
    ui::FontDesc font;
    font.pixelHeight = 17;
    StringGrid->SetFont(font);
    StringGrid->SetColCount(windows::kAccountColumns);
    for (int c = 0; c < windows::kAccountColumns; ++c) StringGrid->SetColWidth(c, windows::kGridColumnWidths[c]);
    StringGrid->SetDefaultRowHeight(windows::kGridRowHeight);
    StringGrid->SetColour(windows::kBoxColours.back);
    StringGrid->SetDefaultDrawing(false);
    StringGrid->OnDrawCell = [this](ui::Grid& g, int c, int r, const RECT& rc, HDC dc) { DrawCell(g, c, r, rc, dc); };
    StringGrid->OnMouseMove = [](ui::Grid& g, ui::ShiftState, int x, int y) {
        int c = 0, r = 0;
        bool hand = g.MouseToCell(x, y, &c, &r) && c == windows::kApplyColumn;
        g.SetCursor(hand ? ui::Cursor::HandPoint : ui::Cursor::Default);
    };
    StringGrid->OnClick = [](ui::Grid& g) {
        Print("cell " + std::to_string(g.Col()) + " " + std::to_string(g.Row()));
    };
    applyOn_ = ui::Picture::FromResource(L"APPLY_ON_ICON");
    applyOff_ = ui::Picture::FromResource(L"APPLY_OFF_ICON");
    FillGrid();
}

void DemoForm::AddDimOverlay() {
    // The windowed controls are hidden while the form is dimmed.
    dim_ = std::make_unique<ui::DimOverlay>(*this, *DarkImage, BgImage, std::initializer_list<ui::WinControl*>{});
    for (const auto& e : edits_) dim_->AddWindowed(e.get());
    if (StringGrid) dim_->AddWindowed(StringGrid.get());
}

void DemoForm::FillGrid() {
    const char* rows[][6] = {
        {"證券", "台北分公司", "1234567", "已簽署\n2024/05/01", "可申請", "已完成簽署，並具正式環境申請資格，可申請開通權限。"},
        {"期貨", "新竹分公司", "7654321", "未簽署", "未開通", "尚未簽署聲明書，若欲使用此帳號，請立即簽署。"},
        {"證券", "高雄分公司", "1112223", "已簽署", "申請中", "已於2024/06/02送出權限申請，審核中。"},
        {"證券", "台中分公司", "5556667", "已簽署", "已開通", "已於2024/06/10開通正式環境權限。"},
    };
    StringGrid->SetRowCount(4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c) StringGrid->SetCell(c, r, UiText(rows[r][c]));
}

void DemoForm::DrawCell(ui::Grid& grid, int col, int row, const RECT& rect, HDC dc) {
    ui::Brush back(CreateSolidBrush(grid.GetColour()));
    FillRect(dc, &rect, back.Get());
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (col == 6) {
        const ui::Picture& pic = grid.Cell(4, row) == UiText("可申請") ? applyOn_ : applyOff_;
        pic.Draw(dc, rect.left + ui::CentredOffset(w, pic.Width()), rect.top + ui::CentredOffset(h, pic.Height()));
        return;
    }
    std::wstring text = ui::AnsiToWide(grid.Cell(col, row));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, col == 0 ? ui::MakeColour(66, 232, 224) : ui::MakeColour(255, 255, 255));
    RECT calc = {0, 0, w, h};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    RECT t = rect;
    t.top += ui::CentredOffset(h, calc.bottom);
    t.bottom = t.top + calc.bottom;
    UINT align = col == 5 ? DT_LEFT : DT_CENTER;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &t, align | DT_WORDBREAK | DT_NOPREFIX);
}

void DemoForm::HotSpotClick(const HotSpot& spot) {
    Print(std::string("click ") + spot.name);
    switch (spot.action) {
    case Action::Close: Close(); break;
    case Action::Minimize: ui::Application::Instance().Minimize(); break;
    case Action::ModalOk:
        if (IsModal()) SetModalResult(ui::mrOk);
        break;
    case Action::Log: break;
    }
}

void DemoForm::EditEnterExit(ui::Edit& edit) {
    size_t i = 0;
    while (i < edits_.size() && edits_[i].get() != &edit) ++i;
    if (i == edits_.size()) return;
    bool password = face_.edits[i].password;
    char mask = password && (!eyeHidden_ || eyeHidden_->Visible()) ? '*' : 0;
    edit.ApplyPlaceholderRule(mask);
    Print(std::string(edit.Focused() ? "enter " : "exit ") + face_.edits[i].name);
}

void DemoForm::FolderClick() {
    Print("click FolderImage");
    ui::OpenDialog dialog;
    dialog.SetFilter(UiText("PFX憑證檔案(*.pfx)|*.pfx"));
    char dir[260] = {0};
    DWORD n = GetEnvironmentVariableA("KOVA_DEMO_DIR", dir, sizeof(dir));
    if (n > 0 && n < sizeof(dir)) dialog.SetInitialDirUtf8(AnsiToUtf8(dir));
    if (dialog.Execute(Handle())) {
        Print("file " + dialog.FileName());
    } else {
        Print("file cancelled");
    }
}

void DemoForm::EyeClick() {
    for (size_t i = 0; i < edits_.size(); ++i) {
        if (!face_.edits[i].password) continue;
        ui::Edit& e = *edits_[i];
        if (e.PasswordChar() == '*') {
            e.SetPasswordChar(0);
        } else if (e.Text() != e.Hint()) {
            e.SetPasswordChar('*');
        }
    }
    bool toShown = eyeHidden_->Visible();
    eyeHidden_->SetVisible(!toShown);
    eyeShown_->SetVisible(toShown);
    Print(toShown ? "eye shown" : "eye hidden");
}

void DemoForm::Report(const char* what) { Print(what); }

void DemoForm::SetTextCaption(const std::string& command) {
    // "<index> <text>": the index-th text of the face gets the new caption.
    size_t space = command.find(' ');
    size_t index = static_cast<size_t>(std::atoi(command.c_str()));
    if (space != std::string::npos && index < texts_.size()) {
        texts_[index]->SetCaption(UiText(command.c_str() + space + 1));
        Repaint();
    }
    Report("captioned");
}

void DemoForm::ReportPlace() {
    RECT r = {};
    GetWindowRect(Handle(), &r);
    RECT c = {};
    GetClientRect(Handle(), &c);
    char line[160];
    std::snprintf(line, sizeof(line), "pos %ld %ld %ld %ld", r.left, r.top, c.right, c.bottom);
    Report(line);
}

void DemoForm::ReportState() {
    bool shown = IsWindowVisible(Handle()) != FALSE;
    char line[160];
    std::snprintf(line, sizeof(line), "state visible=%d minimized=%d dimmed=%d", shown ? 1 : 0,
                  ui::Application::Instance().Minimized() ? 1 : 0, dim_ && dim_->Dimmed() ? 1 : 0);
    Report(line);
}

void DemoForm::ShowModalChild() {
    if (!modalChild_) return;
    if (dim_) dim_->Dim();
    int result = modalChild_->ShowModal();
    if (dim_) dim_->Undim();
    char line[160];
    std::snprintf(line, sizeof(line), "modal %d", result);
    Report(line);
}

void DemoForm::UserMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kCommandMessage) return;
    switch (static_cast<int>(wParam)) {
    case CmdCaption: {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
        SetTextCaption(*text);
        break;
    }
    case CmdDim:
        if (dim_) dim_->Dim();
        Report(dim_ ? "dimmed" : "no overlay");
        break;
    case CmdUndim:
        if (dim_) dim_->Undim();
        Report("undimmed");
        break;
    case CmdWhere: ReportPlace(); break;
    case CmdState: ReportState(); break;
    case CmdRestore:
        ui::Application::Instance().Restore();
        Report("restored");
        break;
    case CmdModal: ShowModalChild(); break;
    case CmdThrow:
        // Reaches the framework's guard: the standard exception box, then on.
        throw std::runtime_error(UiText("示範例外：處理訊息時發生錯誤"));
    case CmdQuit:
        ui::Application::Instance().Terminate();
        break;
    default:
        break;
    }
}

} // namespace demo
