#include "platform/notify.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform {
namespace {

struct Sink {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<Notification> queue;
};

Sink& TheSink() {
    static Sink* sink = new Sink;  // never destroyed: workers may post during exit
    return *sink;
}

} // namespace

bool PostNotify(WindowHandle window, unsigned message, intptr_t wParam) {
    if (!window) return false;
    Sink& sink = TheSink();
    {
        std::lock_guard<std::mutex> guard(sink.mutex);
        Notification n;
        n.window = window;
        n.message = message;
        n.wParam = wParam;
        sink.queue.push_back(n);
    }
    sink.posted.notify_all();
    return true;
}

bool WaitNotify(WindowHandle window, Notification& out, int limitMs) {
    Sink& sink = TheSink();
    std::unique_lock<std::mutex> lock(sink.mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
    for (;;) {
        for (auto it = sink.queue.begin(); it != sink.queue.end(); ++it) {
            if (it->window == window) {
                out = *it;
                sink.queue.erase(it);
                return true;
            }
        }
        if (sink.posted.wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a post may have landed with the time-out.
            for (auto it = sink.queue.begin(); it != sink.queue.end(); ++it) {
                if (it->window == window) {
                    out = *it;
                    sink.queue.erase(it);
                    return true;
                }
            }
            return false;
        }
    }
}

int PendingNotifyCount(WindowHandle window) {
    Sink& sink = TheSink();
    std::lock_guard<std::mutex> guard(sink.mutex);
    int count = 0;
    for (const Notification& n : sink.queue) count += n.window == window ? 1 : 0;
    return count;
}

void ClearNotify() {
    Sink& sink = TheSink();
    std::lock_guard<std::mutex> guard(sink.mutex);
    sink.queue.clear();
}

} // namespace platform
