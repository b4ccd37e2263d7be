#include "app/shell.h"

#include <windows.h>

#include "app/publisher.h"
#include "app/testhooks.h"
#include "app/updatenote.h"
#include "center/kovacenter.h"
#include "text/uitext.h"
#include "net/exchange.h"
#include "net/httpconnection.h"
#include "net/httprequest.h"
#include "platform/platform.h"
#include "task/asynctask.h"
#include "windows/look.h"

namespace {
const uint32_t kSettleMs = 2000;
}

bool CreateProcessObjects(Shell& shell) {
    // Upload bodies (certificate and password) are spooled only there; without
    // a temporary folder they are built in memory.
    HTTPRequest::SetSpoolFolder(shell.tempFolder);
    TaskScheduler* scheduler = new TaskScheduler;
    if (!scheduler->Start(3)) {
        // Without workers no call would ever complete: say so and end.
        delete scheduler;
        MessageBoxA(nullptr, UiText("無法啟動背景工作，程式即將結束").c_str(), UiText(windows::kMessageTitleUtf8).c_str(),
                    MB_OK | MB_ICONERROR);
        return false;
    }
    shell.scheduler = scheduler;
    TaskScheduler::SetCurrent(shell.scheduler);
    shell.connection = new HTTPConnectionImp;
    shell.center = new KovaCenter(shell.connection);
    shell.center->LoadSettings(shell.dataFolder + "\\kova.xml");
    KovaCenter::SetUpdateCheck(&IsUpdateFromOurPublisher);
#ifdef KOVA_TEST_HOOKS
    InstallTestHooks();
#endif
    // A version that could not be installed here is not offered again. Once
    // it, or a later one, runs, the note has served.
    const std::string failed = ReadFailedUpdate(shell.dataFolder);
    if (KovaCenter::IsNewer(failed, shell.center->version)) shell.center->refusedVersion = failed;
    else if (!failed.empty()) ForgetFailedUpdate(shell.dataFolder);
    return true;
}

bool EndExchanges(Shell& shell) {
    // An exchange still under way must not hold up the exit: aborted, it
    // completes as failed.
    net::AbortOpenExchanges();
    if (!shell.scheduler || shell.workersStopped) return true;
    // WinInet under Wine does not unblock a request whose server never
    // answers when its handle is closed: give aborted exchanges a moment,
    // then leave the workers and the objects they use to the process's end.
    const uint32_t start = platform::TimeMs();
    while (shell.scheduler->ActiveCount() > 0 && platform::TimeMs() - start < kSettleMs) platform::SleepMs(10);
    if (shell.scheduler->ActiveCount() > 0) return false;
    shell.scheduler->Stop();
    TaskScheduler::SetCurrent(nullptr);
    shell.workersStopped = true;
    return true;
}

bool ReleaseProcessObjects(Shell& shell) {
    // The workers stop before the client they complete against is released
    // (a late completion would also find no instance).
    const bool settled = EndExchanges(shell);
    delete shell.center;  // withdraws the instance: a late completion posts nothing
    shell.center = nullptr;
    if (!settled) return false;
    if (shell.scheduler) {
        delete shell.scheduler;
        shell.scheduler = nullptr;
    }
    if (shell.connection) {
        shell.connection->Release();
        shell.connection = nullptr;
    }
    return true;
}
