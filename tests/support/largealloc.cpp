#include "largealloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_minimum{0};  // 0: not watching
std::atomic<bool> g_refuse{false};
std::atomic<size_t> g_count{0};

void* Allocate(size_t size) {
    const size_t minimum = g_minimum.load();
    if (minimum != 0 && size >= minimum) {
        g_count.fetch_add(1);
        if (g_refuse.load()) throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

} // namespace

namespace testsupport {

LargeAllocations::LargeAllocations(size_t minimum, bool refuse) {
    g_count.store(0);
    g_refuse.store(refuse);
    g_minimum.store(minimum ? minimum : 1);
}

LargeAllocations::~LargeAllocations() {
    g_minimum.store(0);
    g_refuse.store(false);
}

size_t LargeAllocations::count() const { return g_count.load(); }

} // namespace testsupport

// Every ordinary form, so that new and delete always come in matching pairs
// (the sanitizers' own forms would otherwise meet ours).
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
