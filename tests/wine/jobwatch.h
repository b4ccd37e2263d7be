// Every process of a tree, seen through a job object: a process that lives
// only a moment (the update's restart-mode copy) is still reported, with the
// image it ran and its exit code.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wintest {

struct SeenProcess {
    DWORD pid = 0;
    std::wstring image;  // full path, as the process was started
    HANDLE handle = nullptr;
    bool exited = false;  // the job has reported its end
    DWORD seenAt = 0;     // GetTickCount when the job reported its start
};

class JobWatch {
public:
    JobWatch();
    // Ends every process still in the job.
    ~JobWatch();
    JobWatch(const JobWatch&) = delete;
    JobWatch& operator=(const JobWatch&) = delete;

    bool ok() const { return port_ != nullptr; }
    // Starts `exe` (no arguments) inside the job; its children join it.
    bool Start(const std::wstring& exe, PROCESS_INFORMATION* pi);
    // Processes seen so far, in the order they started.
    std::vector<SeenProcess> Seen();
    // Waits until the job has reported the end of `pid`; false after `ms`.
    // The job reports a child's start before its parent's end, so a process
    // started by `pid` is in Seen() by then.
    bool WaitExited(DWORD pid, DWORD ms);

private:
    void Pump();
    // Names the processes not yet named; true while one is still alive and
    // unnamed (the pump then looks again in a moment).
    bool NameProcesses();

    HANDLE job_ = nullptr;
    HANDLE port_ = nullptr;
    std::thread pump_;
    std::mutex mutex_;
    std::vector<SeenProcess> seen_;
};

// The exit code of a process that has ended; -1 while it runs (waits up to `ms`).
long ExitCode(HANDLE process, DWORD ms);

} // namespace wintest
