#include "Counted.h"

#include <tkl/Array.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Stand-ins of the element sizes the library uses: 72- and 64-byte platform
// records and 16-byte values.
struct Record72 {
    std::uint32_t words[18];
};
struct Record64 {
    std::uint32_t words[16];
};
struct Value16 {
    std::uint32_t a, b, c, d;
    friend bool operator==(const Value16& x, const Value16& y) {
        return x.a == y.a && x.b == y.b && x.c == y.c && x.d == y.d;
    }
};
static_assert(sizeof(Record72) == 72 && sizeof(Record64) == 64 && sizeof(Value16) == 16, "");

class CountedTest : public ::testing::Test {
protected:
    void SetUp() override { Counted::resetCounters(); }
    void TearDown() override {
        EXPECT_EQ(Counted::alive(), 0) << "an element leaked or was destroyed twice";
    }
};

template <class T> std::string messageOf(const T& exception) {
    return exception.what();
}

TEST(ArrayCapacity, StartsAtEightAndRoundsUpToPowersOfTwo) {
    EXPECT_EQ(tkl::Array<int>().capacity(), 8u);
    EXPECT_EQ(tkl::Array<int>().size(), 0u);
    EXPECT_EQ(tkl::Array<int>(0).capacity(), 8u);
    EXPECT_EQ(tkl::Array<int>(8).capacity(), 8u);
    EXPECT_EQ(tkl::Array<int>(9).capacity(), 16u);
    EXPECT_EQ(tkl::Array<int>(16).capacity(), 16u);
    EXPECT_EQ(tkl::Array<int>(17).capacity(), 32u);
    tkl::Array<int> thousand(1000);
    EXPECT_EQ(thousand.capacity(), 1024u);
    EXPECT_EQ(thousand.size(), 1000u);
}

