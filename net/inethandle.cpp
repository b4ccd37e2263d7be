#include "net/inethandle.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

#include "net/exchange.h"
#include "platform/platform.h"

namespace net {

namespace {

// How often the watchdog looks at an exchange's time limit.
const DWORD kWatchPeriodMs = 100;

// The one lock of every exchange's request handle (see Guarded).
std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}
std::condition_variable& LetGo() {
    static std::condition_variable letGo;
    return letGo;
}
// Request handles closed by another that their workers still hold.
int g_held = 0;

std::vector<Guarded*>& Open() {
    static std::vector<Guarded*> open;
    return open;
}

} // namespace

Guarded::Guarded(const TimeLimit& limit) : limit_(limit), started_(platform::TimeMs()), windowStart_(started_) {
    {
        std::lock_guard<std::mutex> lock(Lock());
        Open().push_back(this);
    }
    if (!CreateTimerQueueTimer(&timer_, nullptr, Tick, this, kWatchPeriodMs, kWatchPeriodMs, WT_EXECUTEDEFAULT)) {
        timer_ = nullptr;
    }
}

Guarded::~Guarded() {
    // Waits for a tick under way, so none runs on a destroyed exchange.
    if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
    CloseRequest();
    std::lock_guard<std::mutex> lock(Lock());
    std::vector<Guarded*>& open = Open();
    for (size_t i = 0; i < open.size(); ++i) {
        if (open[i] == this) {
            open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

HINTERNET Guarded::Create(const std::function<HINTERNET()>& make) {
    std::unique_lock<std::mutex> lock(Lock());
    LetGoLocked();  // a worker never waits for itself
    LetGo().wait(lock, [] { return g_held == 0 || ExchangesAborted(); });
    if (ExchangesAborted() || outOfTime_) return nullptr;
    return make();
}

bool Guarded::OpenRequest(const std::function<HINTERNET()>& make) {
    CloseRequest();
    HINTERNET h = Create([&] {
        request_ = make();
        return request_;
    });
    return h != nullptr;
}

HINTERNET Guarded::Use() {
    std::lock_guard<std::mutex> lock(Lock());
    if (closedByOther_) {
        LetGoLocked();
        return nullptr;
    }
    if (outOfTime_ || ExchangesAborted()) return nullptr;
    return request_;
}

void Guarded::CloseRequest() {
    std::lock_guard<std::mutex> lock(Lock());
    if (closedByOther_) {
        LetGoLocked();
    } else if (request_) {
        InternetCloseHandle(request_);
    }
    request_ = nullptr;
    closedByOther_ = false;
}

void Guarded::Progress(size_t bytes) {
    std::lock_guard<std::mutex> lock(Lock());
    windowBytes_ += static_cast<int64_t>(bytes);
}

bool Guarded::OutOfTime() {
    std::lock_guard<std::mutex> lock(Lock());
    return outOfTime_;
}

void Guarded::CloseAllForWorkers() {
    std::lock_guard<std::mutex> lock(Lock());
    for (Guarded* g : Open()) g->CloseForWorkerLocked();
    LetGo().notify_all();
}

void Guarded::CloseForWorkerLocked() {
    if (!request_ || closedByOther_) return;
    InternetCloseHandle(request_);
    closedByOther_ = true;
    ++g_held;
}

void Guarded::LetGoLocked() {
    if (!closedByOther_) return;
    closedByOther_ = false;
    request_ = nullptr;
    --g_held;
    LetGo().notify_all();
}

VOID CALLBACK Guarded::Tick(PVOID self, BOOLEAN) { static_cast<Guarded*>(self)->Check(); }

void Guarded::Check() {
    std::lock_guard<std::mutex> lock(Lock());
    if (outOfTime_) return;
    const uint32_t now = platform::TimeMs();
    if (limit_.minimumRate > 0) {
        const uint32_t span = now - windowStart_;
        if (span < limit_.windowMs) return;
        if (windowBytes_ * 1000 >= static_cast<int64_t>(limit_.minimumRate) * span) {
            windowStart_ = now;
            windowBytes_ = 0;
            return;
        }
    } else if (now - started_ < limit_.deadlineMs) {
        return;
    }
    outOfTime_ = true;
    CloseForWorkerLocked();
}

} // namespace net
