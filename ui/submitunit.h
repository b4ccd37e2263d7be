// TSubmitForm: the dialog that sends the application for one account. For
// now its face and its close area (modal result 2).
#pragma once

#include "ui/behaviour.h"
#include "ui/control.h"
#include "ui/form.h"

class TSubmitForm : public ui::Form {
public:
    TSubmitForm();

private:
    ui::Image BgImage{*this, 0, 0};
    ui::Label CloseLabel{*this, 460, 7, 32, 32};
    ui::WindowDrag drag{*this, ui::WindowDrag::WithFlag};
};
