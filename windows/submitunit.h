// TSubmitForm: the modal dialog that sends the application for one account,
// with the certificate file and its password. Ends with 1 when the service
// accepts, 2 when cancelled or closed. While an application is out the dialog
// is dimmed and takes no click, key or close: its answer comes back to it.
#pragma once

#include "center/kovacenter_records.h"
#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "windows/idediting.h"

class TSubmitForm : public ui::Form {
public:
    TSubmitForm();
    // The account to apply for: a copy of a record of the client's applyList,
    // which a reload may refill while the dialog is open.
    void SetAccount(const KovaCenterRecords::ApiApply& record) {
        account = record;
        hasAccount = true;
    }
    bool Busy() const { return busy; }

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
    ui::Image DarkImage{*this, 0, 0, 500, 620};  // above every other picture
    ui::Edit PFXPathEdit{*this, 184, 353, 225, 30};
    ui::Edit PFXPwdEdit{*this, 184, 413, 225, 30};
    ui::OpenDialog OpenDialog;

    ui::WindowDrag drag{*this, ui::WindowDrag::WithFlag};
    ui::DimOverlay dim{*this, DarkImage, BgImage, {&PFXPathEdit, &PFXPwdEdit}};
    KovaCenterRecords::ApiApply account;
    bool hasAccount = false;
    bool busy = false;  // an application is out
    ui::KeptPath pfxPathKept;  // the certificate path PFXPathEdit stands for
};