TEST(ArrayCapacity, CountingConstructorZeroesEveryByte) {
    tkl::Array<Record72> records(3);
    ASSERT_EQ(records.size(), 3u);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(records.data());
    for (unsigned i = 0; i < 3 * sizeof(Record72); ++i) {
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
    EXPECT_EQ(records.data(), &records[0]);
}

TEST(ArrayCapacity, DataIsNullWhenEmpty) {
    tkl::Array<Record64> empty;
    EXPECT_EQ(empty.data(), nullptr);
    tkl::Array<Record64> one(1);
    one.remove(0);
    EXPECT_EQ(one.data(), nullptr);
    EXPECT_EQ(one.capacity(), 8u);
}

TEST(ArrayCapacity, AppendDoublesAtTheGrowthPoints) {
    tkl::Array<int> numbers;
    for (int i = 0; i < 8; ++i) {
        numbers.append(i);
    }
    EXPECT_EQ(numbers.capacity(), 8u);
    numbers.append(8);
    EXPECT_EQ(numbers.capacity(), 16u);
    for (int i = 9; i < 16; ++i) {
        numbers.append(i);
    }
    EXPECT_EQ(numbers.capacity(), 16u);
    numbers.append(16);
    EXPECT_EQ(numbers.capacity(), 32u);
    ASSERT_EQ(numbers.size(), 17u);
    for (unsigned i = 0; i < 17; ++i) {
        EXPECT_EQ(numbers[i], static_cast<int>(i));
    }
}

TEST(ArrayCapacity, ReserveWithinCapacityKeepsTheBlock) {
    tkl::Array<int> numbers(5);
    const int* before = numbers.data();
    numbers.reserve(8);
    numbers.reserve(2);
    EXPECT_EQ(numbers.data(), before);
    EXPECT_EQ(numbers.capacity(), 8u);
    EXPECT_EQ(numbers.size(), 5u);
    numbers.reserve(100);
    EXPECT_EQ(numbers.capacity(), 128u);
    EXPECT_EQ(numbers.size(), 5u);
}

TEST(ArrayLimits, CapacityLimitsFollowTheElementSize) {
    EXPECT_EQ(tkl::Array<Record72>::capacityLimit, 59652323u);
    EXPECT_EQ(tkl::Array<Record64>::capacityLimit, 67108863u);
    EXPECT_EQ(tkl::Array<Value16>::capacityLimit, 268435455u);
}

// The limit is tested on the rounded capacity, before anything is allocated.
TEST(ArrayLimits, CountWhoseCapacityExceedsTheLimitFails) {
    try {
        tkl::Array<Value16> tooLarge(134217729u);
        FAIL() << "no exception";
    } catch (const tkl::NullPointer& e) {
        EXPECT_EQ(messageOf(e), "Asked for array of size: 134217729");
    }
    try {
        tkl::Array<Record72> tooLarge(33554433u);
        FAIL() << "no exception";
    } catch (const tkl::NullPointer& e) {
        EXPECT_EQ(messageOf(e), "Asked for array of size: 33554433");
    }
}

TEST(ArrayLimits, CountAboveTwoToTheThirtyFirstWrapsAndFails) {
    try {
        tkl::Array<Value16> huge(2147483649u);
        FAIL() << "no exception";
    } catch (const tkl::NullPointer& e) {
        EXPECT_EQ(messageOf(e), "Asked for array of size: 2147483649");
    }
}

TEST(ArrayLimits, FailedReserveLeavesTheArrayAsItWas) {
    tkl::Array<Value16> values;
    values.append(Value16{1, 2, 3, 4});
    const Value16* before = values.data();
    EXPECT_THROW(values.reserve(134217729u), tkl::NullPointer);
    EXPECT_EQ(values.data(), before);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(values.capacity(), 8u);
    EXPECT_EQ(values[0], (Value16{1, 2, 3, 4}));
}

TEST(ArrayBounds, EmptyArrayReportsTheWrappedUpperBound) {
    tkl::Array<int> empty;
    try {
        (void)empty[0];
        FAIL() << "no exception";
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT_EQ(e.low(), 0u);
        EXPECT_EQ(e.high(), 4294967295u);
        EXPECT_EQ(e.index(), 0u);
    }
}

TEST(ArrayBounds, IndexAtOrAboveTheCountThrowsAndChangesNothing) {
    tkl::Array<int> numbers(3);
    numbers[2] = 7;
    const tkl::Array<int>& constant = numbers;
    try {
        (void)constant[3];
        FAIL() << "no exception";
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT_EQ(e.high(), 2u);
        EXPECT_EQ(e.index(), 3u);
        const std::string text = e.what();
        EXPECT_NE(text.find('0'), std::string::npos);
        EXPECT_NE(text.find('2'), std::string::npos);
        EXPECT_NE(text.find('3'), std::string::npos);
    }
    try {
        numbers.remove(40);
        FAIL() << "no exception";
    } catch (const tkl::IndexOutOfBounds& e) {
        EXPECT_EQ(e.low(), 0u);
        EXPECT_EQ(e.high(), 2u);
        EXPECT_EQ(e.index(), 40u);
    }
    EXPECT_EQ(numbers.size(), 3u);
    EXPECT_EQ(numbers[2], 7);
}

TEST(ArrayCopy, KeepsCountCapacityAndValues) {
    tkl::Array<int> original;
    for (int i = 0; i < 17; ++i) {
        original.append(i * 3);
    }
    for (int i = 0; i < 8; ++i) {
        original.remove(original.size() - 1);
    }
    ASSERT_EQ(original.size(), 9u);
    ASSERT_EQ(original.capacity(), 32u);

    tkl::Array<int> copy(original);
    EXPECT_EQ(copy.size(), 9u);
    EXPECT_EQ(copy.capacity(), 32u);
    EXPECT_NE(copy.data(), original.data());
    for (unsigned i = 0; i < 9; ++i) {
        EXPECT_EQ(copy[i], original[i]);
    }
    copy[0] = -1;
    EXPECT_EQ(original[0], 0);
}

TEST_F(CountedTest, CopyConstructsEachElementOnce) {
    tkl::Array<Counted> original;
    for (int i = 0; i < 5; ++i) {
        original.append(Counted(i));
    }
    const int before = Counted::constructed;
    {
        tkl::Array<Counted> copy(original);
        EXPECT_EQ(Counted::constructed - before, 5);
        EXPECT_EQ(copy[4].value, 4);
    }
    EXPECT_EQ(Counted::alive(), 5);
}

TEST_F(CountedTest, AssignmentReplacesTheContent) {
    tkl::Array<Counted> a;
    tkl::Array<Counted> b;
    a.append(Counted(1));
    b.append(Counted(2));
    b.append(Counted(3));
    a = b;
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[1].value, 3);
    a = a;
    EXPECT_EQ(a.size(), 2u);
    EXPECT_EQ(Counted::alive(), 4);
}

