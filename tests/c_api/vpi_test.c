/* Tests of the C interface, compiled as C99. Each case is a command-line
 * argument, so that CTest runs and names it on its own:
 *
 *   vpi_test dump               print the snapshot in the form of dump.h
 *   vpi_test arguments          NULL and out-of-range arguments, the version
 *   vpi_test invariants         what every port of a snapshot promises
 *   vpi_test port_at_point      the port that shows a desktop point
 *   vpi_test independent        a snapshot outlives later ones unchanged
 *   vpi_test watch_arguments    NULL and out-of-range arguments of a watch
 *   vpi_test platform_failure   (scripted) a failed read, then a good one
 *   vpi_test library_error      (scripted) a table the library refuses
 *   vpi_test no_memory          (scripted) an allocation failure at each point
 *   vpi_test watch              (scripted) a watch sees changes; stopped from here
 *   vpi_test watch_stop_inside  (scripted) a watch stopped from its own callback
 *   vpi_test watch_sequence     (scripted) ports reordered, one removed, a failed
 *                               reading and the recovery
 *   vpi_test watch_no_memory    (scripted) an allocation failure at each point of
 *                               a watch's start and snapshot
 *   vpi_test watch_fork         (scripted) a child of fork() stops its copy of a
 *                               watch and starts its own; the parent's stays idle
 *   vpi_test exit_watching      (scripted) the program ends while a watch reads
 *   vpi_test watch_host MS      a watch polling every MS milliseconds, driven on
 *                               standard input ("mode W H" sets the primary
 *                               display's mode on Windows, "stop" stops): prints
 *                               "watching", a line per change
 *                               ("change EVENT KEY BEFORE AFTER") and "stopped"
 *
 * The scripted cases drive the stand-in platform and the allocator through
 * scripting.h; they exist only where those do (the native build).
 */
#if !defined(_WIN32)
#define _XOPEN_SOURCE 700 /* fork, nanosleep and getrusage in strict C99 */
#endif
#include "dump.h"

#include <vpi/vpi.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#ifdef VPI_TEST_SCRIPTED
#include "scripting.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

/* The layouts a C compiler gives the structures are those the library was
 * built with (its own assertions hold the same numbers): a mismatch fails to
 * compile here. */
#define VPI_TEST_LAYOUT(name, condition) typedef char name[(condition) ? 1 : -1]
VPI_TEST_LAYOUT(mode_layout, sizeof(vpi_mode) == 16);
VPI_TEST_LAYOUT(state_layout, offsetof(vpi_display_state, refresh_hz) == 32 &&
                                  offsetof(vpi_display_state, primary) == 64 &&
                                  offsetof(vpi_display_state, dpi_source) == 96 &&
                                  offsetof(vpi_display_state, sdr_white_level_nits) == 152 &&
                                  sizeof(vpi_display_state) == 160);
VPI_TEST_LAYOUT(port_layout, offsetof(vpi_port, index) == 4 && offsetof(vpi_port, modes) == 80 &&
                                 offsetof(vpi_port, key) == 104 &&
                                 offsetof(vpi_port, connector_instance) == 120 &&
                                 offsetof(vpi_port, monitor_product_code) == 144 &&
                                 offsetof(vpi_port, connected_monitor) == 152 &&
                                 sizeof(vpi_port) == 160);
VPI_TEST_LAYOUT(monitor_layout, offsetof(vpi_monitor, preferred_mode) == 36 &&
                                    offsetof(vpi_monitor, edid_info) == 64 &&
                                    sizeof(vpi_monitor) == 72);
VPI_TEST_LAYOUT(edid_layout,
                offsetof(vpi_edid, version) == 56 && offsetof(vpi_edid, timing_hertz) == 128 &&
                    offsetof(vpi_edid, hdr_max_luminance) == 168 && sizeof(vpi_edid) == 200);
VPI_TEST_LAYOUT(change_layout, offsetof(vpi_change, event) == 8 &&
                                   offsetof(vpi_change, modes_removed) == 36 &&
                                   sizeof(vpi_change) == 40);
