#include "windows/loginunit.h"

#include "center/kovacenter.h"
#include "platform/platform.h"
#include "text/uitext.h"
#include "ui/application.h"
#include "windows/forms.h"
#include "windows/look.h"
#include "windows/mainunit.h"
#include "windows/weblinks.h"

namespace {

const ui::Colour kErrorColour = ui::MakeColour(245, 173, 19);
const ui::Colour kFormColour = ui::MakeColour(0, 0, 128);  // navy

void SetHandCursor(ui::Control& c) { c.SetCursor(ui::Cursor::HandPoint); }

// Hands a secret read from a box over to the center's field; neither the
// field's old storage nor the read copy keeps it.
void KeepSecret(std::string& field, std::string value) {
    platform::WipeString(field);
    field = value;
    platform::WipeString(value);
}

// Empties a password box. Overwritten first with as many spaces, so the
// control's own buffer (reused when the text fits) no longer holds it.
void EmptySecretBox(ui::Edit& box) {
    std::string text = box.Text();
    box.SetText(std::string(text.size(), ' '));
    box.SetText(std::string());
    platform::WipeString(text);
}

} // namespace

TLoginForm::TLoginForm() : ui::Form(1280, 798) {
    SetCaption(UiText("KOVA API權限申請暨環境使用驗證服務"));
    SetColour(kFormColour);

    BgImage.SetAutoSize(true);
    BgImage.SetPicture(ui::Picture::FromResource(L"LOGIN_FACE"));
    drag.Attach(BgImage);

    for (ui::Label* l : {&LoginLabel, &MoreLabel, &FAQLabel, &RiskSignLabel, &CertSignLabel, &FindPwdLabel,
                         &MinimizeLabel, &CloseLabel})
        SetHandCursor(*l);
    LoginLabel.OnClick = [this](ui::Control&) { LoginLabelClick(); };
    MoreLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::More); };
    FAQLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::Faq); };
    RiskSignLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::RiskSign); };
    CertSignLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::CertTool); };
    FindPwdLabel.OnClick = [](ui::Control&) { windows::OpenWebPage(windows::WebPage::FindPassword); };
    MinimizeLabel.OnClick = [](ui::Control&) { ui::Application::Instance().Minimize(); };
    CloseLabel.OnClick = [this](ui::Control&) { Close(); };

    ui::FontDesc errorFont;
    errorFont.colour = kErrorColour;
    ErrorLabel.SetFont(errorFont);
    ErrorLabel.SetAutoSize(true);
    ErrorLabel.SetCaption(UiText("*帳號或密碼錯誤"));  // design caption; replaced when shown

    FolderImage.SetPicture(ui::Picture::FromResource(L"FOLDER_ICON"));
    SetHandCursor(FolderImage);
    FolderImage.OnClick = [this](ui::Control&) { FolderImageClick(); };
    for (ui::Image* eye : {&PwdEyeImage1, &PFXEyeImage1})
        eye->SetPicture(ui::Picture::FromResource(L"EYE_HIDDEN_ICON"));
    for (ui::Image* eye : {&PwdEyeImage2, &PFXEyeImage2})
        eye->SetPicture(ui::Picture::FromResource(L"EYE_SHOWN_ICON"));
    for (ui::Image* icon : {&FolderImage, &PwdEyeImage1, &PwdEyeImage2, &PFXEyeImage1, &PFXEyeImage2})
        icon->SetCenter(true);
    PwdEyeImage1.OnClick = PwdEyeImage2.OnClick = [this](ui::Control&) { PwdEyeImageClick(); };
    PFXEyeImage1.OnClick = PFXEyeImage2.OnClick = [this](ui::Control&) { PFXEyeImageClick(); };

    VersionLabel.SetAutoSize(true);  // white 16 pixels: the label's default font

    DarkImage.SetAutoSize(true);
    DarkImage.Hide();

    IDEdit.SetHint(UiText("請輸入身分證字號"));
    IDEdit.SetMaxLength(static_cast<int>(windows::kIdMaxLength));
    IDEdit.SetUpperCase(true);
    PwdEdit.SetHint(UiText("請輸入登入密碼"));
    PwdEdit.SetMaxLength(20);
    PFXPathEdit.SetHint(UiText("請選擇憑證PFX路徑"));
    PFXPwdEdit.SetHint(UiText("請輸入憑證密碼"));
    PFXPwdEdit.SetMaxLength(20);
    for (ui::Edit* e : {&IDEdit, &PwdEdit, &PFXPathEdit, &PFXPwdEdit}) {
        e->SetColours(windows::kBoxColours);
        e->SetTabStop(false);
        e->OnEnter = e->OnExit = [this](ui::Edit& sender) { EditClick(sender); };
        e->OnKeyDown = [this](ui::Edit& sender, uint16_t& key, ui::ShiftState shift) {
            EditKeyDown(sender, key, shift);
        };
    }
    // The filtered boxes: single-byte keys only, no input method, each box
    // with its own key filter; every paste into the ID box, by any route,
    // goes through the ID's rules.
    for (ui::Edit* e : {&IDEdit, &PwdEdit, &PFXPwdEdit}) {
        e->SetSingleByteOnly(true);
        e->OnKeyPress = [this](ui::Edit& sender, char& key) { EditKeyPress(sender, key); };
    }
    IDEdit.OnPaste = [this](ui::Edit&) { PasteId(); };
    IDEdit.OnChange = [this](ui::Edit&) { IDEditChange(); };

    OpenDialog.SetFilter(UiText("PFX憑證檔案(*.pfx)|*.pfx"));

    OnShow = [this](ui::Form&) { FormShow(); };
}

