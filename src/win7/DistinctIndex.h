#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace libVideoPortInfo {

/// Tells in expected constant time whether a value is already among the
/// distinct values that a caller keeps in a list of its own, so that
/// de-duplicating n values costs O(n) instead of O(n^2).
///
/// The index holds no values, only (hash, position) pairs: the position of
/// each distinct value in the caller's list and the value's 32-bit hash. A
/// lookup asks the caller's `equal(position)` only for recorded positions with
/// the same hash; `equal` alone decides, the hash only narrows the candidates.
/// The caller's hash must therefore give equal values equal hashes; a poor
/// hash costs time, never a wrong answer.
///
/// Invariants:
///  - the table has a power-of-two number of slots, at least inlineSlots;
///  - at most half of the slots are used, so every probe ends at an empty slot;
///  - a value's slot is found by linear probing from its hash & (slots - 1).
///
/// Storage: the first table lives inside the object (no allocation for up to
/// inlineSlots / 2 values); larger ones come from the global operator new.
/// Growth that fails throws std::bad_alloc and leaves the index as it was.
///
/// Limit: positions below 0xFFFFFFFF (the slot stores position + 1, 0 meaning
/// empty).
class DistinctIndex {
public:
    static constexpr std::size_t inlineSlots = 128;

    DistinctIndex() : slots_(inline_), mask_(inlineSlots - 1), used_(0) {
        std::memset(inline_, 0, sizeof(inline_));
    }
    ~DistinctIndex() { release(); }
    DistinctIndex(const DistinctIndex&) = delete;
    DistinctIndex& operator=(const DistinctIndex&) = delete;

    /// Makes room for `count` values in all, so that adding up to that many
    /// allocates nothing more.
    void reserve(std::size_t count) {
        std::size_t slots = mask_ + 1;
        while (slots / 2 < count) {
            slots *= 2;
        }
        if (slots != mask_ + 1) {
            rehash(slots);
        }
    }

    /// If a value with hash `hash` for which `equal(position)` holds has been
    /// added, returns false and records nothing. Otherwise records `position`
    /// (where the caller is about to put the new value) under `hash` and
    /// returns true. May grow first; if that throws, nothing is recorded.
    template <class Equal> bool addIfNew(std::uint32_t hash, std::uint32_t position, Equal equal) {
        std::size_t i = hash & mask_;
        for (; slots_[i].entry != 0; i = (i + 1) & mask_) {
            if (slots_[i].hash == hash && equal(slots_[i].entry - 1)) {
                return false;
            }
        }
        if ((used_ + 1) * 2 > mask_ + 1) {
            rehash((mask_ + 1) * 2);
            for (i = hash & mask_; slots_[i].entry != 0; i = (i + 1) & mask_) {
            }
        }
        slots_[i].hash = hash;
        slots_[i].entry = position + 1;
        ++used_;
        return true;
    }

    /// Number of values recorded.
    std::size_t size() const { return used_; }

private:
    struct Slot {
        std::uint32_t hash;
        std::uint32_t entry; // position + 1; 0 for an empty slot
    };

    void rehash(std::size_t slots) {
        Slot* grown = static_cast<Slot*>(::operator new(slots * sizeof(Slot)));
        std::memset(static_cast<void*>(grown), 0, slots * sizeof(Slot));
        const std::size_t mask = slots - 1;
        for (std::size_t k = 0; k <= mask_; ++k) {
            if (slots_[k].entry != 0) {
                std::size_t i = slots_[k].hash & mask;
                while (grown[i].entry != 0) {
                    i = (i + 1) & mask;
                }
                grown[i] = slots_[k];
            }
        }
        release();
        slots_ = grown;
        mask_ = mask;
    }

    void release() {
        if (slots_ != inline_) {
            ::operator delete(static_cast<void*>(slots_));
        }
    }

    Slot* slots_;
    std::size_t mask_; // slots - 1
    std::size_t used_;
    Slot inline_[inlineSlots];
};

/// A 32-bit hash of two 64-bit words (a multiply-xorshift mix of both): every
/// input bit reaches every output bit, so keys that differ in one field still
/// spread over the table.
inline std::uint32_t hashWords(std::uint64_t first, std::uint64_t second) {
    std::uint64_t x = first * 0x9E3779B97F4A7C15ull;
    x ^= second + 0x7F4A7C159E3779B9ull + (x << 6) + (x >> 2);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return static_cast<std::uint32_t>(x);
}

} // namespace libVideoPortInfo
