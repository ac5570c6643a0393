// Allocation tracking through a replaced global operator new. Linux only: on
// Windows every DLL resolves operator new inside its own C++ runtime, so the
// back-end's allocations never reach a replacement in the test program.
#include "../support/FailingAllocator.h"
#include "BackendTestSupport.h"

#include <new>

namespace backend_test {
namespace {

using Allocations = BackendTest;

TEST_F(Allocations, RefreshReplacesEveryPortAndFreesTheOldOnes) {
    const Configuration config = simpleConfiguration(3, 2);
    serve(config);
    const std::size_t live = failing_allocator::liveAllocations();
    const std::size_t total = failing_allocator::totalAllocations();
    ASSERT_TRUE(factory->refresh()); // same configuration
    // New ports, monitors and count blocks were made ...
    EXPECT_GE(failing_allocator::totalAllocations() - total, 3u * 2 + 2u * 2);
    // ... and the old ones freed: nothing more is alive than before.
    EXPECT_EQ(failing_allocator::liveAllocations(), live);
}

// Every allocation of a refresh fails in turn: each failure passes on as
// std::bad_alloc, leaves the old list in place and leaks nothing.
TEST_F(Allocations, AllocationFailuresDuringRefreshKeepTheOldList) {
    serve(simpleConfiguration(2, 2));
    const VideoPort* before = factory->videoPort(1).get();
    standin::setConfiguration(simpleConfiguration(3, 3));
    const std::size_t live = failing_allocator::liveAllocations();
    bool succeeded = false;
    for (std::size_t k = 1; k < 500 && !succeeded; ++k) {
        try {
            failing_allocator::ScopedFailure failure(k);
            succeeded = factory->refresh();
            if (!succeeded) { // the platform itself ran out of memory and said so
                ASSERT_EQ(factory->videoPort(1).get(), before) << "k=" << k;
            }
        } catch (const std::bad_alloc&) {
            ASSERT_EQ(factory->numVideoPorts(), 2u) << "k=" << k;
            ASSERT_EQ(factory->videoPort(1).get(), before) << "k=" << k;
            ASSERT_EQ(failing_allocator::liveAllocations(), live) << "leak at k=" << k;
        }
    }
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(factory->numVideoPorts(), 3u);
}

} // namespace
} // namespace backend_test
