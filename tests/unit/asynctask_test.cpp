#include "task/asynctask.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "wait.h"

using testsupport::WaitUntil;

namespace {

// Records the order in which tasks ran.
struct RunLog {
    std::mutex mutex;
    std::vector<int> order;
    void Add(int id) {
        std::lock_guard<std::mutex> g(mutex);
        order.push_back(id);
    }
    std::vector<int> Get() {
        std::lock_guard<std::mutex> g(mutex);
        return order;
    }
};

class RecordingTask : public AsyncTask {
public:
    RecordingTask(int id_, RunLog* log_, std::atomic<int>* destroyed_ = nullptr)
        : id(id_), log(log_), destroyed(destroyed_) {}
    ~RecordingTask() override {
        if (destroyed) ++*destroyed;
    }
    bool Run() override {
        ++runs;
        if (log) log->Add(id);
        return repeat;
    }
    int id;
    RunLog* log;
    std::atomic<int>* destroyed;
    std::atomic<int> runs{0};
    bool repeat = false;
};

// Holds its worker inside Run until released, so what is queued behind it stays queued.
class GateTask : public AsyncTask {
public:
    bool Run() override {
        entered = true;
        WaitUntil([this] { return open.load(); }, 30000);
        return false;
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
};

// Under the task's lock: a repeating task's worker clears and sets `scheduler`
// again while holding it.
bool Ended(AsyncTask& t) {
    CS_Guard g(t.lock, "test", __LINE__);
    return t.scheduler.load() == nullptr;
}

} // namespace

TEST(TaskScheduler, StartCountsAndRestart) {
    TaskScheduler a;
    EXPECT_TRUE(a.Start(0));
    EXPECT_EQ(1, a.WorkerCount());
    TaskScheduler b;
    EXPECT_TRUE(b.Start(-5));
    EXPECT_EQ(1, b.WorkerCount());
    TaskScheduler c;
    EXPECT_TRUE(c.Start(3));
    EXPECT_TRUE(c.Start(5));  // already running: creates nothing
    EXPECT_EQ(3, c.WorkerCount());
    c.Stop();
    EXPECT_FALSE(c.IsRunning());
    RecordingTask t(1, nullptr);
    EXPECT_FALSE(c.AddTask(&t));  // stopped for good
    EXPECT_FALSE(t.Schedule(&c));
}

TEST(TaskScheduler, SubMillisecondDelayIsDueAtOnce) {
    TaskScheduler s;
    ASSERT_TRUE(s.Start(1));
    GateTask gate;
    ASSERT_TRUE(s.AddTask(&gate));
    ASSERT_TRUE(WaitUntil([&] { return gate.entered.load(); }));
    RunLog log;
    RecordingTask halfMs(1, &log), zero(2, &log);
    halfMs.delay = 0.0005f;
    ASSERT_TRUE(s.AddTask(&halfMs));
    ASSERT_TRUE(s.AddTask(&zero));
    // Both went straight to the ready queue: a trip through the delayed queue
    // would have put the half-millisecond task behind the other one.
    EXPECT_EQ(AsyncTask::Ready, halfMs.GetState());
    // Queued or running: refused a second time.
    EXPECT_FALSE(s.AddTask(&halfMs));
    EXPECT_FALSE(halfMs.Schedule(&s));
    gate.open = true;
    ASSERT_TRUE(WaitUntil([&] { return Ended(halfMs) && Ended(zero); }));
    EXPECT_EQ((std::vector<int>{1, 2}), log.Get());
    EXPECT_EQ(AsyncTask::Done, halfMs.GetState());
    // An ended task may be scheduled again.
    EXPECT_TRUE(halfMs.Schedule(&s));
    ASSERT_TRUE(WaitUntil([&] { return halfMs.runs.load() == 2 && Ended(halfMs); }));
}

TEST(TaskScheduler, DelaysOrderTheRunsAndEqualDelaysKeepArrivalOrder) {
    TaskScheduler s;
    ASSERT_TRUE(s.Start(1));
    RunLog log;
    RecordingTask late(1, &log), early(2, &log), equalA(3, &log), equalB(4, &log);
    late.delay = 0.4f;
    early.delay = 0.2f;
    equalA.delay = 0.3f;
    equalB.delay = 0.3f;
    ASSERT_TRUE(s.AddTask(&late));
    ASSERT_TRUE(s.AddTask(&equalA));
    ASSERT_TRUE(s.AddTask(&early));
    ASSERT_TRUE(s.AddTask(&equalB));
    ASSERT_TRUE(WaitUntil([&] { return log.Get().size() == 4; }));
    EXPECT_EQ((std::vector<int>{2, 3, 4, 1}), log.Get());
}

TEST(TaskScheduler, TaskQueuedLaterDoesNotHoldBackAnEarlierDeadline) {
    // `first` is due at 0.6 s; `second`, queued at 0.3 s with 0.5 s, at 0.8 s.
    // The timer must wake for `first` although `second` sorts ahead of it
    // (its count was compared with `first`'s before the timer reduced it).
    TaskScheduler s;
    ASSERT_TRUE(s.Start(1));
    RunLog log;
    RecordingTask first(1, &log), second(2, &log);
    first.delay = 0.6f;
    second.delay = 0.5f;
    ASSERT_TRUE(s.AddTask(&first));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(s.AddTask(&second));
    ASSERT_TRUE(WaitUntil([&] { return log.Get().size() == 2; }));
    EXPECT_EQ((std::vector<int>{1, 2}), log.Get());
}

TEST(TaskScheduler, RepeatCounts) {
    TaskScheduler s;
    ASSERT_TRUE(s.Start(3));
    RecordingTask thrice(1, nullptr);
    thrice.repeat = true;
    thrice.runCount = 3;
    ASSERT_TRUE(s.AddTask(&thrice));
    ASSERT_TRUE(WaitUntil([&] { return Ended(thrice); }));
    EXPECT_EQ(3, thrice.runs.load());
    EXPECT_EQ(0, thrice.runCount);

    RecordingTask endless(2, nullptr);
    endless.repeat = true;
    endless.runCount = -1;
    endless.delay = 0.002f;
    ASSERT_TRUE(s.AddTask(&endless));
    ASSERT_TRUE(WaitUntil([&] { return endless.runs.load() >= 20; }));
    EXPECT_EQ(-1, [&] {
        CS_Guard g(endless.lock, "test", __LINE__);
        return endless.runCount;
    }());
    endless.Cancel();
    ASSERT_TRUE(WaitUntil([&] { return Ended(endless); }));
    int runs = endless.runs.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(runs, endless.runs.load());
}

TEST(TaskScheduler, CancelOfDelayedTaskRemovesItAtOnceAndReleasesAutoRelease) {
    TaskScheduler s;
    ASSERT_TRUE(s.Start(1));
    std::atomic<int> destroyed{0};
    RecordingTask* t = new RecordingTask(1, nullptr, &destroyed);
    t->delay = 30.0f;
    t->autoRelease = true;
    ASSERT_TRUE(s.AddTask(t));
    t->Cancel();
    // Cancel wakes the timer, which drops the task and the creator's reference.
    ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == 1; }, 5000));
    s.Stop();
}

