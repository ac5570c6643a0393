// Figures for the containers: amortised append, growth of an array of owning
// handles, and de-duplicating display modes by a linear search against the
// resolution listing's hash index.
#include <DistinctIndex.h>
#include <tkl/Array.h>
#include <tkl/SharedResource.h>

#include <benchmark/benchmark.h>

namespace {

struct Mode {
    unsigned width, height, frequency, bitsPerPixel;
    friend bool operator==(const Mode& a, const Mode& b) {
        return a.width == b.width && a.height == b.height && a.frequency == b.frequency &&
               a.bitsPerPixel == b.bitsPerPixel;
    }
};

struct Object {
    virtual ~Object() = default;
};
using Handle = tkl::SharedResource<tkl::PointerStorage<Object, 0, 3>, 0>;

void appendModes(benchmark::State& state) {
    const unsigned count = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        tkl::Array<Mode> modes;
        for (unsigned i = 0; i < count; ++i) {
            modes.append(Mode{i, i, 60, 32});
        }
        benchmark::DoNotOptimize(modes.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(appendModes)->Arg(8)->Arg(156)->Arg(4096);

void appendHandles(benchmark::State& state) {
    const unsigned count = static_cast<unsigned>(state.range(0));
    tkl::Array<Handle> owners;
    for (unsigned i = 0; i < count; ++i) {
        owners.append(Handle(new Object));
    }
    for (auto _ : state) {
        tkl::Array<Handle> handles;
        for (unsigned i = 0; i < count; ++i) {
            handles.append(owners[i]);
        }
        benchmark::DoNotOptimize(handles.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(appendHandles)->Arg(4)->Arg(64)->Arg(1024);

// Every reported mode is looked for before it is appended; half of the
// reported modes are repeats. By a search of the whole list: quadratic.
void deduplicateModesBySearch(benchmark::State& state) {
    const unsigned reported = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        tkl::Array<Mode> distinct;
        for (unsigned i = 0; i < reported; ++i) {
            const Mode mode{640 + (i / 2) * 8, 480, 60, 32};
            if (distinct.indexOf(mode) < 0) {
                distinct.append(mode);
            }
        }
        benchmark::DoNotOptimize(distinct.data());
    }
    state.SetComplexityN(reported);
}
BENCHMARK(deduplicateModesBySearch)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

// The same through the index the resolution listing uses: linear.
void deduplicateModesByIndex(benchmark::State& state) {
    const unsigned reported = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        tkl::Array<Mode> distinct;
        libVideoPortInfo::DistinctIndex index;
        for (unsigned i = 0; i < reported; ++i) {
            const Mode mode{640 + (i / 2) * 8, 480, 60, 32};
            const std::uint32_t hash = libVideoPortInfo::hashWords(
                std::uint64_t(mode.width) << 32 | mode.height,
                std::uint64_t(mode.frequency) << 32 | mode.bitsPerPixel);
            if (index.addIfNew(hash, distinct.size(),
                               [&](std::uint32_t k) { return distinct[k] == mode; })) {
                distinct.append(mode);
            }
        }
        benchmark::DoNotOptimize(distinct.data());
    }
    state.SetComplexityN(reported);
}
BENCHMARK(deduplicateModesByIndex)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

} // namespace

BENCHMARK_MAIN();