TEST(ArrayRemove, ShiftsLaterElementsDown) {
    tkl::Array<int> numbers;
    for (int i = 0; i < 5; ++i) {
        numbers.append(i);
    }
    numbers.remove(1);
    ASSERT_EQ(numbers.size(), 4u);
    EXPECT_EQ(numbers[0], 0);
    EXPECT_EQ(numbers[1], 2);
    EXPECT_EQ(numbers[3], 4);
    EXPECT_EQ(numbers.capacity(), 8u);
}

TEST(ArrayRemove, RemovingTheLastMovesNothingAndKeepsItsBytes) {
    tkl::Array<int> numbers;
    for (int i = 0; i < 3; ++i) {
        numbers.append(i + 10);
    }
    int* slots = numbers.data();
    numbers.remove(2);
    EXPECT_EQ(numbers.size(), 2u);
    EXPECT_EQ(slots[0], 10);
    EXPECT_EQ(slots[1], 11);
    EXPECT_EQ(slots[2], 12); // the freed slot is left as it was
}

TEST(ArraySearch, IndexOfFindsTheFirstEqualElement) {
    tkl::Array<Value16> values;
    EXPECT_EQ(values.indexOf(Value16{1, 1, 1, 1}), -1);
    values.append(Value16{1, 2, 3, 4});
    values.append(Value16{5, 6, 7, 8});
    values.append(Value16{5, 6, 7, 8});
    EXPECT_EQ(values.indexOf(Value16{5, 6, 7, 8}), 1);
    EXPECT_EQ(values.indexOf(Value16{1, 2, 3, 4}), 0);
    EXPECT_EQ(values.indexOf(Value16{1, 2, 3, 5}), -1);
}

TEST_F(CountedTest, ClearDestroysEveryElementAndStartsOverAtEight) {
    tkl::Array<Counted> values;
    values.reserve(1000);
    for (int i = 0; i < 20; ++i) {
        values.append(Counted(i));
    }
    ASSERT_EQ(values.capacity(), 1024u);
    values.clear();
    EXPECT_EQ(values.size(), 0u);
    EXPECT_EQ(values.capacity(), 8u);
    EXPECT_EQ(Counted::alive(), 0);
}

TEST_F(CountedTest, AppendingAnElementOfTheSameArrayWhileGrowing) {
    tkl::Array<Counted> values;
    for (int i = 0; i < 8; ++i) {
        values.append(Counted(100 + i));
    }
    values.append(values[3]); // the block is replaced while the value is read
    ASSERT_EQ(values.size(), 9u);
    EXPECT_EQ(values[8].value, 103);
}

TEST_F(CountedTest, ThrowingCopyDuringGrowthLeavesTheOldBlockIntact) {
    tkl::Array<Counted> values;
    for (int i = 0; i < 8; ++i) {
        values.append(Counted(i));
    }
    const Counted* before = values.data();
    for (int failing = 1; failing <= 9; ++failing) {
        Counted::copiesUntilThrow = failing;
        EXPECT_THROW(values.append(Counted(8)), std::runtime_error) << "copy " << failing;
        Counted::copiesUntilThrow = 0;
        ASSERT_EQ(values.data(), before);
        ASSERT_EQ(values.size(), 8u);
        ASSERT_EQ(values.capacity(), 8u);
        for (unsigned i = 0; i < 8; ++i) {
            ASSERT_EQ(values[i].value, static_cast<int>(i));
        }
        ASSERT_EQ(Counted::alive(), 8);
    }
}

TEST(ArraySerialization, ReportsThatArraysCannotBeSerialized) {
    tkl::Array<int> numbers;
    tkl::String out;
    ::testing::internal::CaptureStdout();
    numbers.serializeMembers(out);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Serialization isn't support for this class!!!\n");
    try {
        numbers.serializeMember(tkl::String("count"));
        FAIL() << "no exception";
    } catch (const tkl::SerializationFailed& e) {
        EXPECT_EQ(std::string(e.what()), "Serialization is not supported for: count");
    }
    EXPECT_EQ(numbers.className().toUtf8(), "ArrayOfOthers");
    EXPECT_EQ(&numbers.className(), &tkl::Array<int>().className());
    EXPECT_NE(static_cast<const void*>(&numbers.className()),
              static_cast<const void*>(&tkl::Array<char>().className()));
    EXPECT_THROW(numbers.deserialize(tkl::String("<ArrayOfOthers/>")), tkl::SerializationFailed);
}

} // namespace
