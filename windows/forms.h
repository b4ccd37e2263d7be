// The program's four windows, created hidden at start-up in this order; the
// first is the application's main window. Each is reached through its
// pointer, set when it is created.
#pragma once

namespace ui {
class Application;
}
class TLoginForm;
class TMainForm;
class TSubmitForm;
class TConfirmForm;

extern TLoginForm* LoginForm;
extern TMainForm* MainForm;
extern TSubmitForm* SubmitForm;
extern TConfirmForm* ConfirmForm;

// The login window alone, so that it can be painted before the others are
// made; then the other three, before any input is read.
void CreateLoginForm(ui::Application& app);
void CreateOtherForms(ui::Application& app);
