// TConfirmForm: the modal dialog that confirms a sent application; its text
// and OK button are painted in its face. OK, close, Enter and Esc close it.
#pragma once

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/form.h"

class TConfirmForm : public ui::Form {
public:
    TConfirmForm();

private:
    ui::Image BgImage{*this, 0, 0};
    ui::Label OKLabel{*this, 30, 436, 425, 47};
    ui::Label CloseLabel{*this, 440, 4, 32, 32};
    ui::WindowDrag drag{*this, ui::WindowDrag::WhileLeftHeld};
};
