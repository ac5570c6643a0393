// De-duplication of paths and modes on large inputs, against plain quadratic
// references, and the index both rely on.
#include "BackendTestSupport.h"

#include <DistinctIndex.h>
#include <libVideoPortInfo/DisplayResolution.h>

#include <cstring>
#include <random>

namespace backend_test {
namespace {

using libVideoPortInfo::DisplayResolution;
using libVideoPortInfo::DistinctIndex;

// --- The index, with hashes chosen by the test -------------------------------

/// Adds `values` to a list through the index with the hash `hashOf`, keeping
/// the first of equal values.
template <class Hash> std::vector<int> distinctVia(const std::vector<int>& values, Hash hashOf) {
    DistinctIndex index;
    std::vector<int> list;
    for (int value : values) {
        const auto position = static_cast<std::uint32_t>(list.size());
        if (index.addIfNew(hashOf(value), position,
                           [&](std::uint32_t i) { return list.at(i) == value; })) {
            list.push_back(value);
        }
    }
    EXPECT_EQ(index.size(), list.size());
    return list;
}

std::vector<int> firstOfEach(const std::vector<int>& values) {
    std::vector<int> list;
    for (int value : values) {
        if (std::find(list.begin(), list.end(), value) == list.end()) {
            list.push_back(value);
        }
    }
    return list;
}

TEST(DistinctIndex, EqualityDecidesWhenEveryHashCollides) {
    // 500 distinct values, each seen three times, in an order that keeps the
    // copies apart, and all under one hash: well past the inline table.
    std::vector<int> values;
    for (int round = 0; round < 3; ++round) {
        for (int v = 0; v < 500; ++v) {
            values.push_back((v * 7919 + round * 13) % 500);
        }
    }
    const auto sameHash = [](int) { return 0x5a5a5a5au; };
    EXPECT_EQ(distinctVia(values, sameHash), firstOfEach(values));
    // Hashes that collide in their low bits only (the slot), not in full.
    const auto sameSlot = [](int v) { return static_cast<std::uint32_t>(v) << 20; };
    EXPECT_EQ(distinctVia(values, sameSlot), firstOfEach(values));
}

TEST(DistinctIndex, ReserveMakesRoomForThatManyValues) {
    DistinctIndex index;
    index.reserve(1000);
    std::vector<int> list;
    for (int v = 0; v < 1000; ++v) {
        const auto position = static_cast<std::uint32_t>(list.size());
        ASSERT_TRUE(index.addIfNew(libVideoPortInfo::hashWords(v, 0), position,
                                   [&](std::uint32_t i) { return list[i] == v; }));
        list.push_back(v);
    }
    EXPECT_FALSE(index.addIfNew(libVideoPortInfo::hashWords(999, 0), 1000,
                                [&](std::uint32_t i) { return list[i] == 999; }));
    EXPECT_EQ(index.size(), 1000u);
}

TEST(DistinctIndex, HashWordsSpreadsKeysThatDifferInOneField) {
    // Keys that differ in a single bit of either word land in many slots of a
    // 128-slot table, not in a few.
    std::vector<bool> used(128, false);
    unsigned distinctSlots = 0;
    for (int bit = 0; bit < 64; ++bit) {
        for (int word = 0; word < 2; ++word) {
            const std::uint64_t one = std::uint64_t(1) << bit;
            const std::uint32_t slot =
                libVideoPortInfo::hashWords(word == 0 ? one : 0, word == 1 ? one : 0) & 127;
            if (!used[slot]) {
                used[slot] = true;
                ++distinctSlots;
            }
        }
    }
    EXPECT_GE(distinctSlots, 60u) << "128 single-bit keys in 128 slots";
}

// --- Paths --------------------------------------------------------------------

using Deduplication = BackendTest;

bool sameTarget(const DISPLAYCONFIG_PATH_INFO& a, const DISPLAYCONFIG_PATH_INFO& b) {
    return a.targetInfo.adapterId.LowPart == b.targetInfo.adapterId.LowPart &&
           a.targetInfo.adapterId.HighPart == b.targetInfo.adapterId.HighPart &&
           a.targetInfo.id == b.targetInfo.id;
}

std::vector<DISPLAYCONFIG_PATH_INFO>
firstPathOfEachTarget(const std::vector<DISPLAYCONFIG_PATH_INFO>& paths) {
    std::vector<DISPLAYCONFIG_PATH_INFO> kept;
    for (const DISPLAYCONFIG_PATH_INFO& path : paths) {
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const auto& k) { return sameTarget(k, path); })) {
            kept.push_back(path);
        }
    }
    return kept;
}

TEST_F(Deduplication, LargePathTablesKeepTheFirstPathOfEachTarget) {
    // Targets whose identities differ in one part only (the adapter's low
    // part, its high part, or the id), each reached by up to 8 sources, in a
    // shuffled order: 3 x 2 x 40 = 240 targets, about 1000 paths.
    std::mt19937 random(9);
    std::vector<DISPLAYCONFIG_PATH_INFO> paths;
    for (DWORD low : {1u, 2u, 0x80000001u}) {
        for (LONG high : {0, 1}) {
            for (UINT32 id = 0; id < 40; ++id) {
                const unsigned sources = 1 + random() % 8;
                for (UINT32 source = 0; source < sources; ++source) {
                    paths.push_back(standin::makePath(adapter(low, high), source, id, 0,
                                                      DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
                    // Marks each record, so that the test sees which one survived.
                    paths.back().targetInfo.refreshRate.Numerator =
                        static_cast<UINT32>(paths.size());
                }
            }
        }
    }
    std::shuffle(paths.begin(), paths.end(), random);

    Configuration config;
    config.paths = paths;
    serve(config);
    const std::vector<DISPLAYCONFIG_PATH_INFO> expected = firstPathOfEachTarget(paths);
    ASSERT_EQ(expected.size(), 240u);
    ASSERT_EQ(factory->numVideoPorts(), expected.size());
    for (unsigned i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(std::memcmp(&port(i).pathInfo(), &expected[i], sizeof(expected[i])), 0)
            << "port " << i;
    }
}

TEST_F(Deduplication, EveryPathToOneTargetLeavesOnePort) {
    Configuration config;
    for (UINT32 source = 0; source < 1000; ++source) {
        config.paths.push_back(
            standin::makePath(adapter(3), source, 42, 0, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DVI));
    }
    serve(config);
    ASSERT_EQ(factory->numVideoPorts(), 1u);
    EXPECT_EQ(port(0).pathInfo().sourceInfo.id, 0u);
}

// --- Modes --------------------------------------------------------------------

std::vector<DisplayResolution> firstOfEach(const std::vector<DEVMODEW>& modes) {
    std::vector<DisplayResolution> list;
    for (const DEVMODEW& m : modes) {
        const DisplayResolution r(m.dmPelsWidth, m.dmPelsHeight, m.dmDisplayFrequency,
                                  m.dmBitsPerPel);
        if (std::find(list.begin(), list.end(), r) == list.end()) {
            list.push_back(r);
        }
    }
    return list;
}

std::vector<DisplayResolution> listed(const VideoPort& port) {
    tkl::Array<DisplayResolution> modes;
    const unsigned count = port.supportedResolution(modes);
    EXPECT_EQ(count, modes.size());
    std::vector<DisplayResolution> list;
    for (unsigned i = 0; i < modes.size(); ++i) {
        list.push_back(modes[i]);
    }
    return list;
}

TEST_F(Deduplication, ManyScatteredDuplicatesKeepTheFirstOfEachMode) {
    // 400 distinct modes, each reported 1 to 10 times at random places, some
    // copies differing in fields a resolution does not carry.
    std::mt19937 random(5);
    Configuration config = simpleConfiguration(1, 1);
    std::vector<DEVMODEW> modes;
    for (DWORD i = 0; i < 400; ++i) {
        const unsigned copies = 1 + random() % 10;
        for (unsigned c = 0; c < copies; ++c) {
            modes.push_back(
                standin::makeDisplayMode(640 + 8 * (i % 20), 480 + 4 * (i / 20), 60, 32));
            modes.back().dmDisplayFixedOutput = c % 2 ? DMDFO_CENTER : DMDFO_DEFAULT;
        }
    }
    std::shuffle(modes.begin(), modes.end(), random);
    config.displayModes[gdiName(1)] = modes;
    serve(config);
    const std::vector<DisplayResolution> expected = firstOfEach(modes);
    ASSERT_EQ(expected.size(), 400u);
    EXPECT_EQ(listed(*factory->videoPort(0)), expected);
}

TEST_F(Deduplication, ModesThatDifferInOneFieldAreAllKept) {
    // Around one mode, 150 neighbours in each of the four fields, then every
    // one of them again in reverse order.
    Configuration config = simpleConfiguration(1, 1);
    std::vector<DEVMODEW> modes;
    for (DWORD d = 0; d < 150; ++d) {
        modes.push_back(standin::makeDisplayMode(1920 + d, 1080, 60, 32));
        modes.push_back(standin::makeDisplayMode(1920, 1080 + d, 60, 32));
        modes.push_back(standin::makeDisplayMode(1920, 1080, 60 + d, 32));
        modes.push_back(standin::makeDisplayMode(1920, 1080, 60, 32 + d));
    }
    const std::vector<DEVMODEW> once = modes;
    modes.insert(modes.end(), once.rbegin(), once.rend());
    config.displayModes[gdiName(1)] = modes;
    serve(config);
    const std::vector<DisplayResolution> expected = firstOfEach(modes);
    ASSERT_EQ(expected.size(), 4u * 150 - 3) << "d = 0 gives one mode four times";
    EXPECT_EQ(listed(*factory->videoPort(0)), expected);
}

TEST_F(Deduplication, TheSameModesOnManyPortsGiveEachTheSameList) {
    std::mt19937 random(11);
    std::vector<DEVMODEW> modes;
    for (unsigned i = 0; i < 600; ++i) {
        modes.push_back(standin::makeDisplayMode(640 + 16 * (random() % 30), 480, 50 + random() % 3,
                                                 random() % 2 ? 32 : 16));
    }
    Configuration config = simpleConfiguration(8, 8);
    for (unsigned p = 0; p < 8; ++p) {
        config.displayModes[gdiName(p + 1)] = modes;
    }
    serve(config);
    const std::vector<DisplayResolution> expected = firstOfEach(modes);
    ASSERT_EQ(factory->numVideoPorts(), 8u);
    for (unsigned p = 0; p < 8; ++p) {
        EXPECT_EQ(listed(*factory->videoPort(p)), expected) << "port " << p;
    }
    // Asking again gives the same list, not one that remembers the last call.
    EXPECT_EQ(listed(*factory->videoPort(3)), expected);
}

} // namespace
} // namespace backend_test