VPI_TEST_LAYOUT(event_layout, offsetof(vpi_watch_event, before) == 8 &&
                                  offsetof(vpi_watch_event, reason) == 32 &&
                                  sizeof(vpi_watch_event) == 40);
VPI_TEST_LAYOUT(values, VPI_CHANGE_PRIMARY == 12 && VPI_CHANGE_MONITOR_CHANGED == 15 &&
                            VPI_CHANGE_ADVANCED_COLOR == 18 && VPI_CONNECTOR_OTHER == 13 &&
                            VPI_EVENT_READ_RECOVERED == 2 && VPI_E_INTERNAL == 5);

static int failures = 0;

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

static vpi_snapshot* take(void) {
    vpi_snapshot* snapshot = NULL;
    const int result = vpi_snapshot_take(&snapshot);
    if (result != VPI_OK) {
        fprintf(stderr, "vpi_snapshot_take: %d: %s\n", result, vpi_last_error());
        ++failures;
    }
    CHECK((result == VPI_OK) == (snapshot != NULL));
    return snapshot;
}

static int sameMode(const vpi_mode* a, const vpi_mode* b) {
    return a->width == b->width && a->height == b->height && a->refresh_rate == b->refresh_rate &&
           a->bits_per_pixel == b->bits_per_pixel;
}

static int sameText(const char* a, const char* b) {
    return (a == NULL && b == NULL) || (a != NULL && b != NULL && strcmp(a, b) == 0);
}

static int samePort(const vpi_port* a, const vpi_port* b) {
    uint32_t k;
    if (a->index != b->index || a->connector != b->connector ||
        !sameText(a->connector_name, b->connector_name) ||
        a->monitor_attached != b->monitor_attached || !sameText(a->display_id, b->display_id) ||
        !sameText(a->monitor_name, b->monitor_name) ||
        !sameText(a->monitor_device_path, b->monitor_device_path) ||
        !sameMode(&a->preferred_mode, &b->preferred_mode) || a->mode_count != b->mode_count) {
        return 0;
    }
    for (k = 0; k < a->mode_count; ++k) {
        if (!sameMode(&a->modes[k], &b->modes[k])) {
            return 0;
        }
    }
    return 1;
}

static void testDump(void) {
    vpi_snapshot* snapshot = take();
    uint32_t i;
    for (i = 0; i < vpi_port_count(snapshot); ++i) {
        dumpPort(stdout, vpi_port_at(snapshot, i));
    }
    vpi_snapshot_free(snapshot);
}

static void testArguments(const char* expectedVersion) {
    vpi_snapshot* snapshot;
    CHECK(vpi_snapshot_take(NULL) == VPI_E_INVALID_ARGUMENT);
    CHECK(strlen(vpi_last_error()) != 0);
    vpi_snapshot_free(NULL);
    CHECK(vpi_port_count(NULL) == 0);
    CHECK(vpi_port_at(NULL, 0) == NULL);

    snapshot = take();
    CHECK(strcmp(vpi_last_error(), "") == 0); /* a success clears the error */
    CHECK(vpi_port_count(snapshot) > 0);
    CHECK(vpi_port_at(snapshot, vpi_port_count(snapshot) - 1) != NULL);
    CHECK(vpi_port_at(snapshot, vpi_port_count(snapshot)) == NULL);
    CHECK(strstr(vpi_last_error(), "vpi_port_at") != NULL);
    CHECK(vpi_port_at(snapshot, 0xFFFFFFFFu) == NULL);
    CHECK(vpi_port_at(snapshot, 0)->size == sizeof(vpi_port));
    CHECK(VPI_HAS_FIELD(vpi_port_at(snapshot, 0), vpi_port, monitor_product_code));
    vpi_snapshot_free(snapshot);
    CHECK(vpi_change_at(NULL, 0) == NULL && strlen(vpi_last_error()) != 0);

    CHECK(vpi_version() != NULL && strcmp(vpi_version(), expectedVersion) == 0);
    CHECK(vpi_version_number() == VPI_VERSION_NUMBER);
    CHECK(vpi_set_log_level(6) == VPI_E_INVALID_ARGUMENT && vpi_set_log_level(-1) != VPI_OK);
    CHECK(vpi_set_log_level(3) == VPI_OK && strcmp(vpi_last_error(), "") == 0);
}

