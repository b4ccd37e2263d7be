#include "app/shell.h"

#include "center/kovacenter.h"
#include "platform/notify.h"

void StartUpdateDownload(void* window) {
    Shell& shell = TheShell();
    bool started = false;
    if (shell.center && !shell.tempFolder.empty())
        started = shell.center->DownloadUpdate(shell.tempFolder + "\\kovaapp.exe", window);
    // Nowhere to save it, or refused: the same end as a failed download.
    if (!started) platform::PostNotify(window, kMsgUpdateDownloaded, 0);
}
