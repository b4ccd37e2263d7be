// CS_Lock: the re-entrant lock of every shared structure. Each lock request
// carries the caller's source file and line for diagnostics.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class CS_Lock {
public:
    // A critical section with a reference count, so copies of a lock share one
    // section; it is deleted when the last holder releases it.
    struct CRITICAL_SECTION_EX {
        platform::CriticalSection section;
        volatile int32_t refCount;
    };

    // timeout 0 waits without limit; every lock in this program uses 0.
    explicit CS_Lock(unsigned int timeout = 0);
    CS_Lock(const CS_Lock& other);
    CS_Lock& operator=(const CS_Lock&) = delete;
    ~CS_Lock();

    // Enters the section. With a non-zero time-out it gives up after that many
    // milliseconds, writes "CS_Lock::Lock() Try failed at file %s, line %d\r\n"
    // to standard output and returns false without the section: the caller then
    // runs unprotected, and a matching Unlock does nothing (see Unlock).
    bool Lock(const char* file, int line);
    // The header's own wrapper reports this file and line.
    bool Lock() { return Lock("cslock", __LINE__); }

    // Leaves the section. With a non-zero time-out only the owning thread
    // leaves it, so the Unlock after a failed Lock is harmless.
    void Unlock();

    unsigned int Timeout() const { return timeout; }

private:
    CRITICAL_SECTION_EX* section;
    unsigned int timeout;
};

// Holds a CS_Lock for a scope.
class CS_Guard {
public:
    CS_Guard(CS_Lock& lock, const char* file, int line) : lock_(lock) { lock_.Lock(file, line); }
    ~CS_Guard() { lock_.Unlock(); }
    CS_Guard(const CS_Guard&) = delete;
    CS_Guard& operator=(const CS_Guard&) = delete;

private:
    CS_Lock& lock_;
};
