// The program-wide KovaCenter and its guard, shared by the center's sources.
#pragma once

#include <cstdint>

#include "center/kovacenter.h"
#include "task/cslock.h"

namespace center_detail {

CS_Lock& InstanceLock();
// Read and written under InstanceLock (GUI thread may read it unguarded).
extern KovaCenter* g_instance;

// Counts constructions, under InstanceLock too: a completion that left the
// guard tells its instance from a later one at the same address.
extern uint32_t g_serial;

// Holds the guard for a completion routine; `center` is null when the
// instance is gone, and the routine then does nothing.
class CompletionScope {
public:
    CompletionScope();
    ~CompletionScope();
    CompletionScope(const CompletionScope&) = delete;
    CompletionScope& operator=(const CompletionScope&) = delete;
    KovaCenter* center;
    uint32_t serial;
};

// ParseAnswer without its one side effect: a failed exchange sets `code` to
// its status and leaves `message` alone (for background completions).
bool ReadAnswer(HTTPRequest* request, XMLNode& root, int& code);

} // namespace center_detail
