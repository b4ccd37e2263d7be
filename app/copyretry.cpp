#include "app/copyretry.h"

bool CopyOverWithRetry(const std::string& from, const std::string& to, const CopyRetryPolicy& policy,
                       CopyFunction copy) {
    const uint32_t start = platform::TimeMs();
    for (;;) {
        platform::CopyResult r = copy(from, to);
        if (r == platform::CopyResult::Copied) return true;
        if (r == platform::CopyResult::Failed) return false;
        if (platform::TimeMs() - start >= policy.windowMs) return false;
        platform::SleepMs(policy.stepMs);
    }
}
