// TMainForm: the account list window, shown once a sign-in completes. For now
// its face with the signed-in ID, log-out, minimise and close.
#pragma once

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/form.h"

class TMainForm : public ui::Form {
public:
    TMainForm();

private:
    void FormShow();
    void LogoutLabelClick();

    ui::Image BgImage{*this, 0, 0};
    ui::Label IDLabel{*this, 272, 149, 132, 26};
    ui::Label LogoutLabel{*this, 707, 717, 156, 46};
    ui::Label MinimizeLabel{*this, 1203, 8, 32, 32};
    ui::Label CloseLabel{*this, 1240, 8, 32, 32};
    ui::WindowDrag drag{*this, ui::WindowDrag::WhileLeftHeld};
};
