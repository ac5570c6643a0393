/* C entry points into the stand-in platform's scripting and the test
 * allocator, for the C test (native build only). */
#ifndef VPI_TEST_SCRIPTING_H
#define VPI_TEST_SCRIPTING_H

#include <stddef.h>

struct vpi_watch_event;

#ifdef __cplusplus
extern "C" {
#endif

/* The next QueryDisplayConfig fails with ERROR_GEN_FAILURE. */
void test_fail_next_query(void);
/* Serves a configuration whose path names a mode record outside the table. */
void test_serve_mode_index_out_of_range(void);
/* Serves the default configuration again. */
void test_serve_default(void);
/* Serves the default configuration with its first port's monitor detached
 * and the second port's source moved down: a monitorDetached change of the
 * first port and a positionChanged of the second. */
void test_serve_changed(void);

/* A record of watch callbacks, for checks from the main thread. */
void test_record_event(const struct vpi_watch_event* event);
/* The changes recorded so far, and the kind of the i-th. */
unsigned test_recorded_changes(void);
int test_recorded_kind(unsigned i);
/* Waits until at least `count` changes were recorded, for up to
 * `timeout_ms`; non-zero when they were. */
int test_wait_for_changes(unsigned count, unsigned timeout_ms);
/* The k-th allocation from now fails (0 disarms). */
void test_fail_allocation(size_t k);
/* Whether the armed allocation failure fired. */
int test_allocation_failed(void);
/* Allocations made and not yet freed. */
size_t test_live_allocations(void);

#ifdef __cplusplus
}
#endif

#endif
