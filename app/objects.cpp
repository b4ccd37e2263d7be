#include "app/shell.h"

#include "net/httprequest.h"
#include "task/asynctask.h"

void CreateProcessObjects(Shell& shell) {
    // Upload bodies (certificate and password) are spooled only there; without
    // a temporary folder they are built in memory.
    HTTPRequest::SetSpoolFolder(shell.tempFolder);
    shell.scheduler = new TaskScheduler;
    shell.scheduler->Start(3);
    TaskScheduler::SetCurrent(shell.scheduler);
}

void ReleaseProcessObjects(Shell& shell) {
    // Workers stop before anything they might complete against is released.
    if (shell.scheduler) {
        shell.scheduler->Stop();
        TaskScheduler::SetCurrent(nullptr);
        delete shell.scheduler;
        shell.scheduler = nullptr;
    }
}
