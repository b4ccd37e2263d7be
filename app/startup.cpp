#include "app/shell.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "app/publisher.h"
#include "app/testhooks.h"
#include "center/kovacenter.h"
#include "text/uitext.h"
#include "ui/application.h"
#include "windows/forms.h"
#include "windows/loginunit.h"
#include "ui/picture.h"

namespace {

// The windows and the message loop. Whatever escapes them is shown by the
// framework's one exception box, and the shell's clean-up still runs.
void RunWindows(Shell& shell) {
    ui::Application& app = ui::Application::Instance();
    try {
        app.SetTitle(UiText("KOVA API權限申請暨環境使用驗證服務"));
        // The login window comes first. Once it is on the screen the IP
        // lookup and the version check start, in that order, and the other
        // windows are made: loading WinInet and TLS and making hidden
        // windows stay off the way to the first frame.
        CreateLoginForm(app);
        LoginForm->CanReplaceProgram = [] { return ProgramFolderWritable(platform::ModulePath()); };
        LoginForm->DownloadUpdate = [](HWND window) { StartUpdateDownload(window); };
        MarkStart("window");
        LoginForm->Show();
        MarkStart("painted");
        app.WhenIdle([&shell, &app] {
            shell.center->QueryPublicIP();
            shell.center->CheckVersion(LoginForm->Handle());
            CreateOtherForms(app);
            // The other windows' faces decode meanwhile, off the way from
            // 登入 to the list and from 送出申請 to the confirmation.
            for (const wchar_t* face : {L"LIST_FACE", L"SUBMIT_FACE", L"CONFIRM_FACE"}) ui::Picture::Prefetch(face);
        });
        app.Run();
    } catch (const std::exception& e) {
        app.ShowException(e.what());
    } catch (...) {
        app.ShowException("");
    }
    // No window may receive a completion from here on.
    app.DestroyForms();
}

} // namespace

int RunNormalMode() {
    Shell& shell = TheShell();
    // The login window's face decodes while the folders, the objects and the
    // window itself are made.
    ui::Picture::Prefetch(L"LOGIN_FACE");
    PrepareFolders(shell);
    if (!CreateProcessObjects(shell)) return 1;

    RunWindows(shell);

    // The update's name is read once no completion can still write it: a
    // download that ends while the window closes either saved its file by
    // now or counts as failed.
    EndExchanges(shell);
    const std::string update = shell.center ? shell.center->GetUpdateFile() : std::string();
    // Checked again right before it starts, and held, shared for reading
    // only, until this process ends: nobody can change, swap or rename it
    // between the check and the start.
    platform::ReadLockedFile held;
    if (!update.empty() && held.Open(update) && IsFromOurPublisher(held, update)) LaunchExecutable(update, true);

    if (!ReleaseProcessObjects(shell)) {
        // Workers still blocked in an exchange: end here, before the runtime's
        // exit handlers destroy what they might still touch.
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return 0;
}
