#include "task/asynctask.h"

#include <algorithm>
#include <vector>

namespace {

const char kFile[] = "asynctask";

std::atomic<TaskScheduler*> g_current{nullptr};

int32_t ClampToInt32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// delay x 1000 with the fraction dropped; out-of-range delays saturate
// instead of being undefined.
int32_t DelayToMs(float delay) {
    double ms = static_cast<double>(delay) * 1000.0;
    if (!(ms == ms)) return 0;  // NaN
    if (ms >= 2147483647.0) return INT32_MAX;
    if (ms <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(ms);
}

} // namespace

// ---- RefCountable ----------------------------------------------------------

int32_t RefCountable::AddRef() {
    // Compare-and-swap so that a count reaching 0 on another thread is never
    // brought back to life.
    int32_t seen = platform::InterlockedRead32(&refCount);
    for (;;) {
        if (seen <= 0) return 0;
        int32_t before = platform::InterlockedCompareExchange32(&refCount, seen + 1, seen);
        if (before == seen) return seen + 1;
        seen = before;
    }
}

void RefCountable::Release() {
    if (platform::InterlockedDecrement32(&refCount) == 0) delete this;
}

// ---- AsyncTask -------------------------------------------------------------

AsyncTask::AsyncTask()
    : runCount(1), delay(0.0f), autoRelease(false), state(Waiting), remaining(0), lastTime(0), lock(0),
      scheduler(nullptr) {}

AsyncTask::~AsyncTask() { AsyncTask::Cancel(); }

bool AsyncTask::IsEarlier(const AsyncTask& other) const { return remaining < other.remaining; }

bool AsyncTask::Schedule(TaskScheduler* target) {
    lock.Lock(kFile, __LINE__);
    uint8_t s = state.load();
    bool accepted = false;
    if (s != Ready && s != Running && target) accepted = target->AddTask(this);
    lock.Unlock();
    return accepted;
}

void AsyncTask::Cancel() {
    lock.Lock(kFile, __LINE__);
    TaskScheduler* owner = scheduler.load();
    if (owner) state = Cancelled;
    lock.Unlock();
    if (owner) owner->Wake();
}

AsyncTask::State AsyncTask::GetState() {
    lock.Lock(kFile, __LINE__);
    State s = static_cast<State>(state.load());
    lock.Unlock();
    return s;
}

// ---- TaskScheduler ---------------------------------------------------------

TaskScheduler::TaskScheduler()
    : delayedLock(0), readyLock(0), timerThread(nullptr), workerThreads(nullptr), workerCount(0), lastTick(0),
      activeCount(0), running(false), stopping(false) {}

TaskScheduler::~TaskScheduler() {
    Stop();
    if (g_current.load() == this) g_current.store(nullptr);
}

TaskScheduler* TaskScheduler::Current() { return g_current.load(); }
void TaskScheduler::SetCurrent(TaskScheduler* scheduler) { g_current.store(scheduler); }

void TaskScheduler::Wake() {
    timerEvent.Set();
    workEvent.Set();
}

bool TaskScheduler::Start(int count) {
    if (running.load()) return true;
    if (count < 1) count = 1;
    stopping.store(false);
    timerEvent.Create();
    workEvent.Create();
    workerThreads = new platform::ThreadHandle[count];
    workerCount = count;
    for (int i = 0; i < count; ++i) workerThreads[i] = platform::StartThread(WorkerMain, this);
    lastTick = platform::TimeMs();
    platform::BeginFineTimer();
    timerThread = platform::StartThread(TimerMain, this);
    if (!timerThread) {
        stopping.store(true);
        workEvent.Set();
        JoinThreads();
        return false;
    }
    running.store(true);
    return true;
}

bool TaskScheduler::AddTask(AsyncTask* task) {
    if (!task) return false;
    task->lock.Lock(kFile, __LINE__);
    if (!running.load() || task->scheduler.load() != nullptr) {
        task->lock.Unlock();
        return false;
    }
    task_ptr entry(task);
    if (!entry) {  // being destroyed
        task->lock.Unlock();
        return false;
    }
    task->scheduler = this;
    const uint32_t now = platform::TimeMs();
    int64_t remaining = DelayToMs(task->delay);
    // A repeating task counts its delay from its last hand-over, not from now.
    if (task->lastTime != 0) remaining += static_cast<int32_t>(task->lastTime - now);
    task->remaining = ClampToInt32(remaining);

    if (task->remaining <= 0) {
        task->state = AsyncTask::Ready;
        task->lastTime = now;
        readyLock.Lock(kFile, __LINE__);
        readyTasks.push_back(std::move(entry));
        readyLock.Unlock();
        workEvent.Set();
    } else {
        task->state = AsyncTask::Waiting;
        delayedLock.Lock(kFile, __LINE__);
        delayedTasks.push_back(std::move(entry));
        // std::list::sort is stable: equal times keep their order of arrival.
        delayedTasks.sort([](const task_ptr& a, const task_ptr& b) { return a->IsEarlier(*b); });
        delayedLock.Unlock();
        timerEvent.Set();
    }
    task->lock.Unlock();
    return true;
}

unsigned TaskScheduler::TimerMain(void* self) {
    static_cast<TaskScheduler*>(self)->TimerLoop();
    return 0;
}

unsigned TaskScheduler::WorkerMain(void* self) {
    static_cast<TaskScheduler*>(self)->WorkerLoop();
    return 0;
}

void TaskScheduler::TimerLoop() {
    while (!stopping.load()) {
        const uint32_t elapsed = platform::TimeMs() - lastTick;  // unsigned: wrap-around is harmless
        lastTick += elapsed;
        const int32_t elapsedMs = ClampToInt32(elapsed);
        // References dropped here may be the last ones: they go after the lock
        // is left, because a task's destructor takes the task's lock, which must
        // never be taken under a queue lock.
        std::vector<task_ptr> dropped;
        std::vector<AsyncTask*> releases;
        uint32_t wait = platform::kInfinite;

        delayedLock.Lock(kFile, __LINE__);
        for (auto it = delayedTasks.begin(); it != delayedTasks.end();) {
            AsyncTask* task = it->get();  // the list's own reference keeps it alive here
            uint8_t seen = AsyncTask::Waiting;
            // A task seen for the first time only becomes Ready: time that passed
            // before it was queued does not count. The exchange keeps a Cancel
            // that comes in between.
            if (!task->state.compare_exchange_strong(seen, AsyncTask::Ready)) {
                if (seen == AsyncTask::Cancelled) {
                    dropped.push_back(std::move(*it));
                    it = delayedTasks.erase(it);
                    task->scheduler = nullptr;
                    if (task->autoRelease) releases.push_back(task);
                    continue;
                }
                task->remaining = ClampToInt32(static_cast<int64_t>(task->remaining) - elapsedMs);
            }
            if (task->remaining > 0) {
                ++it;
                continue;
            }
            task_ptr entry = std::move(*it);
            it = delayedTasks.erase(it);
            task->lastTime = platform::TimeMs();
            readyLock.Lock(kFile, __LINE__);
            readyTasks.push_back(std::move(entry));
            readyLock.Unlock();
            workEvent.Set();
        }
        // Sleep until the earliest task is due. The list is sorted at insertion,
        // but a task inserted between passes is compared with counts not yet
        // reduced, so take the smallest rather than the first.
        for (const task_ptr& task : delayedTasks) {
            uint32_t r = task->remaining > 0 ? static_cast<uint32_t>(task->remaining) : 0;
            if (r < wait) wait = r;
        }
        delayedLock.Unlock();

        for (AsyncTask* task : releases) task->Release();
        dropped.clear();
        timerEvent.Wait(wait);
    }
}

void TaskScheduler::WorkerLoop() {
    while (!stopping.load()) {
        readyLock.Lock(kFile, __LINE__);
        if (readyTasks.empty()) {
            readyLock.Unlock();
            workEvent.Wait(platform::kInfinite);
            continue;
        }
        task_ptr task = std::move(readyTasks.front());
        readyTasks.pop_front();
        const bool more = !readyTasks.empty();
        readyLock.Unlock();
        // The event is auto-reset and coalesces signals: pass the wake on so an
        // idle worker takes the next task instead of leaving it queued.
        if (more) workEvent.Set();
        if (!task) continue;

        platform::InterlockedIncrement32(&activeCount);
        task->lock.Lock(kFile, __LINE__);
        if (task->state.load() != AsyncTask::Cancelled) {
            task->state = AsyncTask::Running;
            // An exception leaving a worker would end the process: the task
            // ends instead, as one that asks for no further run.
            bool again = false;
            try {
                again = task->Run();
            } catch (...) {
                again = false;
            }
            task->state = (again && task->state.load() != AsyncTask::Cancelled) ? AsyncTask::Repeat : AsyncTask::Done;
        }
        platform::InterlockedDecrement32(&activeCount);

        task->runCount--;
        if (task->state.load() == AsyncTask::Repeat && task->runCount != 0) {
            task->scheduler = nullptr;
            if (task->runCount < 0) task->runCount++;  // endless stays endless
            bool queued = AddTask(task.get());
            task->lock.Unlock();
            // Refused only while stopping: the task has ended, so its creator's
            // reference goes as it would have at the end.
            if (!queued && task->autoRelease) task->Release();
        } else {
            task->scheduler = nullptr;
            task->lock.Unlock();
            if (task->autoRelease) task->Release();  // the creator's reference
        }
    }
    workEvent.Set();  // the next waiting worker wakes and leaves too
}

// Waits for every thread (they must have been told to stop), then closes
// their handles and both events.
void TaskScheduler::JoinThreads() {
    platform::JoinThread(timerThread);
    timerThread = nullptr;
    for (int i = 0; i < workerCount; ++i) platform::JoinThread(workerThreads[i]);
    delete[] workerThreads;
    workerThreads = nullptr;
    workerCount = 0;
    timerEvent.Close();
    workEvent.Close();
    platform::EndFineTimer();
}

void TaskScheduler::Stop() {
    if (!running.load()) return;
    // stopping before running: whoever sees the scheduler no longer running
    // knows its threads will not take another task.
    stopping.store(true);
    running.store(false);
    timerEvent.Set();
    workEvent.Set();

    JoinThreads();

    std::list<task_ptr> left;
    delayedLock.Lock(kFile, __LINE__);
    left.splice(left.end(), delayedTasks);
    delayedLock.Unlock();
    readyLock.Lock(kFile, __LINE__);
    for (task_ptr& task : readyTasks) left.push_back(std::move(task));
    readyTasks.clear();
    readyLock.Unlock();

    for (task_ptr& task : left) {
        task->state = AsyncTask::Cancelled;
        task->scheduler = nullptr;
        // Never run, so nobody else will drop the creator's reference.
        if (task->autoRelease) task->Release();
    }
    left.clear();  // the queues' own references
}
