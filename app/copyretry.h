// The copy of restart mode. The old process starts us before it has finished
// exiting, so its executable can still be locked for a moment: a copy that
// fails with a sharing or access violation is tried again for a bounded time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

struct CopyRetryPolicy {
    uint32_t windowMs = 5000;  // give up once this much time has passed
    uint32_t stepMs = 100;     // pause between attempts
};

typedef platform::CopyResult (*CopyFunction)(const std::string& from, const std::string& to);

// True once `from` has been copied over `to`. A failure other than Busy ends
// at once; Busy is retried until the policy's window has passed.
bool CopyOverWithRetry(const std::string& from, const std::string& to, const CopyRetryPolicy& policy,
                       CopyFunction copy = platform::CopyFileOver);
