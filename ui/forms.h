// The program's four windows, created at start-up in this order; the first
// is the application's main window. Each is reached through its pointer,
// set when it is created.
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

// Creates the four windows, hidden; Application::Run then shows the first.
void CreateForms(ui::Application& app);