static void ignoreEvent(const vpi_watch_event* event, void* user) {
    (void)event;
    (void)user;
}

static void testWatchArguments(void) {
    vpi_watch* watch = (vpi_watch*)1;
    vpi_snapshot* snapshot = (vpi_snapshot*)1;
    CHECK(vpi_watch_start(NULL, NULL, 0, &watch) == VPI_E_INVALID_ARGUMENT);
    CHECK(watch == NULL && strlen(vpi_last_error()) != 0);
    CHECK(vpi_watch_start(ignoreEvent, NULL, 0, NULL) == VPI_E_INVALID_ARGUMENT);
    CHECK(vpi_watch_start(ignoreEvent, NULL, 9, &watch) == VPI_E_INVALID_ARGUMENT);
    CHECK(vpi_watch_start(ignoreEvent, NULL, 86400001u, &watch) == VPI_E_INVALID_ARGUMENT);
    vpi_watch_stop(NULL);
    CHECK(vpi_watch_snapshot(NULL, &snapshot) == VPI_E_INVALID_ARGUMENT && snapshot == NULL);
    CHECK(vpi_watch_start(ignoreEvent, NULL, 86400000u, &watch) == VPI_OK);
    CHECK(vpi_watch_snapshot(watch, NULL) == VPI_E_INVALID_ARGUMENT);
    vpi_watch_stop(watch); /* at once, although the next poll is a day away */
}

/* Every change names its port by its key, and the indexes reach that port
 * in the snapshots before and after. */
static void checkEvent(const vpi_watch_event* event) {
    uint32_t i;
    CHECK(event->size == sizeof *event);
    CHECK(event->before != NULL && event->after != NULL);
    CHECK((event->change_count > 0) == (event->type == VPI_EVENT_CHANGES));
    CHECK((event->reason != NULL) == (event->type == VPI_EVENT_READ_FAILED));
    CHECK(vpi_change_at(event, event->change_count) == NULL);
    for (i = 0; i < event->change_count; ++i) {
        const vpi_change* change = vpi_change_at(event, i);
        CHECK(change != NULL && change->size == sizeof *change);
        const vpi_port* before = vpi_port_at(event->before, change->before_index);
        const vpi_port* after = vpi_port_at(event->after, change->after_index);
        CHECK(change->event != NULL && change->key != NULL);
        CHECK((before == NULL) == (change->kind == VPI_CHANGE_PORT_ADDED));
        CHECK((after == NULL) == (change->kind == VPI_CHANGE_PORT_REMOVED));
        CHECK(before == NULL || strcmp(before->key, change->key) == 0);
        CHECK(after == NULL || strcmp(after->key, change->key) == 0);
    }
}

/* The port at a point: the centre of each display in use names that display
 * (but where an earlier one holds it: a clone), a point far off the desktop
 * the nearest one, not inside. */
static void testPortAtPoint(void) {
    vpi_snapshot* snapshot = take();
    uint32_t i;
    int32_t inside = -1;
    CHECK(vpi_port_at_point(NULL, 0, 0, &inside) == NULL && inside == -1);
    for (i = 0; i < vpi_port_count(snapshot); ++i) {
        const vpi_display_state* c = vpi_port_at(snapshot, i)->current;
        const vpi_port* found;
        int32_t x, y;
        if (c == NULL) {
            continue;
        }
        x = c->x + (int32_t)(c->width / 2);
        y = c->y + (int32_t)(c->height / 2);
        found = vpi_port_at_point(snapshot, x, y, &inside);
        CHECK(found != NULL && inside == 1 && found->current != NULL);
        CHECK(found->index <= i && x >= found->current->x && y >= found->current->y);
        found = vpi_port_at_point(snapshot, -2000000000, y, &inside);
        CHECK(found != NULL && inside == 0 && found->current != NULL);
    }
    vpi_snapshot_free(snapshot);
}

