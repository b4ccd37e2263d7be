#include "task/cslock.h"

#include <cstdio>

CS_Lock::CS_Lock(unsigned int timeout_) : section(new CRITICAL_SECTION_EX), timeout(timeout_) {
    section->refCount = 1;
}

CS_Lock::CS_Lock(const CS_Lock& other) : section(other.section), timeout(other.timeout) {
    platform::InterlockedIncrement32(&section->refCount);
}

CS_Lock::~CS_Lock() {
    if (platform::InterlockedDecrement32(&section->refCount) == 0) delete section;
}

bool CS_Lock::Lock(const char* file, int line) {
    if (timeout == 0) {
        section->section.Enter();
        return true;
    }
    if (section->section.TryEnter()) return true;
    const uint32_t start = platform::TimeMs();
    for (;;) {
        platform::SleepMs(1);
        if (section->section.TryEnter()) return true;
        if (platform::TimeMs() - start >= timeout) break;
    }
    std::printf("CS_Lock::Lock() Try failed at file %s, line %d\r\n", file ? file : "", line);
    std::fflush(stdout);
    return false;
}

void CS_Lock::Unlock() {
    if (timeout != 0 && !section->section.IsOwnedByCurrentThread()) return;
    section->section.Leave();
}
