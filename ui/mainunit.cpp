#include "ui/mainunit.h"

#include "center/kovacenter.h"
#include "doc/uitext.h"
#include "ui/application.h"
#include "ui/forms.h"
#include "ui/loginunit.h"

TMainForm::TMainForm() : ui::Form(1280, 798) {
    SetCaption(UiText("KOVA API權限申請暨環境使用驗證服務"));
    BgImage.SetAutoSize(true);  // the face is decoded when first shown
    drag.Attach(BgImage);

    ui::FontDesc idFont;
    idFont.pixelHeight = 21;
    idFont.bold = true;
    IDLabel.SetFont(idFont);
    IDLabel.SetTransparent(false);  // on the edit-box colour, the label's default

    for (ui::Label* l : {&LogoutLabel, &MinimizeLabel, &CloseLabel}) l->SetCursor(ui::Cursor::HandPoint);
    LogoutLabel.OnClick = [this](ui::Control&) { LogoutLabelClick(); };
    MinimizeLabel.OnClick = [](ui::Control&) { ui::Application::Instance().Minimize(); };
    CloseLabel.OnClick = [this](ui::Control&) { Close(); };
    // Closing this window, by any means, ends the application.
    OnClose = [](ui::Form&) { ui::Application::Instance().Terminate(); };
    OnShow = [this](ui::Form&) { FormShow(); };
}

void TMainForm::FormShow() {
    // Decoded on first showing, not at start-up: the login window comes first.
    if (BgImage.GetPicture().Empty()) BgImage.SetPicture(ui::Picture::FromResource(L"LIST_FACE"));
    KovaCenter* center = KovaCenter::Instance();
    IDLabel.SetCaption(center ? center->custId : std::string());
}

void TMainForm::LogoutLabelClick() {
    Hide();
    if (KovaCenter* center = KovaCenter::Instance()) center->Logout();
    if (LoginForm) LoginForm->Show();
}