static void testInvariants(void) {
    vpi_snapshot* snapshot = take();
    uint32_t i, k, m;
    for (i = 0; i < vpi_port_count(snapshot); ++i) {
        const vpi_port* port = vpi_port_at(snapshot, i);
        CHECK(port->index == i);
        CHECK(port->connector >= VPI_CONNECTOR_VGA && port->connector <= VPI_CONNECTOR_OTHER);
        CHECK(port->connector_name != NULL && port->connector_name[0] != '\0');
        CHECK(port->display_id != NULL);
        CHECK(port->monitor_attached == 0 || port->monitor_attached == 1);
        CHECK((port->monitor_name != NULL) == (port->monitor_attached != 0));
        CHECK((port->monitor_device_path != NULL) == (port->monitor_attached != 0));
        if (!port->monitor_attached) {
            const vpi_mode zero = {0, 0, 0, 0};
            CHECK(sameMode(&port->preferred_mode, &zero));
        }
        CHECK(port->preferred_mode.bits_per_pixel == 0);
        CHECK((port->connected_monitor != NULL) == (port->monitor_connected != 0));
        CHECK(!port->monitor_attached || port->monitor_connected);
        if (port->connected_monitor != NULL) {
            const vpi_monitor* monitor = port->connected_monitor;
            CHECK(monitor->size == sizeof *monitor && monitor->in_use == port->monitor_attached);
            CHECK(monitor->name != NULL && monitor->device_path != NULL);
            CHECK((monitor->edid != NULL) == (monitor->edid_size != 0));
            CHECK(monitor->edid_info == NULL || monitor->edid_size >= 128);
        }
        CHECK((port->modes == NULL) == (port->mode_count == 0));
        for (k = 0; k < port->mode_count; ++k) {
            for (m = k + 1; m < port->mode_count; ++m) {
                CHECK(!sameMode(&port->modes[k], &port->modes[m]));
            }
        }
    }
    vpi_snapshot_free(snapshot);
}

/* A snapshot owns its memory: later snapshots (each of which rebuilds the
 * library's port list) leave it whole. The sanitizer build would report a
 * read of freed memory here. */
static void testIndependent(void) {
    vpi_snapshot* first = take();
    vpi_snapshot* second = take();
    vpi_snapshot* third;
    uint32_t i;
    CHECK(vpi_port_count(first) == vpi_port_count(second));
    vpi_snapshot_free(second);
    third = take();
    CHECK(vpi_port_count(first) == vpi_port_count(third));
    for (i = 0; i < vpi_port_count(first) && i < vpi_port_count(third); ++i) {
        CHECK(samePort(vpi_port_at(first, i), vpi_port_at(third, i)));
    }
    vpi_snapshot_free(third);
    vpi_snapshot_free(first);
}

#ifdef VPI_TEST_SCRIPTED
static void testPlatformFailure(void) {
    vpi_snapshot* snapshot = (vpi_snapshot*)1;
    vpi_snapshot_free(take()); /* the first take may use the first enumeration */
    test_fail_next_query();
    CHECK(vpi_snapshot_take(&snapshot) == VPI_E_PLATFORM);
    CHECK(snapshot == NULL);
    CHECK(strstr(vpi_last_error(), "display configuration") != NULL);
    CHECK(strstr(vpi_last_error(), "QueryDisplayConfig returned 31 (ERROR_GEN_FAILURE)") != NULL);
    snapshot = take();
    CHECK(vpi_port_count(snapshot) > 0);
    CHECK(strcmp(vpi_last_error(), "") == 0);
    vpi_snapshot_free(snapshot);
}

static void testLibraryError(void) {
    vpi_snapshot* snapshot = (vpi_snapshot*)1;
    vpi_snapshot_free(take());
    test_serve_mode_index_out_of_range();
    CHECK(vpi_snapshot_take(&snapshot) == VPI_E_LIBRARY);
    CHECK(snapshot == NULL);
    CHECK(strlen(vpi_last_error()) != 0);
    test_serve_default();
    snapshot = take();
    CHECK(vpi_port_count(snapshot) > 0);
    vpi_snapshot_free(snapshot);
}

static void recordEvent(const vpi_watch_event* event, void* user) {
    (void)user;
    checkEvent(event);
    test_record_event(event); /* after the checks: the main thread waits for it */
}