void TLoginForm::FormShow() {
    KovaCenter* center = KovaCenter::Instance();
    id.SetFullId(center ? center->custId : std::string());
    inIdChange = true;  // the box shows what the ID is; nothing to redraw
    IDEdit.SetText(id.Masked());
    inIdChange = false;
    PwdEdit.SetText(center ? center->password : std::string());
    PFXPathEdit.SetText(pfxPathKept.KeepUtf8(center ? center->pfxPath : std::string()));
    PFXPwdEdit.SetText(center ? center->pfxPassword : std::string());
    VersionLabel.SetCaption(center ? center->GetVersionText() : std::string());
    drag.Reset();
    SetError(std::string());
    PwdEdit.SetPasswordChar(0);
    PFXPwdEdit.SetPasswordChar(0);
    for (ui::Edit* e : {&IDEdit, &PwdEdit, &PFXPathEdit, &PFXPwdEdit}) EditClick(*e);
    // With masking off, each toggle lands in the hidden state.
    PwdEyeImageClick();
    PFXEyeImageClick();
}

char TLoginForm::MaskWhenCleared(const ui::Edit& box) const {
    if (&box == &PwdEdit) return PwdEyeImage1.Visible() ? '*' : 0;
    if (&box == &PFXPwdEdit) return PFXEyeImage1.Visible() ? '*' : 0;
    return 0;
}

void TLoginForm::EditClick(ui::Edit& sender) { sender.ApplyPlaceholderRule(MaskWhenCleared(sender)); }

void TLoginForm::EditKeyPress(ui::Edit& sender, char& key) {
    // The box's own key filter has already refused double-byte characters.
    if (key == '\r') {  // Enter is the login click (handled on its key-down)
        key = 0;
        return;
    }
    if (&sender != &IDEdit) return;
    int start = 0, end = 0;
    IDEdit.GetSelection(&start, &end);
    if (!id.Type(key, start, end)) key = 0;
}

void TLoginForm::EditKeyDown(ui::Edit& sender, uint16_t& key, ui::ShiftState shift) {
    if (key == VK_RETURN) {
        key = 0;
        LoginLabelClick();
        return;
    }
    if (&sender == &IDEdit) IDEditKeyDown(key, shift);
}

void TLoginForm::IDEditChange() {
    if (inIdChange || IDEdit.Text() == IDEdit.Hint()) return;
    inIdChange = true;
    int start = 0, end = 0;
    IDEdit.GetSelection(&start, &end);
    IDEdit.SetText(id.Masked());
    IDEdit.SetSelection(start, end);
    inIdChange = false;
}

void TLoginForm::IDEditKeyDown(uint16_t key, ui::ShiftState) {
    // Ctrl+V, like every other paste route, reaches PasteId through the box.
    if (key == VK_DELETE && !id.FullId().empty()) {
        int start = 0, end = 0;
        IDEdit.GetSelection(&start, &end);
        id.Delete(start, end);
        // The box deletes from its own text next; the change handler redraws.
    }
}

void TLoginForm::PasteId() {
    std::wstring text;
    if (!ui::ReadClipboardText(nullptr, &text)) return;
    int start = 0, end = 0;
    IDEdit.GetSelection(&start, &end);
    // As typed keys would have it: upper case, letters and digits only.
    id.Paste(windows::IdFromClipboard(text), start, end);
    // Redraws and puts the box's selection back: the caret stays where it was.
    IDEditChange();
}

void TLoginForm::PwdEyeImageClick() { ui::ToggleMasking(PwdEdit, PwdEyeImage1, PwdEyeImage2); }

void TLoginForm::PFXEyeImageClick() { ui::ToggleMasking(PFXPwdEdit, PFXEyeImage1, PFXEyeImage2); }

