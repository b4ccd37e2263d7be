#include "ui/submitunit.h"

#include "doc/uitext.h"

TSubmitForm::TSubmitForm() : ui::Form(500, 620) {
    SetCaption(UiText("送出申請確認"));
    SetShowInTaskbar(false);
    BgImage.SetAutoSize(true);  // the face is decoded when first shown
    drag.Attach(BgImage);
    CloseLabel.SetCursor(ui::Cursor::HandPoint);
    CloseLabel.OnClick = [this](ui::Control&) { SetModalResult(ui::mrCancel); };
    OnShow = [this](ui::Form&) {
        if (BgImage.GetPicture().Empty()) BgImage.SetPicture(ui::Picture::FromResource(L"SUBMIT_FACE"));
        drag.Reset();
    };
}
