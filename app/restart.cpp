#include "app/shell.h"

#include <windows.h>

#include "app/copyretry.h"
#include "app/updatenote.h"
#include "center/programversion.h"
#include "text/uitext.h"
#include "platform/platform.h"
#include "windows/look.h"

int RunRestartMode(const std::string& target) {
    const std::string self = platform::ModulePath();
    if (!self.empty() && CopyOverWithRetry(self, target, CopyRetryPolicy())) {
        LaunchExecutable(target, false);
    } else {
        // Written before the message, which may stay up for a long time:
        // the next start must already know not to close for this version.
        WriteFailedUpdate(DataFolderPath(), ProgramVersion());
        MessageBoxA(nullptr, UiText("複製檔案失敗").c_str(), UiText(windows::kMessageTitleUtf8).c_str(), MB_OK);
    }
    return 0;
}
