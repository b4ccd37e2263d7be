#include "app/shell.h"

#include "center/kovacenter.h"
#include "net/exchange.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"
#include "task/asynctask.h"

void CreateProcessObjects(Shell& shell) {
    // Upload bodies (certificate and password) are spooled only there; without
    // a temporary folder they are built in memory.
    HTTPRequest::SetSpoolFolder(shell.tempFolder);
    shell.scheduler = new TaskScheduler;
    shell.scheduler->Start(3);
    TaskScheduler::SetCurrent(shell.scheduler);
    shell.connection = new HTTPConnectionImp;
    shell.center = new KovaCenter(shell.connection);
    shell.center->LoadSettings(shell.dataFolder + "\\kova.xml");
    // The first request; no window is there yet to hear of its end.
    shell.center->QueryPublicIP();
}

void ReleaseProcessObjects(Shell& shell) {
    // An exchange still under way must not hold up the exit: aborted, it
    // completes as failed. The workers stop before the client they complete
    // against is released (a late completion would also find no instance).
    net::AbortOpenExchanges();
    if (shell.scheduler) {
        shell.scheduler->Stop();
        TaskScheduler::SetCurrent(nullptr);
    }
    delete shell.center;
    shell.center = nullptr;
    if (shell.scheduler) {
        delete shell.scheduler;
        shell.scheduler = nullptr;
    }
    if (shell.connection) {
        shell.connection->Release();
        shell.connection = nullptr;
    }
}

void StartUpdateDownload(void* window) {
    Shell& shell = TheShell();
    if (!shell.center || shell.tempFolder.empty()) return;
    shell.center->DownloadUpdate(shell.tempFolder + "\\kovaapp.exe", window);
}
