#pragma once

#include <cstdint>

namespace tkl {

/// Storage policy of the handles: the pointer is kept as a plain T*, and the
/// one empty value of each instantiation is the null pointer. The two integer
/// parameters pick the handle kind: <T,0,3> for owning handles and their count
/// blocks, <T,3,2> for non-owning handles.
template <class T, int Kind, int Mode> struct PointerStorage {
    using Element = T;
    using Pointer = T*;
    static constexpr T* emptyValue = nullptr;
};

/// Root of every count block: holds the number of handles sharing the block.
/// The count is a plain integer: handles sharing a block are used by one
/// thread at a time.
class SharedResourceManagerCommonBase {
public:
    virtual ~SharedResourceManagerCommonBase() {}
    /// Forgets the object without deleting it.
    virtual void detach() = 0;

    std::int32_t count;

protected:
    SharedResourceManagerCommonBase() : count(1) {}

private:
    SharedResourceManagerCommonBase(const SharedResourceManagerCommonBase&) = delete;
    SharedResourceManagerCommonBase& operator=(const SharedResourceManagerCommonBase&) = delete;
};

/// Count block base that adds no lock.
class SharedResourceManagerUnlockedBase : public SharedResourceManagerCommonBase {
public:
    ~SharedResourceManagerUnlockedBase() override {}
};

/// The count block of an owning handle. Only the unlocked variant (trailing
/// argument 0) exists.
template <class Storage, int Locking> class SharedResourceManager;

template <class Storage>
class SharedResourceManager<Storage, 0> : public SharedResourceManagerUnlockedBase {
public:
    using T = typename Storage::Element;

    /// Count 1, holding `object`.
    explicit SharedResourceManager(T* object) : pointer(object) {}

    /// Deletes the object (through its virtual destructor) unless detached.
    ~SharedResourceManager() override {
        if (pointer != Storage::emptyValue) {
            delete pointer;
            pointer = Storage::emptyValue;
        }
    }

    void detach() override { pointer = Storage::emptyValue; }

    T* pointer;
};

/// Owning, reference-counted handle: a pointer plus a count block shared by
/// all copies. The last handle to let go deletes the count block, which
/// deletes the object.
///
/// Ownership rules:
///  - A handle is empty exactly when its block is null; every operation tests
///    the block, never the pointer.
///  - A raw pointer handed to the constructor or to operator=(T*) must be a
///    heap object made with new that no handle owns yet. If the count block
///    cannot be allocated, that object is deleted before the failure passes
///    on, so it never leaks, and the handle is left empty: get() is null.
///  - Counts are plain integers: handles sharing one block, and the object,
///    are used by one thread at a time.
template <class Storage, int Locking> class SharedResource {
public:
    using T = typename Storage::Element;
    using Manager = SharedResourceManager<Storage, Locking>;

    SharedResource() : pointer_(Storage::emptyValue), block_(nullptr) {}

    explicit SharedResource(T* object) : pointer_(Storage::emptyValue), block_(nullptr) {
        block_ = makeBlock(object);
        pointer_ = object;
    }

    SharedResource(const SharedResource& other)
        : pointer_(Storage::emptyValue), block_(other.block_) {
        if (block_ != nullptr) {
            pointer_ = other.pointer_;
            ++block_->count;
        }
    }

    ~SharedResource() { release(); }

    SharedResource& operator=(const SharedResource& other) {
        if (&other == this || other.block_ == block_) {
            return *this;
        }
        release();
        if (other.block_ != nullptr) {
            block_ = other.block_;
            ++block_->count;
            pointer_ = other.pointer_;
        }
        return *this;
    }

    /// Releases what the handle holds (which may delete it), then owns `object`.
    /// The pointer is stored only once the block exists, so a failed
    /// allocation leaves the handle empty rather than holding a deleted object.
    SharedResource& operator=(T* object) {
        release();
        block_ = makeBlock(object);
        pointer_ = object;
        return *this;
    }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    T& operator*() const { return *pointer_; }
    bool empty() const { return block_ == nullptr; }
    explicit operator bool() const { return block_ != nullptr; }

    /// Number of handles sharing the block; 0 for an empty handle.
    std::int32_t useCount() const { return block_ != nullptr ? block_->count : 0; }

private:
    static Manager* makeBlock(T* object) {
        try {
            return new Manager(object);
        } catch (...) {
            delete object;
            throw;
        }
    }

    // GCC 12 cannot tell that two handles sharing a block keep it alive
    // until the last one lets go, and warns about a use after free once both
    // releases are inlined into one function.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif
    /// Drops this handle's share; the last share deletes block and object.
    void release() {
        if (block_ == nullptr) {
            return;
        }
        Manager* block = block_;
        pointer_ = Storage::emptyValue;
        block_ = nullptr;
        if (--block->count == 0) {
            delete block;
        }
    }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic pop
#endif

    T* pointer_;
    Manager* block_;
};

/// Non-owning handle: a plain copy of a pointer, no count, no share in the
/// object's lifetime. It must not be used after the object's owners let go.
template <class Storage> class CopiedResource {
public:
    using T = typename Storage::Element;

    CopiedResource(T* object = Storage::emptyValue) : pointer_(object) {}
    CopiedResource(const CopiedResource& other) = default;
    CopiedResource& operator=(const CopiedResource& other) = default;
    ~CopiedResource() { pointer_ = Storage::emptyValue; }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    T& operator*() const { return *pointer_; }
    explicit operator bool() const { return pointer_ != Storage::emptyValue; }

    friend bool operator==(const CopiedResource& a, const CopiedResource& b) {
        return a.pointer_ == b.pointer_;
    }
    friend bool operator!=(const CopiedResource& a, const CopiedResource& b) {
        return a.pointer_ != b.pointer_;
    }

private:
    T* pointer_;
};

} // namespace tkl
