// The C test's controls: the stand-in's scripting and the failing allocator.
#include "scripting.h"

#include "../support/FailingAllocator.h"

#include <standin/StandIn.h>

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
