#include "signin_limit.h"

namespace kovasvc {
namespace {

// Past this many IDs every stale one is dropped, so a run of made-up IDs
// cannot grow the table without bound.
constexpr size_t kSweepAbove = 4096;

std::string Key(const std::string& id) {
    std::string key = id;
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

} // namespace

void SignInLimit::Expire(std::deque<Clock::time_point>& times, Clock::time_point now) {
    while (!times.empty() && now - times.front() >= kWindow) times.pop_front();
}

void SignInLimit::Sweep(Clock::time_point now) {
    for (auto it = failures_.begin(); it != failures_.end();) {
        Expire(it->second, now);
        it = it->second.empty() ? failures_.erase(it) : std::next(it);
    }
}

bool SignInLimit::Locked(const std::string& id, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = failures_.find(Key(id));
    if (it == failures_.end()) return false;
    Expire(it->second, now);
    return it->second.size() >= kMaxFailures;
}

void SignInLimit::Failed(const std::string& id, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_.size() > kSweepAbove) Sweep(now);
    auto& times = failures_[Key(id)];
    Expire(times, now);
    times.push_back(now);
    // Requests checked before the lock began may still end in failures; the
    // newest kMaxFailures decide when it lifts.
    while (times.size() > kMaxFailures) times.pop_front();
}

void SignInLimit::Succeeded(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.erase(Key(id));
}

} // namespace kovasvc
