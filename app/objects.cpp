#include "app/shell.h"

#include "task/asynctask.h"

void CreateProcessObjects(Shell& shell) {
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
