#include "jobwatch.h"

namespace wintest {

namespace {
const ULONG_PTR kJobKey = 1;
const ULONG_PTR kQuitKey = 2;
} // namespace

JobWatch::JobWatch() {
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (!job_) return;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (!port) return;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {reinterpret_cast<void*>(kJobKey), port};
    if (!SetInformationJobObject(job_, JobObjectAssociateCompletionPortInformation, &association,
                                 sizeof association)) {
        CloseHandle(port);
        return;
    }
    port_ = port;
    pump_ = std::thread([this] { Pump(); });
}

JobWatch::~JobWatch() {
    if (job_) {
        TerminateJobObject(job_, 1);
        for (const SeenProcess& p : Seen()) WaitExited(p.pid, 5000);
    }
    if (port_) {
        PostQueuedCompletionStatus(port_, 0, kQuitKey, nullptr);
        pump_.join();
        CloseHandle(port_);
    }
    for (SeenProcess& p : seen_)
        if (p.handle) CloseHandle(p.handle);
    if (job_) CloseHandle(job_);
}

bool JobWatch::Start(const std::wstring& exe, PROCESS_INFORMATION* pi) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &si, pi))
        return false;
    if (!AssignProcessToJobObject(job_, pi->hProcess)) {
        TerminateProcess(pi->hProcess, 1);
        CloseHandle(pi->hThread);
        CloseHandle(pi->hProcess);
        return false;
    }
    ResumeThread(pi->hThread);
    return true;
}

void JobWatch::Pump() {
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* detail = nullptr;
        const DWORD wait = NameProcesses() ? 1 : INFINITE;
        if (!GetQueuedCompletionStatus(port_, &message, &key, &detail, wait)) {
            if (detail == nullptr && GetLastError() == WAIT_TIMEOUT) continue;
            return;
        }
        if (key == kQuitKey) return;
        const DWORD pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
        std::lock_guard<std::mutex> lock(mutex_);
        if (message == JOB_OBJECT_MSG_NEW_PROCESS) {
            // Opened at once: the handle keeps the exit code of a process that
            // ends before anyone looks. Named as soon as Wine can say.
            SeenProcess p;
            p.pid = pid;
            p.handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
            p.seenAt = GetTickCount();
            seen_.push_back(p);
        } else if (message == JOB_OBJECT_MSG_EXIT_PROCESS || message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) {
            for (SeenProcess& p : seen_)
                if (p.pid == pid) p.exited = true;
        }
    }
}

bool JobWatch::NameProcesses() {
    // Wine names an image only once the new process has mapped it, and no
    // longer once it has ended: a short-lived process (the restart-mode copy)
    // must be asked often, never behind another one still unnamed.
    std::lock_guard<std::mutex> lock(mutex_);
    bool pending = false;
    for (SeenProcess& p : seen_) {
        if (!p.handle || !p.image.empty() || GetTickCount() - p.seenAt > 20000) continue;
        wchar_t image[MAX_PATH * 2] = {0};
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(p.handle, 0, image, &size) && size > 0) {
            p.image.assign(image, size);
        } else if (WaitForSingleObject(p.handle, 0) != WAIT_OBJECT_0) {
            pending = true;
        }
    }
    return pending;
}

std::vector<SeenProcess> JobWatch::Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool JobWatch::WaitExited(DWORD pid, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const SeenProcess& p : seen_)
                if (p.pid == pid && p.exited) return true;
        }
        if (GetTickCount() - start > ms) return false;
        Sleep(20);
    }
}

long ExitCode(HANDLE process, DWORD ms) {
    if (!process || WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

} // namespace wintest
