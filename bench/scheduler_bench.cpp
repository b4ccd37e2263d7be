// The task scheduler side by side with a plain std::thread + condition-variable
// pool doing the same work in the same run: hand-over latency from AddTask to
// the start of Run, tasks per second with 3 workers, and how late delayed
// tasks start after they are due.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "task/asynctask.h"

namespace {

typedef std::chrono::steady_clock Clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

class PlainPool {
public:
    explicit PlainPool(int workers) {
        for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Loop(); });
    }
    ~PlainPool() {
        {
            std::lock_guard<std::mutex> g(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        for (std::thread& t : threads_) t.join();
    }
    void Add(std::function<void()> f) {
        {
            std::lock_guard<std::mutex> g(mutex_);
            queue_.push_back(std::move(f));
        }
        cv_.notify_one();
    }

private:
    void Loop() {
        for (;;) {
            std::function<void()> f;
            {
                std::unique_lock<std::mutex> l(mutex_);
                cv_.wait(l, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                f = std::move(queue_.front());
                queue_.pop_front();
            }
            f();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    bool stop_ = false;
};

class StampTask : public AsyncTask {
public:
    StampTask(std::atomic<int64_t>* startedAt, std::atomic<int>* done) : startedAt_(startedAt), done_(done) {
        autoRelease = true;
    }
    bool Run() override {
        if (startedAt_) startedAt_->store(Clock::now().time_since_epoch().count());
        done_->fetch_add(1, std::memory_order_release);
        return false;
    }

private:
    std::atomic<int64_t>* startedAt_;
    std::atomic<int>* done_;
};

void WaitFor(std::atomic<int>& counter, int value) {
    while (counter.load(std::memory_order_acquire) < value) std::this_thread::yield();
}

struct Latency {
    double median, p99;
};

Latency Summarise(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    return Latency{v[v.size() / 2], v[v.size() * 99 / 100]};
}

Latency SchedulerLatency(TaskScheduler& s, int rounds) {
    std::vector<double> samples;
    std::atomic<int64_t> startedAt{0};
    std::atomic<int> done{0};
    for (int i = 0; i < rounds; ++i) {
        Clock::time_point t0 = Clock::now();
        s.AddTask(new StampTask(&startedAt, &done));
        WaitFor(done, i + 1);
        samples.push_back(Micros(Clock::duration(startedAt.load()) - t0.time_since_epoch()));
        std::this_thread::sleep_for(std::chrono::microseconds(200));  // let the workers go back to sleep
    }
    return Summarise(samples);
}

Latency PoolLatency(PlainPool& p, int rounds) {
    std::vector<double> samples;
    std::atomic<int64_t> startedAt{0};
    std::atomic<int> done{0};
    for (int i = 0; i < rounds; ++i) {
        Clock::time_point t0 = Clock::now();
        p.Add([&] {
            startedAt.store(Clock::now().time_since_epoch().count());
            done.fetch_add(1, std::memory_order_release);
        });
        WaitFor(done, i + 1);
        samples.push_back(Micros(Clock::duration(startedAt.load()) - t0.time_since_epoch()));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return Summarise(samples);
}

double SchedulerThroughput(TaskScheduler& s, int tasks) {
    std::atomic<int> done{0};
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < tasks; ++i) s.AddTask(new StampTask(nullptr, &done));
    WaitFor(done, tasks);
    return tasks / std::chrono::duration<double>(Clock::now() - t0).count();
}

// The pool given the same kind of work item: a heap object with a virtual Run,
// created by the producer and deleted after it ran.
struct PoolTask {
    explicit PoolTask(std::atomic<int>* done_) : done(done_) {}
    virtual ~PoolTask() {}
    virtual bool Run() {
        done->fetch_add(1, std::memory_order_release);
        return false;
    }
    std::atomic<int>* done;
};

double PoolObjectThroughput(PlainPool& p, int tasks) {
    std::atomic<int> done{0};
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < tasks; ++i) {
        PoolTask* t = new PoolTask(&done);
        p.Add([t] {
            t->Run();
            delete t;
        });
    }
    WaitFor(done, tasks);
    return tasks / std::chrono::duration<double>(Clock::now() - t0).count();
}

double PoolThroughput(PlainPool& p, int tasks) {
    std::atomic<int> done{0};
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < tasks; ++i) p.Add([&] { done.fetch_add(1, std::memory_order_release); });
    WaitFor(done, tasks);
    return tasks / std::chrono::duration<double>(Clock::now() - t0).count();
}

// Lateness of delayed tasks: start of Run minus the moment they were due.
Latency DelayedLateness(TaskScheduler& s, int tasks) {
    std::vector<std::atomic<int64_t>> started(tasks);
    std::vector<Clock::time_point> due(tasks);
    std::atomic<int> done{0};
    for (int i = 0; i < tasks; ++i) {
        StampTask* t = new StampTask(&started[i], &done);
        t->delay = 0.005f + 0.001f * static_cast<float>(i % 40);
        due[i] = Clock::now() + std::chrono::microseconds(static_cast<int64_t>(t->delay * 1e6));
        s.AddTask(t);
        std::this_thread::sleep_for(std::chrono::microseconds(700));
    }
    WaitFor(done, tasks);
    std::vector<double> late;
    for (int i = 0; i < tasks; ++i) late.push_back(Micros(Clock::duration(started[i].load()) - due[i].time_since_epoch()) / 1000.0);
    return Summarise(late);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

// Throughput runs are interleaved and repeated, and the median reported: on a
// small shared machine a single run swings by several times.
int main() {
    const int kRounds = 2000, kTasks = 100000, kDelayed = 400, kRepeats = 7;
    TaskScheduler scheduler;
    scheduler.Start(3);
    PlainPool pool(3);

    Latency sl = SchedulerLatency(scheduler, kRounds);
    Latency pl = PoolLatency(pool, kRounds);
    std::vector<double> st, pt, po;
    for (int i = 0; i < kRepeats; ++i) {
        st.push_back(SchedulerThroughput(scheduler, kTasks));
        pt.push_back(PoolThroughput(pool, kTasks));
        po.push_back(PoolObjectThroughput(pool, kTasks));
    }
    Latency late = DelayedLateness(scheduler, kDelayed);
    scheduler.Stop();

    const double s = Median(st), p = Median(pt), o = Median(po);
    std::printf("%-28s %14s %14s %8s\n", "measure", "TaskScheduler", "plain pool", "ratio");
    std::printf("%-28s %14.1f %14.1f %8.2f\n", "hand-over median (us)", sl.median, pl.median, sl.median / pl.median);
    std::printf("%-28s %14.1f %14.1f %8.2f\n", "hand-over p99 (us)", sl.p99, pl.p99, sl.p99 / pl.p99);
    std::printf("%-28s %14.0f %14.0f %8.2f\n", "tasks/s, pool of lambdas", s, p, p / s);
    std::printf("%-28s %14.0f %14.0f %8.2f\n", "tasks/s, pool of objects", s, o, o / s);
    std::printf("delayed tasks: started after due: median %.2f ms, p99 %.2f ms (%d tasks, 5-44 ms delays)\n",
                late.median, late.p99, kDelayed);
    return 0;
}
