// The program-wide KovaCenter and its guard, shared by the center's sources.
#pragma once

#include "center/kovacenter.h"
#include "task/cslock.h"

namespace center_detail {

CS_Lock& InstanceLock();
// Read and written under InstanceLock (GUI thread may read it unguarded).
extern KovaCenter* g_instance;

// Holds the guard for a completion routine; `center` is null when the
// instance is gone, and the routine then does nothing.
class CompletionScope {
public:
    CompletionScope();
    ~CompletionScope();
    CompletionScope(const CompletionScope&) = delete;
    CompletionScope& operator=(const CompletionScope&) = delete;
    KovaCenter* center;
};

} // namespace center_detail