TEST(TaskScheduler, StopWithQueuedTasksRunsNoneAndLeaksNone) {
    TaskScheduler* s = new TaskScheduler;
    ASSERT_TRUE(s->Start(1));
    GateTask* gate = new GateTask;
    ASSERT_TRUE(s->AddTask(gate));
    ASSERT_TRUE(WaitUntil([&] { return gate->entered.load(); }));

    std::atomic<int> destroyed{0};
    std::vector<RecordingTask*> kept;
    for (int i = 0; i < 6; ++i) {
        RecordingTask* t = new RecordingTask(i, nullptr, &destroyed);
        t->delay = (i % 2) ? 60.0f : 0.0f;  // half delayed, half ready
        t->autoRelease = i >= 3;
        ASSERT_TRUE(s->AddTask(t));
        if (!t->autoRelease) kept.push_back(t);
    }
    std::thread stopper([&] { s->Stop(); });
    // Release the gate only once Stop has begun, so the worker cannot take more.
    ASSERT_TRUE(WaitUntil([&] { return !s->IsRunning(); }));
    gate->open = true;
    stopper.join();

    EXPECT_EQ(3, destroyed.load());  // auto-release tasks: creator's reference dropped
    for (RecordingTask* t : kept) {
        EXPECT_EQ(0, t->runs.load());
        EXPECT_EQ(AsyncTask::Cancelled, t->GetState());
        EXPECT_TRUE(Ended(*t));
        EXPECT_EQ(1, t->RefCount());  // only the creator's
        t->Release();
    }
    EXPECT_EQ(6, destroyed.load());
    gate->Release();
    delete s;
}

