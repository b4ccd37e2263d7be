#include "windows/forms.h"

#include "ui/application.h"
#include "windows/confirmunit.h"
#include "windows/loginunit.h"
#include "windows/mainunit.h"
#include "windows/submitunit.h"

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
