#include "FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace failing_allocator {
namespace {

// Atomic: a watch's thread allocates while the test's thread counts.
std::atomic<std::size_t> live{0};
std::atomic<std::size_t> total{0};
std::atomic<std::size_t> countdown{0}; // 0: nothing armed
std::atomic<bool> fired{false};

void* allocate(std::size_t size) {
    std::size_t armed = countdown.load();
    while (armed != 0 && !countdown.compare_exchange_weak(armed, armed - 1)) {
    }
    if (armed == 1) {
        fired = true;
        throw std::bad_alloc();
    }
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    ++live;
    ++total;
    return memory;
}

void release(void* memory) {
    if (memory != nullptr) {
        --live;
        std::free(memory);
    }
}

} // namespace

std::size_t liveAllocations() {
    return live;
}
std::size_t totalAllocations() {
    return total;
}

void failAllocation(std::size_t k) {
    countdown = k;
    fired = false;
}

bool failureFired() {
    return fired;
}

} // namespace failing_allocator

void* operator new(std::size_t size) {
    return failing_allocator::allocate(size);
}
void* operator new[](std::size_t size) {
    return failing_allocator::allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return failing_allocator::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return failing_allocator::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* memory) noexcept {
    failing_allocator::release(memory);
}
void operator delete[](void* memory) noexcept {
    failing_allocator::release(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    failing_allocator::release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    failing_allocator::release(memory);
}
