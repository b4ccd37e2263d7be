#include "windows/submitunit.h"

#include "center/kovacenter.h"
#include "platform/platform.h"
#include "text/uitext.h"
#include "windows/look.h"

namespace {
const ui::Colour kGrey = ui::MakeColour(128, 128, 128);
const ui::Colour kErrorColour = ui::MakeColour(245, 173, 19);
}

TSubmitForm::TSubmitForm() : ui::Form(500, 620) {
    SetCaption(UiText("送出申請確認"));
    SetShowInTaskbar(false);
    BgImage.SetAutoSize(true);  // the face is decoded when first shown
    drag.Attach(BgImage);

    ui::FontDesc labelFont;
    labelFont.bold = true;
    labelFont.colour = kGrey;
    for (ui::Label* l : {&TypeLabel, &BranchLabel, &AccountLabel}) {
        l->SetFont(labelFont);
        l->SetTransparent(false);
        l->SetColour(windows::kBoxColours.back);
        l->SetVerticalCentre(true);
        l->SetAutoSize(true);
    }
    FolderImage.SetPicture(ui::Picture::FromResource(L"FOLDER_ICON"));
    PFXEyeImage1.SetPicture(ui::Picture::FromResource(L"EYE_HIDDEN_ICON"));
    PFXEyeImage2.SetPicture(ui::Picture::FromResource(L"EYE_SHOWN_ICON"));
    for (ui::Image* icon : {&FolderImage, &PFXEyeImage1, &PFXEyeImage2}) {
        icon->SetCenter(true);
        icon->SetCursor(ui::Cursor::HandPoint);
    }
    FolderImage.OnClick = [this](ui::Control&) { FolderImageClick(); };
    PFXEyeImage1.OnClick = PFXEyeImage2.OnClick = [this](ui::Control&) { PFXEyeImageClick(); };

    ui::FontDesc errorFont;
    errorFont.colour = kErrorColour;
    ErrorLabel.SetFont(errorFont);
    ErrorLabel.SetAutoSize(true);

    for (ui::Label* l : {&SubmitLabel, &CancelLabel, &CloseLabel}) l->SetCursor(ui::Cursor::HandPoint);
    SubmitLabel.OnClick = [this](ui::Control&) { SubmitLabelClick(); };
    CancelLabel.OnClick = CloseLabel.OnClick = [this](ui::Control&) { Cancel(); };

    PFXPathEdit.SetHint(UiText("請選擇PFX憑證路徑"));
    PFXPwdEdit.SetHint(UiText("請輸入憑證密碼"));
    PFXPwdEdit.SetMaxLength(16);
    for (ui::Edit* e : {&PFXPathEdit, &PFXPwdEdit}) {
        e->SetColours(windows::kBoxColours);
        e->SetTabStop(true);  // tab order: path, then password
        e->OnEnter = e->OnExit = [this](ui::Edit& sender) { EditClick(sender); };
        e->OnKeyDown = [this](ui::Edit&, uint16_t& key, ui::ShiftState) {
            if (DialogKey(key)) key = 0;
        };
    }
    // Single-byte keys only (the box's own key filter), no input method.
    PFXPwdEdit.SetSingleByteOnly(true);
    PFXPwdEdit.OnKeyPress = [](ui::Edit&, char& key) {
        if (key == '\r' || key == 0x1B) key = 0;  // Enter and Esc act on their key-down
    };
    OnKeyDown = [this](ui::Form&, uint16_t key) { DialogKey(key); };
    OnCloseQuery = [this](ui::Form&) { return !busy; };
    DarkImage.SetAutoSize(true);
    DarkImage.Hide();

    OpenDialog.SetFilter(UiText("PFX憑證檔案(*.pfx)|*.pfx"));

    // Creation: the client's values (empty until a sign-in), then placeholders.
    KovaCenter* center = KovaCenter::Instance();
    PFXPathEdit.SetText(pfxPathKept.KeepUtf8(center ? center->pfxPath : std::string()));
    PFXPwdEdit.SetText(center ? center->pfxPassword : std::string());
    EditClick(PFXPathEdit);
    EditClick(PFXPwdEdit);
    OnShow = [this](ui::Form&) { FormShow(); };
}

void TSubmitForm::FormShow() {
    if (BgImage.GetPicture().Empty()) BgImage.SetPicture(ui::Picture::FromResource(L"SUBMIT_FACE"));
    drag.Reset();
    ErrorLabel.SetCaption(std::string());
    PFXPwdEdit.SetPasswordChar(0);
    PFXEyeImageClick();
    KovaCenter* center = KovaCenter::Instance();
    if (hasAccount && center) {
        TypeLabel.SetCaption(KovaCenter::GetProductName(account));
        BranchLabel.SetCaption(center->GetBranchName(account));
        AccountLabel.SetCaption(account.Account);
    }
}

void TSubmitForm::EditClick(ui::Edit& sender) {
    sender.ApplyPlaceholderRule(&sender == &PFXPwdEdit && PFXEyeImage1.Visible() ? '*' : 0);
}

void TSubmitForm::PFXEyeImageClick() { ui::ToggleMasking(PFXPwdEdit, PFXEyeImage1, PFXEyeImage2); }

void TSubmitForm::FolderImageClick() {
    KovaCenter* center = KovaCenter::Instance();
    OpenDialog.SetInitialDirUtf8(center ? center->pfxPath : std::string());
    if (!OpenDialog.Execute(Handle())) return;
    // The colour stays as it was: the placeholder rule alone changes it.
    PFXPathEdit.SetText(pfxPathKept.Keep(OpenDialog.WideFileName()));
}

void TSubmitForm::SubmitLabelClick() {
    if (busy) return;
    if (PFXPathEdit.IsEmpty()) {
        ErrorLabel.SetCaption(UiText("*送出失敗，請選擇憑證路徑"));
        return;
    }
    if (PFXPwdEdit.IsEmpty()) {
        ErrorLabel.SetCaption(UiText("*送出失敗，請輸入憑證密碼"));
        return;
    }
    KovaCenter* center = KovaCenter::Instance();
    if (!hasAccount || !center) return;
    std::string pfxPwd = PFXPwdEdit.Text();
    const bool sent = center->Apply(account, pfxPwd, pfxPathKept.Resolve(PFXPathEdit.Text()), Handle());
    platform::WipeString(pfxPwd);
    if (sent) {
        busy = true;
        dim.Dim();
        return;
    }
    // Nothing was sent; the client says why. A click never does nothing.
    ErrorLabel.SetCaption(UiText("*送出失敗，") + center->GetMessage());
}

void TSubmitForm::Cancel() {
    if (!busy) SetModalResult(ui::mrCancel);
}

bool TSubmitForm::DialogKey(uint16_t key) {
    if (busy) return key == VK_RETURN || key == VK_ESCAPE;  // taken, and nothing done
    if (key == VK_RETURN) {
        SubmitLabelClick();
        return true;
    }
    if (key == VK_ESCAPE) {
        Cancel();
        return true;
    }
    return false;
}

void TSubmitForm::UserMessage(UINT message, WPARAM wParam, LPARAM) {
    // Only the answer to this dialog's own application counts.
    if (message != kMsgApply || !busy) return;
    busy = false;
    KovaCenter* center = KovaCenter::Instance();
    if (center) center->TakeAnswer(kMsgApply);
    dim.Undim();
    if (wParam == 1) {
        SetModalResult(ui::mrOk);
    } else if (center) {
        ErrorLabel.SetCaption(UiText("*送出失敗，") + center->GetMessage());
    }
}
