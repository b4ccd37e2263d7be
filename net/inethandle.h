// WinInet's handles for the exchange (Windows only): an owning handle, and
// the guard of an exchange's request handle, which its worker shares with
// the watchdog of its time limit and with the abort at shut-down.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/exchangesteps.h"

namespace net {

struct InetCloser {
    void operator()(HINTERNET h) const { InternetCloseHandle(h); }
};
// Closes its handle on destruction and when replaced.
typedef std::unique_ptr<void, InetCloser> InetHandle;

// One exchange: its request handle and its time limit, watched by a timer.
//
// The request handle may be closed by someone else than its worker: the
// abort at shut-down, or the watchdog when the time limit ran out (a blocking
// WinInet call returns only then). The worker may be about to use that
// handle value at that moment; should a new handle get the same value, the
// worker would read someone else's answer. So one lock covers every close by
// another, every creation of a WinInet handle, and the worker's check before
// each use: while a closed value has not been let go by its worker, no
// handle is created, and after the abort none ever is.
class Guarded {
public:
    explicit Guarded(const TimeLimit& limit);
    ~Guarded();
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    bool Watched() const { return timer_ != nullptr; }

    // A new WinInet handle from `make`, or null: after the abort, past the
    // time limit, or when `make` fails.
    HINTERNET Create(const std::function<HINTERNET()>& make);
    // The request handle, created as Create does and watched from now on.
    bool OpenRequest(const std::function<HINTERNET()>& make);
    // The request handle for one more call, or null when it must not be
    // used again: closed by another (then let go), or out of time.
    HINTERNET Use();
    // The worker is done with its request handle: closes it, or lets go of
    // it when another closed it.
    void CloseRequest();
    // Bytes sent or received, for the minimum rate.
    void Progress(size_t bytes);
    bool OutOfTime();
    // Per-call limits: never past the deadline, so that a blocking call that
    // a close does not end (Wine) still ends near it.
    DWORD CallLimit(DWORD limit) const {
        return limit_.deadlineMs > 0 && limit_.deadlineMs < limit ? limit_.deadlineMs : limit;
    }

    // Shut-down: closes the request handle of every exchange under way;
    // creations waiting now fail.
    static void CloseAllForWorkers();

private:
    void CloseForWorkerLocked();
    void LetGoLocked();
    static VOID CALLBACK Tick(PVOID self, BOOLEAN);
    void Check();

    const TimeLimit limit_;
    HANDLE timer_ = nullptr;
    HINTERNET request_ = nullptr;
    bool closedByOther_ = false;
    bool outOfTime_ = false;
    const uint32_t started_;
    uint32_t windowStart_;
    int64_t windowBytes_ = 0;
};

} // namespace net