void TLoginForm::FolderImageClick() {
    KovaCenter* center = KovaCenter::Instance();
    OpenDialog.SetInitialDirUtf8(center ? center->pfxPath : std::string());
    if (!OpenDialog.Execute(Handle())) return;
    EditClick(PFXPathEdit);
    // The box shows what code page 950 makes of the path; the path is kept whole.
    PFXPathEdit.SetText(pfxPathKept.Keep(OpenDialog.WideFileName()));
}

void TLoginForm::SetError(const std::string& ansi) { ErrorLabel.SetCaption(ansi); }

void TLoginForm::LoginLabelClick() {
    struct Check {
        ui::Edit* box;
        const char* message;
    } const checks[] = {
        {&IDEdit, "*登入失敗，請輸入身分證字號"},
        {&PwdEdit, "*登入失敗，請輸入密碼"},
        {&PFXPathEdit, "*登入失敗，請選擇憑證路徑"},
        {&PFXPwdEdit, "*登入失敗，請輸入憑證密碼"},
    };
    for (const Check& c : checks) {
        if (c.box->IsEmpty()) {
            SetError(UiText(c.message));
            return;
        }
    }
    SetError(std::string());
    KovaCenter* center = KovaCenter::Instance();
    if (!center) return;
    std::string pwd = PwdEdit.Text();
    const bool sent = center->UserAuth(id.FullId(), pwd, Handle());
    platform::WipeString(pwd);
    if (sent) dim.Dim();
}

void TLoginForm::OnUserAuth(WPARAM result) {
    KovaCenter* center = KovaCenter::Instance();
    if (!center) return;
    if (result == 1) {
        std::string pfxPwd = PFXPwdEdit.Text();
        const bool sent = center->SignText(id.FullId(), pfxPwd, pfxPathKept.Resolve(PFXPathEdit.Text()), Handle());
        platform::WipeString(pfxPwd);
        if (sent) return;
        SetError(UiText("*登入失敗，憑證路徑有誤"));
    } else {
        SetError(UiText("*登入失敗，") + center->GetMessage());
    }
    dim.Undim();
}

void TLoginForm::OnSignText(WPARAM result) {
    dim.Undim();
    KovaCenter* center = KovaCenter::Instance();
    if (!center) return;
    if (result != 1) {
        SetError(UiText("*登入失敗，憑證密碼或檔案錯誤"));
        return;
    }
    // Same length, same bytes: the certificate must be this ID's, case included.
    if (center->GetSignResult().subject_cn != id.FullId()) {
        SetError(UiText("*登入失敗，帳號與憑證不符"));
        return;
    }
    center->custId = id.FullId();
    KeepSecret(center->password, PwdEdit.Text());
    center->pfxPath = pfxPathKept.Resolve(PFXPathEdit.Text());
    KeepSecret(center->pfxPassword, PFXPwdEdit.Text());
    center->SaveSettings();
    Hide();
    // The center keeps them for the reload; the hidden window need not.
    // Showing it again (at log-out) fills the boxes from the center.
    EmptySecretBox(PwdEdit);
    EmptySecretBox(PFXPwdEdit);
    if (MainForm) MainForm->Show();
}

void TLoginForm::OnUpdateOffered() {
    if (!CanReplaceProgram || !DownloadUpdate) return;
    // Installed where this user cannot write, the update could never replace
    // the program: it is not downloaded at all.
    if (!CanReplaceProgram()) {
        windows::ShowMessage(Handle(), UiText("無法自動更新：程式所在的資料夾無法寫入"));
        return;
    }
    windows::ShowMessage(Handle(), UiText("有新的程式版本，即將下載更新"));
    DownloadUpdate(Handle());
}

void TLoginForm::OnUpdateDownloaded(WPARAM saved) {
    if (saved == 1) {
        windows::ShowMessage(Handle(), UiText("下載更新完畢，即將重新啟動程式"));
        // Ends the application, also from behind the account list; the shell
        // then starts the download.
        Close();
    } else {
        windows::ShowMessage(Handle(), UiText("下載更新失敗"));
    }
}

void TLoginForm::UserMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case kMsgUserAuth:
        if (KovaCenter* center = KovaCenter::Instance()) center->TakeAnswer(kMsgUserAuth);
        OnUserAuth(wParam);
        break;
    case kMsgSignText: OnSignText(wParam); break;
    case kMsgUpdateOffered: OnUpdateOffered(); break;
    case kMsgUpdateDownloaded: OnUpdateDownloaded(wParam); break;
    default: break;  // WM_USER + 4 of the IP lookup among them
    }
}