/* The changes of one served configuration, in the documented order; then a
 * stop from this thread while the watch polls every 10 ms, after which no
 * callback comes. */
static void testWatch(void) {
    vpi_watch* watch = NULL;
    vpi_snapshot* known = NULL;
    vpi_snapshot* now = NULL;
    unsigned seen;
    CHECK(vpi_watch_start(recordEvent, NULL, 10, &watch) == VPI_OK);
    test_serve_changed();
    CHECK(test_wait_for_changes(2, 10000));
    CHECK(test_recorded_kind(0) == VPI_CHANGE_MONITOR_DETACHED);
    CHECK(test_recorded_kind(1) == VPI_CHANGE_POSITION);
    /* What the watch knows is the configuration served now. */
    CHECK(vpi_watch_snapshot(watch, &known) == VPI_OK);
    now = take();
    CHECK(vpi_port_count(known) == vpi_port_count(now));
    CHECK(vpi_port_count(now) > 0 && samePort(vpi_port_at(known, 0), vpi_port_at(now, 0)));
    CHECK(vpi_port_at(known, 0)->current == NULL); /* the detached one */
    vpi_snapshot_free(now);
    vpi_snapshot_free(known);
    test_serve_default(); /* and back, while the watch polls */
    vpi_watch_stop(watch);
    seen = test_recorded_changes();
    CHECK(!test_wait_for_changes(seen + 1, 100));
}

static void stopInside(const vpi_watch_event* event, void* user) {
    vpi_watch** watch = (vpi_watch**)user;
    checkEvent(event);
    vpi_watch_stop(*watch); /* returns at once */
    test_record_event(event);
}

/* A watch stopped from its own callback gets no further call, and is freed
 * (the sanitizer build would report the leak). */
static void testWatchStopInside(void) {
    vpi_watch* watch = NULL;
    CHECK(vpi_watch_start(stopInside, &watch, 10, &watch) == VPI_OK);
    test_serve_changed();
    CHECK(test_wait_for_changes(2, 10000));
    test_serve_default();
    CHECK(!test_wait_for_changes(3, 200));
}

/* Waits until the watch's list starts with `target`: a reordering is no
 * event, so the list it knows is the only sign that it has looked. */
static int waitForFirstTarget(vpi_watch* watch, uint32_t target) {
    int tries;
    const struct timespec pause = {0, 5000000};
    for (tries = 0; tries < 2000; ++tries) {
        vpi_snapshot* known = NULL;
        int found;
        CHECK(vpi_watch_snapshot(watch, &known) == VPI_OK);
        found = vpi_port_count(known) > 0 && vpi_port_at(known, 0)->target_id == target;
        vpi_snapshot_free(known);
        if (found) {
            return 1;
        }
        nanosleep(&pause, NULL);
    }
    return 0;
}

/* The same ports in another order are no event; the removal after them names
 * the port that left, by an index into the event's own `before`. A reading
 * that fails is an event with the reason, and so is the next good reading;
 * nothing changed meanwhile, so no change follows. */
static void testWatchSequence(void) {
    vpi_watch* watch = NULL;
    CHECK(vpi_watch_start(recordEvent, NULL, 10, &watch) == VPI_OK);
    test_serve_hdmi_first();
    CHECK(waitForFirstTarget(watch, 4161));
    CHECK(test_recorded_changes() == 0);
    test_serve_without_hdmi();
    CHECK(test_wait_for_changes(1, 10000));
    CHECK(test_recorded_kind(0) == VPI_CHANGE_PORT_REMOVED);
    CHECK(test_recorded_target(0) == 4161);
    test_fail_next_query();
    CHECK(test_wait_for_changes(3, 10000));
    CHECK(test_recorded_kind(1) == TEST_READ_EVENT + VPI_EVENT_READ_FAILED);
    CHECK(test_recorded_reason_holds(1, "QueryDisplayConfig returned 31 (ERROR_GEN_FAILURE)"));
    CHECK(test_recorded_kind(2) == TEST_READ_EVENT + VPI_EVENT_READ_RECOVERED);
    vpi_watch_stop(watch);
    CHECK(test_recorded_changes() == 3);
}

