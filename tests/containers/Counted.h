#pragma once

#include <stdexcept>

// An element type that counts its constructions and destructions, and whose
// copy constructor can be told to throw, to check that containers construct
// and destroy every element exactly once.
struct Counted {
    // Defined here, once for every test file that counts.
    static inline int constructed = 0;
    static inline int destroyed = 0;
    static inline int copiesUntilThrow = 0; // 0: never throw; n: the n-th copy from now throws

    static int alive() { return constructed - destroyed; }
    static void resetCounters() { constructed = destroyed = copiesUntilThrow = 0; }

    Counted() : value(0) { ++constructed; }
    explicit Counted(int v) : value(v) { ++constructed; }
    Counted(const Counted& other) : value(other.value) {
        if (copiesUntilThrow != 0 && --copiesUntilThrow == 0) {
            throw std::runtime_error("copy failed");
        }
        ++constructed;
    }
    Counted& operator=(const Counted& other) = default;
    ~Counted() { ++destroyed; }

    friend bool operator==(const Counted& a, const Counted& b) { return a.value == b.value; }

    int value;
};
