// Allocation tracking through a replaced global operator new. Linux only: on
// Windows every DLL resolves operator new inside its own C++ runtime, so the
// back-end's allocations never reach a replacement in the test program.
#include "../support/FailingAllocator.h"
#include "BackendTestSupport.h"

#include <DistinctIndex.h>
#include <libVideoPortInfo/DisplayResolution.h>

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

// Every allocation of a resolution listing fails in turn (the platform's own
// among them): the entries appended before the failure stay, in order, and
// nothing leaks.
TEST_F(Allocations, AllocationFailuresDuringAListingKeepTheEntriesSoFar) {
    using libVideoPortInfo::DisplayResolution;
    Configuration config = simpleConfiguration(1, 1);
    std::vector<DisplayResolution> expected;
    for (DWORD i = 0; i < 300; ++i) {
        const DWORD width = 640 + 8 * (i % 50);
        const DWORD height = 400 + 10 * (i / 50);
        addDisplayMode(config, gdiName(1), width, height, 60, 32);
        addDisplayMode(config, gdiName(1), 640, 400, 60, 32); // the first one again
        expected.emplace_back(width, height, 60, 32);
    }
    serve(config);
    const VideoPort& port = *factory->videoPort(0);
    const DisplayResolution before(1, 1, 1, 1); // not among the port's modes
    bool succeeded = false;
    for (std::size_t k = 1; k < 2000 && !succeeded; ++k) {
        tkl::Array<DisplayResolution> out;
        out.append(before);
        const std::size_t live = failing_allocator::liveAllocations();
        try {
            failing_allocator::ScopedFailure failure(k);
            succeeded = port.supportedResolution(out) == expected.size();
            ASSERT_TRUE(succeeded) << "k=" << k;
        } catch (const std::bad_alloc&) {
            ASSERT_EQ(failing_allocator::liveAllocations(), live) << "leak at k=" << k;
            if (out.size() == 1 && out[0] == before) {
                continue; // emptying `out` failed: it keeps what it held
            }
            ASSERT_LE(out.size(), expected.size()) << "k=" << k;
            for (unsigned i = 0; i < out.size(); ++i) {
                ASSERT_EQ(out[i], expected[i]) << "k=" << k << " entry " << i;
            }
        }
    }
    EXPECT_TRUE(succeeded);
}

// Growing the index fails: what it held stays, and it still answers.
TEST(DistinctIndexAllocation, FailedGrowthKeepsTheRecordedValues) {
    libVideoPortInfo::DistinctIndex index;
    std::vector<int> list;
    list.reserve(1000);
    const auto add = [&](int v) {
        const auto position = static_cast<std::uint32_t>(list.size());
        if (index.addIfNew(libVideoPortInfo::hashWords(v, 0), position,
                           [&](std::uint32_t i) { return list[i] == v; })) {
            list.push_back(v);
            return true;
        }
        return false;
    };
    // The inline table holds half its slots without allocating.
    const int held = static_cast<int>(libVideoPortInfo::DistinctIndex::inlineSlots / 2);
    const std::size_t allocations = failing_allocator::totalAllocations();
    for (int v = 0; v < held; ++v) {
        ASSERT_TRUE(add(v));
    }
    EXPECT_EQ(failing_allocator::totalAllocations(), allocations);
    {
        failing_allocator::ScopedFailure failure(1);
        EXPECT_THROW(add(held), std::bad_alloc);
    }
    EXPECT_EQ(index.size(), std::size_t(held));
    for (int old = 0; old < held; ++old) {
        EXPECT_FALSE(add(old)) << old;
    }
    EXPECT_TRUE(add(held));
    EXPECT_EQ(index.size(), std::size_t(held) + 1);
}

} // namespace
} // namespace backend_test
