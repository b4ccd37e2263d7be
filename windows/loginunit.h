// TLoginForm: the first window and the application's main one. It takes the
// national ID, the login password, the certificate file and its password,
// runs the two-step sign-in (authentication, then the certificate's owner)
// and hands over to the account list; it also carries the user's side of
// the self-update.
#pragma once

#include <functional>
#include <string>

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/form.h"
#include "windows/idediting.h"

class TLoginForm : public ui::Form {
public:
    TLoginForm();

    // What the program around the window does with an offered update: whether
    // it can replace the program where it is installed, and starting the
    // download (whose end comes as kMsgUpdateDownloaded). Unset, no update is
    // taken.
    std::function<bool()> CanReplaceProgram;
    std::function<void(HWND window)> DownloadUpdate;

protected:
    void UserMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormShow();
    void EditClick(ui::Edit& sender);
    void EditKeyPress(ui::Edit& sender, char& key);
    void EditKeyDown(ui::Edit& sender, uint16_t& key, ui::ShiftState shift);
    void IDEditChange();
    void IDEditKeyDown(uint16_t key, ui::ShiftState shift);
    void PasteId();
    void PwdEyeImageClick();
    void PFXEyeImageClick();
    void FolderImageClick();
    void LoginLabelClick();
    void OnUserAuth(WPARAM result);
    void OnSignText(WPARAM result);
    void OnUpdateOffered();
    void OnUpdateDownloaded(WPARAM saved);
    void SetError(const std::string& ansi);
    // The masking character a password box takes once its placeholder goes.
    char MaskWhenCleared(const ui::Edit& box) const;

    // Creation order is the z-order of the non-windowed controls.
    ui::Image BgImage{*this, 0, 0};
    ui::Label LoginLabel{*this, 741, 553, 406, 46};
    ui::Label MoreLabel{*this, 91, 227, 251, 42};
    ui::Label FAQLabel{*this, 600, 709, 83, 28};
    ui::Label RiskSignLabel{*this, 713, 709, 169, 28};
    ui::Label CertSignLabel{*this, 912, 709, 97, 28};
    ui::Label FindPwdLabel{*this, 1036, 709, 86, 28};
    ui::Label ErrorLabel{*this, 746, 455};
    ui::Image FolderImage{*this, 1116, 353, 32, 32};
    ui::Image PwdEyeImage2{*this, 1116, 293, 32, 32};
    ui::Image PFXEyeImage1{*this, 1116, 413, 32, 32};
    ui::Image PFXEyeImage2{*this, 1116, 413, 32, 32};
    ui::Image PwdEyeImage1{*this, 1116, 293, 32, 32};
    ui::Label MinimizeLabel{*this, 1202, 7, 32, 32};
    ui::Label CloseLabel{*this, 1240, 8, 32, 32};
    ui::Label VersionLabel{*this, 32, 752};
    ui::Image DarkImage{*this, 0, 0, 1280, 798};
    ui::Edit IDEdit{*this, 877, 236, 225, 28};
    ui::Edit PwdEdit{*this, 877, 296, 225, 28};
    ui::Edit PFXPathEdit{*this, 877, 356, 225, 28};
    ui::Edit PFXPwdEdit{*this, 877, 416, 225, 28};
    ui::OpenDialog OpenDialog;

    ui::WindowDrag drag{*this, ui::WindowDrag::WithFlag};
    ui::DimOverlay dim{*this, DarkImage, BgImage, {&IDEdit, &PwdEdit, &PFXPathEdit, &PFXPwdEdit}};
    windows::IdEditing id;         // holds fullId
    bool inIdChange = false;  // the change handler detached while it redraws
    ui::KeptPath pfxPathKept;  // the certificate path PFXPathEdit stands for
};
