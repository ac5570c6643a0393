#pragma once

#include <tkl/Exception.h>
#include <tkl/Serializable.h>
#include <tkl/String.h>
#include <tkl/TKLValue.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

namespace tkl {

/// A growable array whose object holds nothing but its serialization base and
/// one pointer. Count, capacity and elements live together in one separately
/// allocated storage block:
///
///     [ uint32 count | uint32 capacity | capacity x T ]
///
/// Invariants, while the array is alive:
///  - the storage pointer is never null (every constructor installs a block);
///  - count <= capacity; capacity is a power of two, at least 8, except when
///    doubling wrapped 32 bits (then it is the requested count, and that is
///    above every element type's limit, so no such block is ever made);
///  - 8 + capacity * sizeof(T) fits in 32 bits (the "capacity limit" of T);
///  - slots [0, count) hold constructed elements, slots from count on are raw.
///
/// Capacities double on growth and never shrink while a block lives; clear()
/// starts over with a fresh block of capacity 8.
///
/// Indexes, counts and capacities are 32-bit unsigned. A bad index throws
/// IndexOutOfBounds(0, count - 1, index), the upper bound computed in 32-bit
/// unsigned arithmetic (an empty array reports 4294967295). A block above the
/// capacity limit throws NullPointer("Asked for array of size: <count>").
///
/// Exception safety: reserve(), append() and clear() leave the array as it
/// was when an allocation or an element's copy constructor throws. Growth
/// copy-constructs every element into the new block and then destroys the
/// old ones: there is no move.
///
/// \warning remove() shifts elements as plain bytes; it only compiles for
/// trivially copyable element types.
///
/// The serialization hooks report that arrays cannot be serialized.
template <class T> class Array : public Serializable {
    static_assert(alignof(T) <= 8, "elements start 8 bytes into the storage block");

    struct Block {
        std::uint32_t count;
        std::uint32_t capacity;
    };
    static constexpr std::size_t headerSize = sizeof(Block);
    static_assert(sizeof(Block) == 8, "storage block header is two 32-bit words");

public:
    /// Largest capacity k with 8 + k * sizeof(T) <= 4294967295.
    static constexpr std::uint32_t capacityLimit =
        static_cast<std::uint32_t>((0xFFFFFFFFull - headerSize) / sizeof(T));

    Array() : block_(makeBlock(0)) {}

    /// `count` value-initialised elements; for plain records every byte is zero.
    explicit Array(unsigned count) : block_(makeBlock(count)) {
        block_->count = 0;
        constructValueInitialised(block_, count);
        block_->count = count;
    }

    /// Same count, same capacity and element-wise copies of `other`'s elements.
    /// The serialization base is not copied.
    Array(const Array& other) : Serializable(), block_(nullptr) {
        Block* copy = makeBlock(other.block_->capacity);
        copy->count = 0;
        try {
            copyElements(other.block_, copy);
        } catch (...) {
            freeBlock(copy);
            throw;
        }
        block_ = copy;
    }

    /// Strong guarantee: the new content is built aside and then swapped in.
    Array& operator=(const Array& other) {
        if (this != &other) {
            Array copy(other);
            swap(copy);
        }
        return *this;
    }

    /// Exchanges the storage blocks of two arrays; allocates nothing.
    void swap(Array& other) noexcept {
        Block* mine = block_;
        block_ = other.block_;
        other.block_ = mine;
    }

    ~Array() override {
        destroyElements(block_);
        freeBlock(block_);
        block_ = nullptr;
    }

    unsigned size() const { return block_->count; }
    unsigned capacity() const { return block_->capacity; }
    bool empty() const { return block_->count == 0; }

    T& operator[](unsigned index) {
        checkIndex(index);
        return slots(block_)[index];
    }
    const T& operator[](unsigned index) const {
        checkIndex(index);
        return slots(block_)[index];
    }

    /// Element 0, or null when the array is empty; for platform calls that
    /// fill a table in place.
    T* data() { return block_->count != 0 ? slots(block_) : nullptr; }
    const T* data() const { return block_->count != 0 ? slots(block_) : nullptr; }

    /// Makes room for at least `count` elements; does nothing when the
    /// capacity already suffices. If it throws, the old block stays installed
    /// with its elements intact.
    void reserve(unsigned count) {
        if (count <= block_->capacity) {
            return;
        }
        Block* grown = makeBlock(count);
        grown->count = 0;
        try {
            copyElements(block_, grown);
        } catch (...) {
            freeBlock(grown);
            throw;
        }
        Block* old = block_;
        block_ = grown;
        destroyElements(old);
        freeBlock(old);
    }

    /// Adds a copy of `value` after the last element. The value is copied
    /// before the array grows, so an element of this array may be passed.
    void append(const T& value) {
        const T copy(value);
        const std::uint32_t count = block_->count;
        reserve(count + 1);
        new (slots(block_) + count) T(copy);
        block_->count = count + 1;
    }

    /// Removes the element at `index`; later elements move down one place as
    /// plain bytes, the capacity stays and the freed slot keeps its bytes.
    void remove(unsigned index) {
        static_assert(std::is_trivially_copyable<T>::value, "remove() moves elements as bytes");
        checkIndex(index);
        T* elements = slots(block_);
        const std::uint32_t last = block_->count - 1;
        for (std::uint32_t j = index; j < last; ++j) {
            std::memcpy(static_cast<void*>(elements + j), elements + j + 1, sizeof(T));
        }
        block_->count = last;
    }

    /// Destroys every element and installs a fresh block of capacity 8. The
    /// fresh block is made first: if that fails, nothing changes.
    void clear() {
        Block* fresh = makeBlock(0);
        Block* old = block_;
        block_ = fresh;
        destroyElements(old);
        freeBlock(old);
    }

    /// Index of the first element equal to `value` (element on the left of
    /// ==), or -1.
    int indexOf(const T& value) const {
        for (std::uint32_t i = 0; i < block_->count; ++i) {
            if ((*this)[i] == value) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    void serializeMembers(String& /*out*/) override {
        std::printf("Serialization isn't support for this class!!!\n");
    }

    void serializeMember(const String& name) override {
        throw SerializationFailed("Serialization is not supported for: " + name);
    }

    const String& className() override {
        static const String name("ArrayOfOthers");
        return name;
    }

    virtual void deserializeMembers(const XmlElement* /*element*/) {}

private:
    // Element types that are plain bytes skip per-element construction and
    // destruction steps that would do nothing anyway.
    static constexpr bool plainRecord =
        std::is_trivially_copyable<T>::value && std::is_trivially_default_constructible<T>::value;

    static T* slots(Block* block) {
        return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(block) + headerSize);
    }

    /// A block for `count` elements: capacity 8 doubled until it holds them.
    /// Only the header is set (count = `count`); no element is constructed.
    static Block* makeBlock(std::uint32_t count) {
        std::uint32_t capacity = 8;
        while (capacity < count) {
            capacity *= 2;
            if (capacity == 0) { // doubling wrapped 32 bits
                capacity = count;
                break;
            }
        }
        if (capacity > capacityLimit) {
            throw NullPointer("Asked for array of size: " +
                              TKLValue(count).toString(TKLValue::nilValue()));
        }
        void* memory = ::operator new(headerSize + std::size_t(capacity) * sizeof(T));
        Block* block = static_cast<Block*>(memory);
        block->count = count;
        block->capacity = capacity;
        return block;
    }

    static void freeBlock(Block* block) { ::operator delete(static_cast<void*>(block)); }

    /// Value-initialises slots [0, count) in index order, raising block->count
    /// as it goes. On failure destroys what it made and frees the block.
    static void constructValueInitialised(Block* block, std::uint32_t count) {
        if constexpr (plainRecord) {
            if (count != 0) {
                std::memset(static_cast<void*>(slots(block)), 0, std::size_t(count) * sizeof(T));
            }
            block->count = count;
            return;
        }
        try {
            for (std::uint32_t i = 0; i < count; ++i) {
                new (slots(block) + i) T();
                block->count = i + 1;
            }
        } catch (...) {
            destroyElements(block);
            freeBlock(block);
            throw;
        }
    }

    /// Copy-constructs `from`'s elements into the empty `to`, index 0 upward,
    /// raising to->count as it goes. On failure destroys the copies made so
    /// far (to->count drops back to 0) and rethrows; `to` is not freed.
    static void copyElements(const Block* from, Block* to) {
        Block* source = const_cast<Block*>(from);
        if constexpr (plainRecord) {
            if (source->count != 0) {
                std::memcpy(static_cast<void*>(slots(to)), slots(source),
                            std::size_t(source->count) * sizeof(T));
            }
            to->count = source->count;
            return;
        }
        try {
            for (std::uint32_t i = 0; i < source->count; ++i) {
                new (slots(to) + i) T(slots(source)[i]);
                to->count = i + 1;
            }
        } catch (...) {
            destroyElements(to);
            throw;
        }
    }

    static void destroyElements(Block* block) {
        if constexpr (!std::is_trivially_destructible<T>::value) {
            T* elements = slots(block);
            for (std::uint32_t i = 0; i < block->count; ++i) {
                elements[i].~T();
            }
        }
        block->count = 0;
    }

    void checkIndex(unsigned index) const {
        if (index >= block_->count) {
            throw IndexOutOfBounds(0, block_->count - 1u, index);
        }
    }

    Block* block_;
};

} // namespace tkl
