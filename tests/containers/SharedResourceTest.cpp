#include "../support/FailingAllocator.h"

#include <tkl/Array.h>
#include <tkl/SharedResource.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records its destruction, and how many allocations were live and had been
// made at that moment, to check the order of teardown steps.
struct Tracked {
    static std::vector<std::string> events;
    static std::size_t liveAtDestruction;
    static std::size_t totalAtDestruction;

    explicit Tracked(std::string n) : name(std::move(n)) {}
    virtual ~Tracked() {
        events.push_back("~" + name);
        liveAtDestruction = failing_allocator::liveAllocations();
        totalAtDestruction = failing_allocator::totalAllocations();
    }
    std::string name;
};
std::vector<std::string> Tracked::events;
std::size_t Tracked::liveAtDestruction = 0;
std::size_t Tracked::totalAtDestruction = 0;

using Handle = tkl::SharedResource<tkl::PointerStorage<Tracked, 0, 3>, 0>;
using View = tkl::CopiedResource<tkl::PointerStorage<Tracked, 3, 2>>;

class HandleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tracked::events.clear();
        Tracked::events.reserve(64); // keeps the recording itself from allocating
        liveBefore_ = failing_allocator::liveAllocations();
    }
    void TearDown() override {
        EXPECT_EQ(failing_allocator::liveAllocations(), liveBefore_) << "leak";
    }
    std::size_t liveBefore_ = 0;
};

TEST_F(HandleTest, EmptyHandles) {
    Handle empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_EQ(empty.useCount(), 0);
    Handle copy(empty);
    EXPECT_TRUE(copy.empty());
    EXPECT_EQ(copy.get(), nullptr);
}

TEST_F(HandleTest, CopiesShareOneCountBlock) {
    Handle first(new Tracked("a"));
    EXPECT_EQ(first.useCount(), 1);
    {
        Handle second(first);
        EXPECT_EQ(first.useCount(), 2);
        EXPECT_EQ(second.get(), first.get());
        Handle third;
        third = second;
        EXPECT_EQ(first.useCount(), 3);
    }
    EXPECT_EQ(first.useCount(), 1);
    EXPECT_TRUE(Tracked::events.empty());
}

TEST_F(HandleTest, SelfAndSameBlockAssignmentChangeNothing) {
    Handle first(new Tracked("a"));
    Handle second(first);
    Handle& alias = first;
    first = alias;
    EXPECT_EQ(first.useCount(), 2);
    first = second;
    EXPECT_EQ(first.useCount(), 2);
    Handle emptyA;
    Handle emptyB;
    emptyA = emptyB;
    EXPECT_TRUE(emptyA.empty());
    EXPECT_TRUE(Tracked::events.empty());
}

TEST_F(HandleTest, AssigningAnEmptyHandleToTheLastReferenceDestroysTheObject) {
    Handle last(new Tracked("a"));
    last = Handle();
    EXPECT_TRUE(last.empty());
    EXPECT_EQ(last.get(), nullptr);
    EXPECT_EQ(Tracked::events, std::vector<std::string>{"~a"});
}

TEST_F(HandleTest, ObjectIsDeletedBeforeItsCountBlockIsFreed) {
    const std::size_t live = failing_allocator::liveAllocations();
    {
        Handle a(new Tracked("a"));
        Handle b(a);
        Handle c(b);
        a = Handle();
        b = Handle();
        EXPECT_TRUE(Tracked::events.empty());
        EXPECT_EQ(c.useCount(), 1);
    }
    ASSERT_EQ(Tracked::events, std::vector<std::string>{"~a"});
    // While the object's destructor ran, its count block was still allocated.
    EXPECT_EQ(Tracked::liveAtDestruction, live + 2);
}

TEST_F(HandleTest, PointerAssignmentDeletesTheOldObjectBeforeMakingTheNewBlock) {
    Handle handle(new Tracked("old"));
    Tracked* replacement = new Tracked("new");
    const std::size_t totalBefore = failing_allocator::totalAllocations();
    handle = replacement;
    const std::size_t totalAfter = failing_allocator::totalAllocations();
    EXPECT_EQ(Tracked::events, std::vector<std::string>{"~old"});
    EXPECT_EQ(Tracked::totalAtDestruction, totalBefore) << "new count block made too early";
    EXPECT_EQ(totalAfter, totalBefore + 1);
    EXPECT_EQ(handle.get(), replacement);
    EXPECT_EQ(handle.useCount(), 1);
}

TEST_F(HandleTest, PointerAssignmentOnASharedHandleKeepsTheOthersAlive) {
    Handle shared(new Tracked("shared"));
    Handle other(shared);
    other = new Tracked("own");
    EXPECT_TRUE(Tracked::events.empty());
    EXPECT_EQ(shared.useCount(), 1);
    EXPECT_EQ(other->name, "own");
}

TEST_F(HandleTest, GrowingAnArrayOfHandlesKeepsCountsAndDestroysNothing) {
    Handle keeper(new Tracked("kept"));
    {
        tkl::Array<Handle> handles;
        handles.append(keeper);
        for (int i = 0; i < 20; ++i) {
            handles.append(Handle(new Tracked("n" + std::to_string(i))));
        }
        EXPECT_EQ(handles.capacity(), 32u);
        EXPECT_TRUE(Tracked::events.empty());
        EXPECT_EQ(keeper.useCount(), 2);
        EXPECT_EQ(handles[20].useCount(), 1);
        handles.clear();
        EXPECT_EQ(Tracked::events.size(), 20u);
        EXPECT_EQ(keeper.useCount(), 1);
    }
}

TEST_F(HandleTest, CopiedResourceNeverOwns) {
    Handle owner(new Tracked("a"));
    {
        View view(owner.get());
        View copy = view;
        EXPECT_EQ(copy, view);
        EXPECT_TRUE(static_cast<bool>(copy));
        EXPECT_EQ(copy->name, "a");
        EXPECT_EQ(&*copy, owner.get());
    }
    EXPECT_TRUE(Tracked::events.empty());
    EXPECT_EQ(owner.useCount(), 1);
    View empty;
    EXPECT_FALSE(static_cast<bool>(empty));
    EXPECT_NE(empty, View(owner.get()));
}

} // namespace
