// Failed sign-ins counted per customer ID, so that nobody can try password
// after password against one ID: kMaxFailures failures within kWindow lock
// the ID until the oldest of them is kWindow old.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace kovasvc {

class SignInLimit {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMaxFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};

    // IDs are matched in either case, so "a1..." and "A1..." share one count.
    // IDs nobody has are counted the same, so a lock tells nothing about them.
    bool Locked(const std::string& id, Clock::time_point now = Clock::now());
    void Failed(const std::string& id, Clock::time_point now = Clock::now());
    void Succeeded(const std::string& id);

private:
    // Drops failures older than the window, and IDs left with none.
    void Expire(std::deque<Clock::time_point>& times, Clock::time_point now);
    void Sweep(Clock::time_point now);

    std::mutex mutex_;
    std::unordered_map<std::string, std::deque<Clock::time_point>> failures_;
};

} // namespace kovasvc
