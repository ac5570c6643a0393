// The C test's controls: the stand-in's scripting and the failing allocator.
#include "scripting.h"

#include "../support/FailingAllocator.h"

#include <standin/StandIn.h>
#include <vpi/vpi.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

std::mutex recordMutex;
std::condition_variable recorded;
std::vector<int> recordedKinds; // guarded by recordMutex

} // namespace

extern "C" {

void test_fail_next_query(void) {
    standin::failCall(standin::Operation::QueryDisplayConfig, 1, ERROR_GEN_FAILURE);
}

void test_serve_mode_index_out_of_range(void) {
    standin::Configuration configuration = standin::defaultConfiguration();
    configuration.paths.front().targetInfo.modeInfoIdx =
        static_cast<UINT32>(configuration.modes.size());
    standin::setConfiguration(configuration);
}

void test_serve_default(void) {
    standin::resetConfiguration();
}

void test_serve_changed(void) {
    standin::Configuration configuration = standin::defaultConfiguration();
    // The default's first two paths are its active ones, each with its own
    // source mode.
    configuration.paths.at(0).flags &= ~UINT32(DISPLAYCONFIG_PATH_ACTIVE);
    configuration.modes.at(configuration.paths.at(1).sourceInfo.modeInfoIdx).sourceMode.position.y =
        100;
    standin::setConfiguration(configuration);
}

void test_record_event(const vpi_watch_event* event) {
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        for (uint32_t i = 0; i < event->change_count; ++i) {
            recordedKinds.push_back(event->changes[i].kind);
        }
    }
    recorded.notify_all();
}

unsigned test_recorded_changes(void) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return static_cast<unsigned>(recordedKinds.size());
}

int test_recorded_kind(unsigned i) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return i < recordedKinds.size() ? recordedKinds[i] : -1;
}

int test_wait_for_changes(unsigned count, unsigned timeout_ms) {
    std::unique_lock<std::mutex> lock(recordMutex);
    return recorded.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return recordedKinds.size() >= count; })
               ? 1
               : 0;
}

void test_fail_allocation(size_t k) {
    failing_allocator::failAllocation(k);
}

int test_allocation_failed(void) {
    return failing_allocator::failureFired() ? 1 : 0;
}

size_t test_live_allocations(void) {
    return failing_allocator::liveAllocations();
}

} // extern "C"
