// TSubmitForm: the modal dialog that sends the application for one account,
// with the certificate file and its password. Ends with 1 when the service
// accepts, 2 when cancelled or closed.
#pragma once

#include "center/kovacenter_records.h"
#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "ui/idediting.h"

class TSubmitForm : public ui::Form {
public:
    TSubmitForm();
    // The account to apply for; a record of the client's applyList.
    void SetAccount(KovaCenterRecords::ApiApply* record) { account = record; }

protected:
    void UserMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormShow();
    void EditClick(ui::Edit& sender);
    void PFXEyeImageClick();
    void FolderImageClick();
    void SubmitLabelClick();
    void Cancel();
    // Enter submits and Esc cancels, wherever the focus is in the dialog.
    bool DialogKey(uint16_t key);

    ui::Image BgImage{*this, 0, 0};
    ui::Label TypeLabel{*this, 186, 176, 0, 23};
    ui::Label BranchLabel{*this, 186, 235, 0, 23};
    ui::Label AccountLabel{*this, 186, 297, 0, 23};
    ui::Image FolderImage{*this, 420, 353, 30, 30};
    ui::Image PFXEyeImage1{*this, 420, 413, 30, 30};
    ui::Image PFXEyeImage2{*this, 420, 413, 30, 30};
    ui::Label ErrorLabel{*this, 42, 456};
    ui::Label SubmitLabel{*this, 262, 541, 217, 47};
    ui::Label CancelLabel{*this, 22, 541, 217, 47};
    ui::Label CloseLabel{*this, 460, 7, 32, 32};
    ui::Edit PFXPathEdit{*this, 184, 353, 225, 30};
    ui::Edit PFXPwdEdit{*this, 184, 413, 225, 30};
    ui::OpenDialog OpenDialog;

    ui::WindowDrag drag{*this, ui::WindowDrag::WithFlag};
    ui::KeyFilter keyFilter;  // holds skipNextByte
    KovaCenterRecords::ApiApply* account = nullptr;
};
