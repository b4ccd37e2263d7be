// Polling helpers for tests that wait on other threads. The limits are for
// liveness only (a hang fails the test); they never measure speed.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

inline bool WaitUntil(const std::function<bool()>& done, int limitMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport
