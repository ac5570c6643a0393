/* C entry points into the stand-in platform's scripting and the test
 * allocator, for the C test (native build only). */
#ifndef VPI_TEST_SCRIPTING_H
#define VPI_TEST_SCRIPTING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The next QueryDisplayConfig fails with ERROR_GEN_FAILURE. */
void test_fail_next_query(void);
/* Serves a configuration whose path names a mode record outside the table. */
void test_serve_mode_index_out_of_range(void);
/* Serves the default configuration again. */
void test_serve_default(void);
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
