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

/* Serves the default configuration with the paths of its HDMI port (target
 * 4161) first: the same ports in another order. */
void test_serve_hdmi_first(void);
/* Serves the default configuration without its HDMI port. */
void test_serve_without_hdmi(void);

/* Waits until the platform has answered `count` more queries of the
 * configuration than when this was last called, for up to `timeout_ms`;
 * non-zero when it has. */
int test_wait_for_queries(unsigned count, unsigned timeout_ms);

/* A record of watch callbacks, for checks from the main thread: each change,
 * and each read event as TEST_READ_EVENT + its type. */
#define TEST_READ_EVENT 100
void test_record_event(const struct vpi_watch_event* event);
/* The records so far; the kind of the i-th, the target id of its port, and
 * whether the reason of a read event holds `text`. */
unsigned test_recorded_changes(void);
int test_recorded_kind(unsigned i);
unsigned test_recorded_target(unsigned i);
int test_recorded_reason_holds(unsigned i, const char* text);
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
