// Large allocations watched or refused, through a replacement of the global
// operator new that the test executable links in (largealloc.cpp): a 32-bit
// process runs out of address space long before this machine runs out of
// memory, and this shows the code what that looks like.
#pragma once

#include <cstddef>

namespace testsupport {

// While one lives, every allocation of at least `minimum` bytes, on any
// thread, is counted, and refused with std::bad_alloc when `refuse` is set.
// One at a time.
class LargeAllocations {
public:
    LargeAllocations(size_t minimum, bool refuse);
    ~LargeAllocations();
    LargeAllocations(const LargeAllocations&) = delete;
    LargeAllocations& operator=(const LargeAllocations&) = delete;
    // Allocations of at least `minimum` bytes so far, refused ones included.
    size_t count() const;
};

} // namespace testsupport
