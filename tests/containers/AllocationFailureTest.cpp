// Drives every allocation of an operation to fail in turn: for k = 1, 2, ...
// the k-th allocation throws, until the operation gets through. Each time,
// nothing may leak and the container must be valid and unchanged.
#include "../support/FailingAllocator.h"
#include "Counted.h"

#include <tkl/Array.h>
#include <tkl/SharedResource.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <vector>

namespace {

using failing_allocator::liveAllocations;
using failing_allocator::ScopedFailure;

std::vector<int> valuesOf(const tkl::Array<Counted>& array) {
    std::vector<int> values;
    for (unsigned i = 0; i < array.size(); ++i) {
        values.push_back(array[i].value);
    }
    return values;
}

tkl::Array<Counted> makeFull(int count) {
    tkl::Array<Counted> array;
    for (int i = 0; i < count; ++i) {
        array.append(Counted(i));
    }
    return array;
}

// Runs `operation` on a fresh array from `make` with the k-th allocation
// failing, for every k until it succeeds. Returns how many failure points
// were found.
int runUntilSuccess(const std::function<tkl::Array<Counted>()>& make,
                    const std::function<void(tkl::Array<Counted>&)>& operation) {
    for (int k = 1; k < 100; ++k) {
        Counted::resetCounters();
        const std::size_t liveBefore = liveAllocations();
        bool succeeded = false;
        {
            tkl::Array<Counted> array = make();
            const std::vector<int> before = valuesOf(array);
            const unsigned capacityBefore = array.capacity();
            const Counted* dataBefore = array.data();
            try {
                ScopedFailure failure(static_cast<std::size_t>(k));
                operation(array);
                succeeded = true;
            } catch (const std::bad_alloc&) {
                EXPECT_EQ(valuesOf(array), before) << "k=" << k;
                EXPECT_EQ(array.capacity(), capacityBefore) << "k=" << k;
                EXPECT_EQ(array.data(), dataBefore) << "k=" << k;
                // Still usable after the failure.
                array.append(Counted(-1));
                EXPECT_EQ(array[array.size() - 1].value, -1);
            }
        }
        EXPECT_EQ(Counted::alive(), 0) << "k=" << k;
        EXPECT_EQ(liveAllocations(), liveBefore) << "leak at k=" << k;
        if (succeeded) {
            return k - 1;
        }
    }
    ADD_FAILURE() << "operation never succeeded";
    return -1;
}

TEST(AllocationFailure, AppendThatGrows) {
    EXPECT_GE(runUntilSuccess([] { return makeFull(8); },
                              [](tkl::Array<Counted>& a) { a.append(Counted(99)); }),
              1);
}

TEST(AllocationFailure, Reserve) {
    EXPECT_GE(
        runUntilSuccess([] { return makeFull(5); }, [](tkl::Array<Counted>& a) { a.reserve(300); }),
        1);
}

TEST(AllocationFailure, ClearKeepsTheOldBlockWhenTheFreshOneFails) {
    EXPECT_GE(
        runUntilSuccess([] { return makeFull(12); }, [](tkl::Array<Counted>& a) { a.clear(); }), 1);
}

TEST(AllocationFailure, CopyConstructor) {
    EXPECT_GE(runUntilSuccess([] { return makeFull(9); },
                              [](tkl::Array<Counted>& a) {
                                  tkl::Array<Counted> copy(a);
                                  EXPECT_EQ(copy.size(), a.size());
                              }),
              1);
}

TEST(AllocationFailure, Assignment) {
    EXPECT_GE(runUntilSuccess([] { return makeFull(3); },
                              [](tkl::Array<Counted>& a) { a = makeFull(20); }),
              1);
}

TEST(AllocationFailure, CountingConstructor) {
    for (int k = 1;; ++k) {
        Counted::resetCounters();
        const std::size_t liveBefore = liveAllocations();
        bool succeeded = false;
        try {
            ScopedFailure failure(static_cast<std::size_t>(k));
            tkl::Array<Counted> array(40);
            succeeded = true;
        } catch (const std::bad_alloc&) {
        }
        EXPECT_EQ(Counted::alive(), 0);
        EXPECT_EQ(liveAllocations(), liveBefore);
        if (succeeded) {
            EXPECT_EQ(k, 2); // only the block itself can fail
            break;
        }
    }
}

struct Owned {
    static int alive;
    Owned() { ++alive; }
    virtual ~Owned() { --alive; }
};
int Owned::alive = 0;

using OwningHandle = tkl::SharedResource<tkl::PointerStorage<Owned, 0, 3>, 0>;

// Makes the handle escape, so the optimiser cannot drop its allocation.
void escape(const OwningHandle& handle) {
    asm volatile("" : : "g"(&handle) : "memory");
}

TEST(AllocationFailure, TakingOwnershipDeletesTheObjectWhenTheCountBlockFails) {
    const std::size_t liveBefore = liveAllocations();
    Owned* object = new Owned;
    {
        ScopedFailure failure(1);
        EXPECT_THROW(
            {
                OwningHandle handle(object);
                escape(handle);
            },
            std::bad_alloc);
        EXPECT_TRUE(failing_allocator::failureFired());
    }
    EXPECT_EQ(Owned::alive, 0);
    EXPECT_EQ(liveAllocations(), liveBefore);

    OwningHandle handle(new Owned);
    Owned* second = new Owned;
    {
        ScopedFailure failure(1);
        EXPECT_THROW(
            {
                handle = second;
                escape(handle);
            },
            std::bad_alloc);
        EXPECT_TRUE(failing_allocator::failureFired());
    }
    EXPECT_EQ(Owned::alive, 0) << "both the released and the new object are gone";
    // The handle holds nothing, not the deleted object.
    EXPECT_TRUE(handle.empty());
    EXPECT_EQ(handle.get(), nullptr);
    EXPECT_EQ(handle.operator->(), nullptr);
    EXPECT_EQ(handle.useCount(), 0);
    // And it is usable again.
    handle = new Owned;
    EXPECT_EQ(handle.useCount(), 1);
    EXPECT_EQ(Owned::alive, 1);
    handle = OwningHandle();
    EXPECT_EQ(Owned::alive, 0);
    EXPECT_EQ(liveAllocations(), liveBefore);
}

TEST(AllocationFailure, GrowingAnArrayOfHandlesKeepsEveryCount) {
    const std::size_t liveBefore = liveAllocations();
    {
        tkl::Array<OwningHandle> handles;
        for (int i = 0; i < 8; ++i) {
            handles.append(OwningHandle(new Owned));
        }
        {
            ScopedFailure failure(1);
            EXPECT_THROW(handles.append(OwningHandle()), std::bad_alloc);
        }
        for (unsigned i = 0; i < handles.size(); ++i) {
            EXPECT_EQ(handles[i].useCount(), 1);
        }
        EXPECT_EQ(Owned::alive, 8);
    }
    EXPECT_EQ(Owned::alive, 0);
    EXPECT_EQ(liveAllocations(), liveBefore);
}

} // namespace
