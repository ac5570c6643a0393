// Figures for the containers: amortised append, growth of an array of owning
// handles, and the linear search that de-duplicates display modes.
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

// The resolution listing's pattern: every reported mode is searched for
// before it is appended; half of the reported modes are repeats.
void deduplicateModes(benchmark::State& state) {
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
BENCHMARK(deduplicateModes)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

} // namespace

BENCHMARK_MAIN();
