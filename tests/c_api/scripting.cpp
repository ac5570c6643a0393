// The C test's controls: the stand-in's scripting and the failing allocator.
#include "scripting.h"

#include "../support/FailingAllocator.h"

#include <standin/StandIn.h>
#include <vpi/vpi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Recorded {
    int kind;
    unsigned target;
    std::string reason;
};

std::mutex recordMutex;
std::condition_variable recorded;
std::vector<Recorded> records; // guarded by recordMutex

constexpr UINT32 hdmiTarget = 4161; // the default configuration's HDMI port

bool leadsToHdmi(const DISPLAYCONFIG_PATH_INFO& path) {
    return path.targetInfo.id == hdmiTarget;
}

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

void test_serve_hdmi_first(void) {
    standin::Configuration configuration = standin::defaultConfiguration();
    std::stable_partition(configuration.paths.begin(), configuration.paths.end(), leadsToHdmi);
    standin::setConfiguration(configuration);
}

void test_serve_without_hdmi(void) {
    standin::Configuration configuration = standin::defaultConfiguration();
    auto& paths = configuration.paths;
    paths.erase(std::remove_if(paths.begin(), paths.end(), leadsToHdmi), paths.end());
    standin::setConfiguration(configuration);
}

int test_wait_for_queries(unsigned count, unsigned timeout_ms) {
    using Clock = std::chrono::steady_clock;
    static unsigned seen = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const unsigned wanted = seen + count;
    while (standin::callCount(standin::Operation::QueryDisplayConfig) < wanted) {
        if (Clock::now() > deadline) {
            return 0;
        }
        std::this_thread::yield();
    }
    seen = standin::callCount(standin::Operation::QueryDisplayConfig);
    return 1;
}

void test_record_event(const vpi_watch_event* event) {
    {
        std::lock_guard<std::mutex> lock(recordMutex);
        if (event->type != VPI_EVENT_CHANGES) {
            records.push_back(Recorded{TEST_READ_EVENT + event->type, 0,
                                       event->reason != nullptr ? event->reason : ""});
        }
        for (uint32_t i = 0; i < event->change_count; ++i) {
            const vpi_change* change = vpi_change_at(event, i);
            const vpi_port* port = change->after_index != VPI_NO_PORT
                                       ? vpi_port_at(event->after, change->after_index)
                                       : vpi_port_at(event->before, change->before_index);
            records.push_back(Recorded{change->kind, port->target_id, ""});
        }
    }
    recorded.notify_all();
}

unsigned test_recorded_changes(void) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return static_cast<unsigned>(records.size());
}

int test_recorded_kind(unsigned i) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return i < records.size() ? records[i].kind : -1;
}

unsigned test_recorded_target(unsigned i) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return i < records.size() ? records[i].target : 0;
}

int test_recorded_reason_holds(unsigned i, const char* text) {
    std::lock_guard<std::mutex> lock(recordMutex);
    return i < records.size() && records[i].reason.find(text) != std::string::npos ? 1 : 0;
}

int test_wait_for_changes(unsigned count, unsigned timeout_ms) {
    std::unique_lock<std::mutex> lock(recordMutex);
    return recorded.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return records.size() >= count; })
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
