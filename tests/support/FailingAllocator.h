#pragma once

#include <cstddef>

// A replacement of the global operator new/delete for tests. It counts live
// allocations and can make the k-th allocation from now fail with
// std::bad_alloc, to drive every failure point of an operation.
//
// Linking this file into a test executable replaces the allocator of the
// whole executable (and, on ELF, of the shared libraries it loads).
namespace failing_allocator {

/// Allocations made and not yet freed.
std::size_t liveAllocations();
/// Allocations made since the program started.
std::size_t totalAllocations();

/// The k-th allocation from now (1 = the next one) throws std::bad_alloc;
/// k = 0 disarms. Only one failure is armed at a time, and it fires once.
void failAllocation(std::size_t k);
/// Whether the armed failure has fired since it was armed.
bool failureFired();

/// Arms a failure at the k-th allocation for the lifetime of the object and
/// disarms it on destruction.
class ScopedFailure {
public:
    explicit ScopedFailure(std::size_t k) { failAllocation(k); }
    ~ScopedFailure() { failAllocation(0); }
    ScopedFailure(const ScopedFailure&) = delete;
    ScopedFailure& operator=(const ScopedFailure&) = delete;
};

} // namespace failing_allocator
