// A scheduler made the program-wide one while it runs, as the program sets up
// its own: the connection under test hands its exchanges to its workers.
#pragma once

#include "task/asynctask.h"

namespace testsupport {

class CurrentScheduler {
public:
    CurrentScheduler() = default;
    ~CurrentScheduler() { Stop(); }

    // Starts the workers (three, as the program does) and makes this the
    // current scheduler; false, and nothing current, when it cannot start.
    bool Start(int workers = 3) {
        if (!scheduler_.Start(workers)) return false;
        TaskScheduler::SetCurrent(&scheduler_);
        return true;
    }
    // Stops the workers for good (queued tasks never run) and leaves no
    // scheduler current, so nothing is handed to a stopped one.
    void Stop() {
        scheduler_.Stop();
        if (TaskScheduler::Current() == &scheduler_) TaskScheduler::SetCurrent(nullptr);
    }

private:
    TaskScheduler scheduler_;
};

} // namespace testsupport
