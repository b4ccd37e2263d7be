// Reference counting for objects shared between threads, and the task
// scheduler: one timer thread that moves delayed tasks to the ready queue and
// a fixed number of workers that run them.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>

#include "platform/platform.h"
#include "task/cslock.h"

// Intrusive count, 1 for the creator at construction; destroyed at 0.
class RefCountable {
public:
    RefCountable() : refCount(1) {}
    virtual ~RefCountable() {}
    RefCountable(const RefCountable&) = delete;
    RefCountable& operator=(const RefCountable&) = delete;

    // The new count; 0 (and no change) when the object is already being destroyed.
    int32_t AddRef();
    void Release();
    int32_t RefCount() const { return platform::InterlockedRead32(&refCount); }

private:
    volatile int32_t refCount;
};

// Holds one reference. Taking an object keeps it only when AddRef leaves the
// count above 1 (an object being destroyed is not taken).
template <class T>
class ref_counted_ptr {
public:
    ref_counted_ptr() : p_(nullptr) {}
    explicit ref_counted_ptr(T* p) : p_(nullptr) { Take(p); }
    ref_counted_ptr(const ref_counted_ptr& other) : p_(nullptr) { Take(other.p_); }
    ref_counted_ptr(ref_counted_ptr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~ref_counted_ptr() { reset(); }

    ref_counted_ptr& operator=(const ref_counted_ptr& other) { return *this = other.p_; }
    ref_counted_ptr& operator=(ref_counted_ptr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    // Assigning the object already held does nothing.
    ref_counted_ptr& operator=(T* p) {
        if (p != p_) {
            T* old = p_;
            p_ = nullptr;
            Take(p);
            if (old) old->Release();
        }
        return *this;
    }

    void reset() {
        T* old = p_;
        p_ = nullptr;
        if (old) old->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const T* p) const { return p_ == p; }
    bool operator!=(const T* p) const { return p_ != p; }

private:
    void Take(T* p) {
        if (p && p->AddRef() > 1) p_ = p;
    }
    T* p_;
};

class TaskScheduler;

// A unit of work for the scheduler. Fields mirror the scheduler's protocol;
// they are guarded by `lock`, which is also held while the task runs.
class AsyncTask : public RefCountable {
public:
    enum State : uint8_t { Waiting = 0, Ready = 1, Running = 2, Done = 3, Cancelled = 4, Repeat = 5 };

    AsyncTask();
    // Cancels first, then destroys the lock.
    ~AsyncTask() override;

    // Order of the delayed queue: smaller `remaining` first.
    virtual bool IsEarlier(const AsyncTask& other) const;
    // The work, on a worker thread with `lock` held. True asks for another run;
    // an exception ends the task as false would.
    virtual bool Run() = 0;
    // False when the task is Ready or Running, else the scheduler's AddTask.
    virtual bool Schedule(TaskScheduler* scheduler);
    // When queued or running: marks the task Cancelled and wakes the scheduler's
    // threads. A running task finishes its Run first (the lock is held) and is
    // then not repeated.
    virtual void Cancel();

    State GetState();  // read under the lock, for observers on other threads

    int32_t runCount;       // runs left; negative: endless
    float delay;            // seconds between being queued and running
    bool autoRelease;       // the scheduler drops the creator's reference when the task ends
    // Written by the timer thread under the delayed-queue lock and by others
    // under the task's lock, hence atomic.
    std::atomic<uint8_t> state;
    int32_t remaining;      // milliseconds left before the task is due
    uint32_t lastTime;      // TimeMs of the last hand-over to the ready queue; 0 = never
    CS_Lock lock;
    std::atomic<TaskScheduler*> scheduler;  // set while queued or running
};

class TaskScheduler {
public:
    typedef ref_counted_ptr<AsyncTask> task_ptr;

    TaskScheduler();
    ~TaskScheduler();  // Stop
    TaskScheduler(const TaskScheduler&) = delete;
    TaskScheduler& operator=(const TaskScheduler&) = delete;

    // Starts `count` workers (at least 1) and the timer thread. True at once when
    // already running; false, with everything undone, when the timer thread
    // cannot be created.
    bool Start(int count);
    // Queues a task; false when not running or when the task is already queued
    // or running.
    bool AddTask(AsyncTask* task);
    // Stops all threads for good; queued tasks never run and end Cancelled.
    // The creator's reference of each auto-release task cancelled here is
    // dropped, as if it had run.
    void Stop();

    bool IsRunning() const { return running.load(); }
    int32_t ActiveCount() const { return platform::InterlockedRead32(&activeCount); }
    int32_t WorkerCount() const { return workerCount; }

    // Wakes the timer thread and one worker (used by AsyncTask::Cancel).
    void Wake();

    // The program-wide scheduler that the HTTP connection uses; null when none.
    static TaskScheduler* Current();
    static void SetCurrent(TaskScheduler* scheduler);

private:
    static unsigned TimerMain(void* self);
    static unsigned WorkerMain(void* self);
    void TimerLoop();
    void WorkerLoop();
    void JoinThreads();

    std::list<task_ptr> delayedTasks;   // sorted by `remaining`; entries leave from anywhere
    std::deque<task_ptr> readyTasks;    // first in, first out; no allocation per entry
    CS_Lock delayedLock;
    CS_Lock readyLock;
    platform::AutoResetEvent timerEvent;
    platform::AutoResetEvent workEvent;
    platform::ThreadHandle timerThread;
    platform::ThreadHandle* workerThreads;
    int32_t workerCount;
    uint32_t lastTick;
    volatile int32_t activeCount;
    std::atomic<bool> running;
    std::atomic<bool> stopping;
};