/* Fails the k-th allocation of a watch's start and of its snapshot, for
 * every k until they need fewer: each is VPI_E_NO_MEMORY, no exception
 * escapes, and nothing leaks (the sanitizer build would say so). */
static void testWatchNoMemory(void) {
    size_t k;
    int started = 0;
    vpi_snapshot_free(take());             /* the stand-in has read its configuration */
    CHECK(vpi_set_log_level(3) == VPI_OK); /* the log state is made */
    for (k = 1; k < 100000 && !started; ++k) {
        vpi_watch* watch = (vpi_watch*)1;
        vpi_snapshot* known = (vpi_snapshot*)1;
        int result;
        test_fail_allocation(k);
        result = vpi_watch_start(ignoreEvent, NULL, 86400000u, &watch);
        started = !test_allocation_failed();
        test_fail_allocation(0);
        /* A fact the platform ran out of memory for is left out, no failure. */
        CHECK(result == VPI_OK || (!started && result == VPI_E_NO_MEMORY && watch == NULL));
        if (result != VPI_OK) {
            continue;
        }
        test_fail_allocation(1);
        CHECK(vpi_watch_snapshot(watch, &known) == VPI_E_NO_MEMORY && known == NULL);
        test_fail_allocation(0);
        vpi_watch_stop(watch);
    }
    CHECK(started);
}

