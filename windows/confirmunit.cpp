#include "windows/confirmunit.h"

#include "text/uitext.h"

TConfirmForm::TConfirmForm() : ui::Form(480, 520) {
    SetCaption(UiText("送出申請確認"));
    SetShowInTaskbar(false);
    BgImage.SetAutoSize(true);  // the face is decoded when first shown
    drag.Attach(BgImage);
    for (ui::Label* l : {&OKLabel, &CloseLabel}) {
        l->SetCursor(ui::Cursor::HandPoint);
        l->OnClick = [this](ui::Control&) { Close(); };
    }
    // Enter and Esc close it too.
    OnKeyDown = [this](ui::Form&, uint16_t key) {
        if (key == VK_RETURN || key == VK_ESCAPE) Close();
    };
    OnShow = [this](ui::Form&) {
        if (BgImage.GetPicture().Empty()) BgImage.SetPicture(ui::Picture::FromResource(L"CONFIRM_FACE"));
    };
}
