#include "ui/forms.h"

#include "ui/application.h"
#include "ui/confirmunit.h"
#include "ui/loginunit.h"
#include "ui/mainunit.h"
#include "ui/submitunit.h"

TLoginForm* LoginForm = nullptr;
TMainForm* MainForm = nullptr;
TSubmitForm* SubmitForm = nullptr;
TConfirmForm* ConfirmForm = nullptr;

void CreateLoginForm(ui::Application& app) { LoginForm = app.CreateForm<TLoginForm>(); }

void CreateOtherForms(ui::Application& app) {
    MainForm = app.CreateForm<TMainForm>();
    SubmitForm = app.CreateForm<TSubmitForm>();
    ConfirmForm = app.CreateForm<TConfirmForm>();
}