TEST(TaskScheduler, ManyProducersAutoReleaseTasks) {
    TaskScheduler s;
    ASSERT_TRUE(s.Start(3));
    std::atomic<int> destroyed{0};
    auto produce = [&] {
        for (int i = 0; i < 500; ++i) {
            RecordingTask* t = new RecordingTask(i, nullptr, &destroyed);
            t->autoRelease = true;
            if (i % 10 == 0) t->delay = 0.003f;
            // The creator's reference goes to the scheduler.
            EXPECT_TRUE(s.AddTask(t));
        }
    };
    std::thread a(produce), b(produce), c(produce);
    a.join();
    b.join();
    c.join();
    ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == 1500; }));
    EXPECT_EQ(0, s.ActiveCount());
}

namespace {
class ProbeInDestructor : public RefCountable {
public:
    explicit ProbeInDestructor(bool* taken_) : taken(taken_) {}
    ~ProbeInDestructor() override {
        ref_counted_ptr<ProbeInDestructor> p(this);  // count is 0 here
        *taken = static_cast<bool>(p);
    }
    bool* taken;
};
} // namespace

TEST(RefCounting, PointersCountAndRefuseDyingObjects) {
    bool taken = true;
    ProbeInDestructor* obj = new ProbeInDestructor(&taken);
    {
        ref_counted_ptr<ProbeInDestructor> a(obj);
        EXPECT_EQ(2, obj->RefCount());
        ref_counted_ptr<ProbeInDestructor> b = a;
        EXPECT_EQ(3, obj->RefCount());
        b = obj;  // already held: nothing changes
        EXPECT_EQ(3, obj->RefCount());
        ref_counted_ptr<ProbeInDestructor> c(std::move(b));
        EXPECT_FALSE(b);
        EXPECT_EQ(3, obj->RefCount());
    }
    EXPECT_EQ(1, obj->RefCount());
    obj->Release();
    EXPECT_FALSE(taken);  // AddRef at count 0 was refused
}

// Regression: an exception leaving Run escaped the worker thread and ended the
// process. The task now ends as if it had asked for no further run, and the
// same worker goes on to the next task.
TEST(TaskScheduler, TaskThatThrowsEndsWithoutEndingItsWorker) {
    struct ThrowingTask : public AsyncTask {
        explicit ThrowingTask(std::atomic<int>* destroyed_) : destroyed(destroyed_) {}
        ~ThrowingTask() override { ++*destroyed; }
        bool Run() override {
            ++runs;
            throw 42;  // not even a std::exception
        }
        std::atomic<int>* destroyed;
        std::atomic<int> runs{0};
    };
    TaskScheduler s;
    ASSERT_TRUE(s.Start(1));
    std::atomic<int> destroyed{0};
    ThrowingTask* thrower = new ThrowingTask(&destroyed);
    thrower->runCount = 3;  // a repeat is never asked for, so one run
    thrower->autoRelease = true;
    RunLog log;
    RecordingTask after(7, &log);
    ASSERT_TRUE(s.AddTask(thrower));
    ASSERT_TRUE(s.AddTask(&after));
    ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == 1 && Ended(after); }));
    EXPECT_EQ((std::vector<int>{7}), log.Get());
    s.Stop();
}