static double cpuSeconds(void) {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/* A child of fork() stops its copy of the parent's watch, reads the
 * configuration and runs a watch of its own; the parent's watch, which
 * polls once a day, then stays idle instead of waking for the child's stop. */
static void testWatchFork(void) {
    vpi_watch* watch = NULL;
    pid_t child;
    int status = -1;
    const struct timespec idle = {0, 300000000};
    double before;
    CHECK(vpi_watch_start(ignoreEvent, NULL, 86400000u, &watch) == VPI_OK);
    child = fork();
    if (child == 0) {
        vpi_watch* own = NULL;
        vpi_snapshot* snapshot = NULL;
        int ok;
        vpi_watch_stop(watch);
        ok = vpi_snapshot_take(&snapshot) == VPI_OK && vpi_port_count(snapshot) > 0;
        vpi_snapshot_free(snapshot);
        ok = ok && vpi_watch_start(ignoreEvent, NULL, 10, &own) == VPI_OK;
        vpi_watch_stop(own);
        _exit(ok ? 0 : 1);
    }
    CHECK(child > 0 && waitpid(child, &status, 0) == child);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    before = cpuSeconds();
    nanosleep(&idle, NULL); /* a span to measure the parent's watch in */
    CHECK(cpuSeconds() - before < 0.1);
    vpi_watch_stop(watch);
}

/* The program ends while six watches read the configuration as fast as
 * they may: neither reaches the factory as its static destructor runs (the
 * thread sanitizer build would report the race, the others a crash). The
 * handles stay in a global, as a host's would: a watch's thread may end
 * before the leak checker looks, and a handle only it held would be a leak
 * of this program's. */
static vpi_watch* exitWatches[6];

static void testExitWatching(void) {
    int i;
    for (i = 0; i < 6; ++i) {
        CHECK(vpi_watch_start(ignoreEvent, NULL, 10, &exitWatches[i]) == VPI_OK);
    }
    CHECK(test_wait_for_queries(12, 10000));
}

/* Fails the k-th allocation of a take, for every k until a take needs fewer:
 * each failure is VPI_E_NO_MEMORY with nothing returned and nothing leaked,
 * or, where the platform itself ran out while answering a fact that a
 * snapshot may lack (a monitor's EDID), the snapshot without that fact; the
 * snapshot that finally succeeds is the one a plain take gives. */
static void testNoMemory(void) {
    vpi_snapshot* reference;
    size_t live, k;
    int succeeded = 0;
    vpi_snapshot_free(take());
    reference = take();
    /* The log state is made on first use and kept: made before counting. */
    CHECK(vpi_set_log_level(3) == VPI_OK);
    live = test_live_allocations();
    for (k = 1; k < 100000 && !succeeded; ++k) {
        vpi_snapshot* snapshot = (vpi_snapshot*)1;
        int result;
        test_fail_allocation(k);
        result = vpi_snapshot_take(&snapshot);
        succeeded = !test_allocation_failed();
        test_fail_allocation(0);
        CHECK(result == VPI_OK || !succeeded);
        if (result == VPI_OK) {
            uint32_t i;
            CHECK(vpi_port_count(snapshot) == vpi_port_count(reference));
            for (i = 0; i < vpi_port_count(snapshot) && i < vpi_port_count(reference); ++i) {
                CHECK(samePort(vpi_port_at(snapshot, i), vpi_port_at(reference, i)));
            }
            vpi_snapshot_free(snapshot);
        } else {
            CHECK(result == VPI_E_NO_MEMORY);
            CHECK(snapshot == NULL);
            CHECK(strcmp(vpi_last_error(), "out of memory") == 0);
        }
        CHECK(test_live_allocations() == live);
    }
    CHECK(succeeded);
    fprintf(stderr, "no_memory: %lu allocation points\n", (unsigned long)(k - 2));
    vpi_snapshot_free(reference);
}
#endif

static void printChanges(const vpi_watch_event* event, void* user) {
    uint32_t i;
    (void)user;
    checkEvent(event);
    for (i = 0; i < event->change_count; ++i) {
        const vpi_change* change = vpi_change_at(event, i);
        printf("change %s %s %ld %ld\n", change->event, change->key,
               change->before_index == VPI_NO_PORT ? -1L : (long)change->before_index,
               change->after_index == VPI_NO_PORT ? -1L : (long)change->after_index);
    }
    fflush(stdout);
}

static void watchHost(const char* interval) {
    vpi_watch* watch = NULL;
    char line[128];
    if (vpi_watch_start(printChanges, NULL, (uint32_t)strtoul(interval, NULL, 10), &watch) !=
        VPI_OK) {
        fprintf(stderr, "vpi_watch_start: %s\n", vpi_last_error());
        ++failures;
        return;
    }
    printf("watching\n");
    fflush(stdout);
    while (fgets(line, sizeof line, stdin) != NULL && strncmp(line, "stop", 4) != 0) {
#ifdef _WIN32
        unsigned long width = 0, height = 0;
        if (sscanf(line, "mode %lu %lu", &width, &height) == 2) {
            DEVMODEW mode;
            memset(&mode, 0, sizeof mode);
            mode.dmSize = sizeof mode;
            mode.dmPelsWidth = width;
            mode.dmPelsHeight = height;
            mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
            printf("mode rc=%ld\n", ChangeDisplaySettingsExW(NULL, &mode, NULL, 0, NULL));
            fflush(stdout);
        }
#endif
    }
    vpi_watch_stop(watch);
    printf("stopped\n");
}

typedef struct {
    const char* name;
    void (*run)(void);
} TestCase;

static const TestCase cases[] = {
    {"dump", testDump},
    {"invariants", testInvariants},
    {"port_at_point", testPortAtPoint},
    {"independent", testIndependent},
    {"watch_arguments", testWatchArguments},
#ifdef VPI_TEST_SCRIPTED
    {"platform_failure", testPlatformFailure},
    {"library_error", testLibraryError},
    {"no_memory", testNoMemory},
    {"watch", testWatch},
    {"watch_stop_inside", testWatchStopInside},
    {"watch_sequence", testWatchSequence},
    {"watch_no_memory", testWatchNoMemory},
    {"watch_fork", testWatchFork},
    {"exit_watching", testExitWatching},
#endif
};

int main(int argc, char** argv) {
    const char* name = argc > 1 ? argv[1] : "";
    size_t i;
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY); /* plain LF line ends, as scripts read them */
#endif
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        if (strcmp(name, cases[i].name) == 0) {
            cases[i].run();
            return failures == 0 ? 0 : 1;
        }
    }
    if (strcmp(name, "arguments") == 0 && argc > 2) {
        testArguments(argv[2]);
    } else if (strcmp(name, "watch_host") == 0 && argc > 2) {
        watchHost(argv[2]);
    } else {
        fprintf(stderr, "vpi_test: unknown case '%s'\n", name);
        return 2;
    }
    return failures == 0 ? 0 : 1;
}
