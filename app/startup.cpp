#include "app/shell.h"

#include <windows.h>

#include <cstdio>
#include <exception>

#include "app/placeholder_window.h"
#include "center/kovacenter.h"
#include "doc/uitext.h"

namespace {

void ShowException(const char* text) {
    MessageBoxA(nullptr, text, UiText("KOVA API權限申請服務").c_str(), MB_OK | MB_ICONERROR);
}

} // namespace

int RunNormalMode() {
    Shell& shell = TheShell();
    PrepareFolders(shell);
    if (!CreateProcessObjects(shell)) return 1;

    // The windows run inside an exception frame; whatever escapes is shown and
    // the clean-up below still runs.
    try {
        if (CreatePlaceholderWindow(UiWide("KOVA API權限申請暨環境使用驗證服務"))) {
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("");
    }

    // However the loop ended, a saved update replaces this executable.
    const std::string update = shell.center ? shell.center->GetUpdateFile() : std::string();
    if (!update.empty()) LaunchExecutable(update, true);

    if (!ReleaseProcessObjects(shell)) {
        // Workers still blocked in an exchange: end here, before the runtime's
        // exit handlers destroy what they might still touch.
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 0);
    }
    return 0;
}
