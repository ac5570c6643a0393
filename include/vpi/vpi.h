/* vpi: the video ports of this machine through a plain C interface.
 *
 * For hosts that are not built with the library's own C++ compiler (programs
 * built with Microsoft's compiler, C, C#, Rust, Go, Python through ctypes):
 * the interface is C99, and no C++ type or exception crosses it.
 *
 * A snapshot is an immutable copy of everything the library tells about the
 * ports at the moment it is taken. It owns all its memory: every pointer
 * reached from it stays valid until vpi_snapshot_free(), whatever else
 * happens in the meantime (later snapshots, display changes). One snapshot,
 * one free.
 *
 *     vpi_snapshot* snapshot = NULL;
 *     if (vpi_snapshot_take(&snapshot) != VPI_OK) {
 *         fprintf(stderr, "%s\n", vpi_last_error());
 *         return 1;
 *     }
 *     for (uint32_t i = 0; i < vpi_port_count(snapshot); ++i) {
 *         const vpi_port* port = vpi_port_at(snapshot, i);
 *         printf("%s %s\n", port->connector_name, port->display_id);
 *     }
 *     vpi_snapshot_free(snapshot);
 *
 * Threads: every function may be called from any thread. Taking snapshots is
 * serialised inside the library; a snapshot, being immutable, may be read by
 * several threads at once. vpi_last_error() is per thread.
 *
 * Growing: the structures that the library hands out by pointer (vpi_port,
 * vpi_display_state, vpi_change, vpi_watch_event) begin with `size`, the
 * size of the structure as the library that filled it in knows it. Later
 * versions add fields at the end only, and a host built against a newer
 * header than the library it runs with tells with VPI_HAS_FIELD() whether a
 * field was filled in. Reach ports through vpi_port_at() and changes through
 * vpi_change_at(), never by indexing an array of your own. vpi_mode is
 * frozen: it never grows, as port->modes is an array hosts index.
 *
 * Versions: while the major version is 0, each minor version may change the
 * interface (the CHANGELOG says how); a host refuses a library whose
 * vpi_version_number() differs from VPI_VERSION_NUMBER in its major or minor
 * part. From 1.0 on, a library of the same major version and at least the
 * host's minor version will do.
 */
#ifndef VPI_VPI_H
#define VPI_VPI_H

#include <stddef.h>
#include <stdint.h>

/* The version of this header; vpi_version_number() gives the library's. */
#define VPI_VERSION_MAJOR 0
#define VPI_VERSION_MINOR 4
#define VPI_VERSION_PATCH 0
#define VPI_MAKE_VERSION(major, minor, patch) ((major)*1000000 + (minor)*1000 + (patch))
#define VPI_VERSION_NUMBER VPI_MAKE_VERSION(VPI_VERSION_MAJOR, VPI_VERSION_MINOR, VPI_VERSION_PATCH)

/* Non-zero when the library filled in `field` of the structure `type` that
 * `pointer` points to: VPI_HAS_FIELD(port, vpi_port, key). */
#define VPI_HAS_FIELD(pointer, type, field)                                                        \
    ((pointer)->size >= offsetof(type, field) + sizeof(((const type*)0)->field))

#if defined(_WIN32)
#if defined(VPI_C_BUILD)
#define VPI_API __declspec(dllexport)
#else
#define VPI_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VPI_API __attribute__((visibility("default")))
#else
#define VPI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of the functions that return an int. */
enum {
    VPI_OK = 0,
    /* A required pointer argument was NULL, or a number out of its range. */
    VPI_E_INVALID_ARGUMENT = 1,
    /* The display configuration could not be read (the library's log line
     * says why; it goes to standard error by default). */
    VPI_E_PLATFORM = 2,
    /* Memory ran out. Nothing was leaked and nothing was returned. */
    VPI_E_NO_MEMORY = 3,
    /* The library refused the configuration it was given, for example a
     * mode record that the platform's own tables do not hold; the message
     * of vpi_last_error() says what. */
    VPI_E_LIBRARY = 4,
    /* Anything else went wrong inside the library. */
    VPI_E_INTERNAL = 5
};

/* The connector kinds of vpi_port.connector (the library's ConnectorType). */
enum {
    VPI_CONNECTOR_VGA = 0,
    VPI_CONNECTOR_DVI = 1,
    VPI_CONNECTOR_HDMI = 2,
    VPI_CONNECTOR_DISPLAYPORT = 3,
    VPI_CONNECTOR_SVIDEO = 4,
    VPI_CONNECTOR_COMPOSITE = 5,
    VPI_CONNECTOR_COMPONENT = 6,
    VPI_CONNECTOR_INTERNAL = 7,
    VPI_CONNECTOR_LVDS = 8,
    VPI_CONNECTOR_DJPN = 9,
    VPI_CONNECTOR_SDI = 10,
    VPI_CONNECTOR_UDI = 11,
    VPI_CONNECTOR_SDTV_DONGLE = 12,
    VPI_CONNECTOR_OTHER = 13
};

/* The scaling values of vpi_display_state.scaling (the platform's
 * DISPLAYCONFIG_SCALING; not contiguous). */
enum {
    VPI_SCALING_IDENTITY = 1,
    VPI_SCALING_CENTERED = 2,
    VPI_SCALING_STRETCHED = 3,
    VPI_SCALING_ASPECT_RATIO_CENTERED_MAX = 4,
    VPI_SCALING_CUSTOM = 5,
    VPI_SCALING_PREFERRED = 128
};

typedef struct vpi_snapshot vpi_snapshot;

/* One display mode: pixels, refresh rate in hertz, colour depth. Frozen:
 * this structure never changes, as arrays of it are indexed. */
typedef struct vpi_mode {
    uint32_t width, height, refresh_rate, bits_per_pixel;
} vpi_mode;

/* Where and how the source of a port in use is shown (vpi_port.current).
 * Later versions may add fields at the end. */
typedef struct vpi_display_state {
    /* sizeof(vpi_display_state) of the library that filled it in. */
    uint32_t size;
    /* The source's size in desktop pixels (after rotation). */
    uint32_t width, height;
    /* Its top-left corner on the desktop, whose origin is the primary
     * display's top-left corner: other displays may sit at negative places. */
    int32_t x, y;
    /* The signal's refresh rate as the exact fraction the platform gives
     * (refresh_denominator 0 when it gave none), and in hertz rounded to two
     * decimals (59.95; 0 when unknown). */
    uint32_t refresh_numerator, refresh_denominator;
    double refresh_hz;
    /* Non-zero for an interlaced signal. */
    int32_t interlaced;
    /* Clockwise rotation in degrees: 0, 90, 180 or 270. */
    uint32_t rotation;
    /* One of VPI_SCALING_*, and its name ("identity", "centered",
     * "stretched", "aspectRatioCenteredMax", "custom", "preferred",
     * "unknown"). */
    uint32_t scaling;
    const char* scaling_name;
    /* Non-zero for the platform's primary display (in a clone, every port of
     * its source). */
    int32_t primary;
    /* Since 0.4.0. */
    /* Where windows go on the display and how large content is drawn there,
     * when the desktop knows the display (has_desktop): the work area (the
     * display without taskbar and docked bars), the DPI (96 is 100%), where
     * the DPI comes from ("effective", the display's own, or "system") and
     * the scale (dpi / 96). In the coordinates of the process's DPI
     * awareness: a process that is not per-monitor aware may see them
     * scaled. */
    int32_t has_desktop;
    int32_t work_area_x, work_area_y;
    uint32_t work_area_width, work_area_height;
    uint32_t dpi;
    const char* dpi_source;
    double scale;
    /* "on", "off", "unsupported", or "unknown" where the platform does not
     * tell (before Windows 10 1709); and the advanced-colour state in full
     * when has_advanced_color: whether it is supported and enabled, wide
     * colour forced on, the colour encoding (the platform's
     * DISPLAYCONFIG_COLOR_ENCODING and its name: "rgb", "ycbcr444", ...),
     * bits per colour channel, and the SDR white level in nits (negative
     * when unknown). */
    const char* hdr;
    int32_t has_advanced_color;
    int32_t advanced_color_supported, advanced_color_enabled, wide_color_enforced;
    uint32_t color_encoding;
    uint32_t bits_per_color_channel;
    const char* color_encoding_name;
    double sdr_white_level_nits;
} vpi_display_state;

/* What a monitor's EDID says (vpi_monitor.edid_info), as videoports --edid
 * prints it; text is UTF-8 and NUL-terminated. Later versions may add
 * fields at the end. */
typedef struct vpi_edid {
    /* sizeof(vpi_edid) of the library that filled it in. */
    uint32_t size;
    /* Three letters, '@' + each 5-bit code ("DEL"; zero codes read "@@@"),
     * and the product code. */
    const char* manufacturer_id;
    uint32_t product_code;
    /* The serial number (0 when the EDID gives none), and the serial and
     * name descriptors' text (NULL when absent). */
    uint32_t serial_number;
    const char* serial_string;
    const char* name;
    /* Week (1-54) and year of manufacture, or a model year; 0 where the
     * EDID gives none. */
    uint32_t week;
    uint32_t year;
    uint32_t model_year;
    /* The EDID's version ("1.4"), non-zero for a digital input, and the
     * extension count the EDID states. */
    const char* version;
    int32_t digital;
    uint32_t extensions;
    /* The maximum image size in centimetres, and the screen's physical size
     * in millimetres (the preferred timing's image size, else the maximum
     * image size); 0 where unknown. */
    uint32_t max_image_width_cm, max_image_height_cm;
    uint32_t physical_width_mm, physical_height_mm;
    /* The preferred timing, when has_preferred_timing: pixels, interlacing,
     * pixel clock, the exact refresh rate (an interlaced timing counts
     * fields) and in hertz, and its image size in millimetres (0 when not
     * given). */
    int32_t has_preferred_timing;
    uint32_t timing_width, timing_height;
    int32_t timing_interlaced;
    uint32_t timing_pixel_clock_khz;
    uint64_t timing_refresh_numerator, timing_refresh_denominator;
    double timing_hertz;
    uint32_t timing_image_width_mm, timing_image_height_mm;
    /* Non-zero when a CTA-861 extension carries an HDMI vendor block. */
    int32_t hdmi;
    /* The HDR static metadata, when has_hdr: its transfer functions, and its
     * luminances in cd/m2 (negative when the block does not give one). */
    int32_t has_hdr;
    int32_t hdr_traditional_sdr, hdr_traditional_hdr, hdr_pq, hdr_hlg;
    double hdr_max_luminance, hdr_max_frame_average_luminance, hdr_min_luminance;
    /* Non-zero when every block's checksum is right. */
    int32_t checksum_valid;
} vpi_edid;

/* A monitor connected to a port, in use or not (vpi_port.connected_monitor).
 * Later versions may add fields at the end. */
typedef struct vpi_monitor {
    /* sizeof(vpi_monitor) of the library that filled it in. */
    uint32_t size;
    /* Non-zero when the monitor is in use (the port's monitor_attached). */
    int32_t in_use;
    /* Its friendly name (may be "") and device path; never NULL. */
    const char* name;
    const char* device_path;
    /* The EDID ids as the platform gives them: NULL (and 0) when it does not
     * flag them as valid. */
    const char* manufacturer_id;
    uint32_t product_code;
    /* Its preferred mode: refresh rate rounded to whole hertz, bits_per_pixel
     * 0; all zeros when unknown. */
    vpi_mode preferred_mode;
    /* Its EDID as the platform keeps it: edid_size bytes at edid (NULL and 0
     * when it keeps none), and what they say (NULL when they are no EDID). */
    uint32_t edid_size;
    const uint8_t* edid;
    const vpi_edid* edid_info;
} vpi_monitor;

/* One video port. All text is UTF-8 and NUL-terminated.
 *
 * Later versions may add fields at the end of this structure, never
 * elsewhere: reach ports through vpi_port_at(), never by indexing an array of
 * vpi_port of your own. */
typedef struct vpi_port {
    /* sizeof(vpi_port) of the library that filled it in (VPI_HAS_FIELD). */
    uint32_t size;
    /* The port's index, as vpi_port_at() takes it. */
    uint32_t index;
    /* One of VPI_CONNECTOR_*, and its English name ("HDMI", "DisplayPort",
     * "Other", ...). */
    int32_t connector;
    const char* connector_name;
    /* Non-zero when a monitor is attached (the port's path is active). */
    int32_t monitor_attached;
    /* The name of the display device that drives the port, such as
     * "\\.\DISPLAY1"; never NULL, "" when the platform did not tell it. For
     * a port without a monitor, the source that could drive it. */
    const char* display_id;
    /* The attached monitor's friendly name (may be "") and device path;
     * both NULL when no monitor is attached. The monitor's display id is the
     * port's. */
    const char* monitor_name;
    const char* monitor_device_path;
    /* The monitor's preferred mode: refresh rate rounded to whole hertz,
     * bits_per_pixel 0 (the platform does not tell it); all zeros when
     * unknown or without a monitor. */
    vpi_mode preferred_mode;
    /* The distinct modes the port can be set to, in the order the platform
     * first reported each; modes is NULL when mode_count is 0. */
    uint32_t mode_count;
    const vpi_mode* modes;

    /* The display target as the platform numbers it on this boot: the
     * adapter's identifier (a LUID, new at every boot) and the target id. */
    uint32_t adapter_id_low;
    int32_t adapter_id_high;
    uint32_t target_id;
    /* A text that names the port's connector across snapshots and restarts:
     * the adapter's device path, "#" and the target id in decimal; when the
     * platform does not tell the path, "luid:HHHHHHHH:LLLLLLLL#" and the
     * target id, which holds until the next restart only. Never NULL, and
     * unique within a snapshot: should two adapters report the same path,
     * the second port of a key gets "~2" after it, the third "~3", in the
     * platform's order. */
    const char* key;
    /* The platform's own output technology (DISPLAYCONFIG_VIDEO_OUTPUT_
     * TECHNOLOGY, which `connector` maps: -1 other, 0x80000000 internal), and
     * non-zero for a connector built into the machine (embedded DisplayPort
     * or UDI, LVDS, internal). */
    int32_t output_technology;
    int32_t embedded;
    /* Which connector of its kind on the adapter; -1 when unknown (the
     * platform tells it with the monitor's names: a port with a monitor). */
    int64_t connector_instance;
    /* Where and how the port's source is shown; NULL for a port not in use. */
    const vpi_display_state* current;
    /* The attached monitor's EDID ids: the three-letter manufacturer id
     * ("DEL") and the product code; monitor_manufacturer_id is NULL (and the
     * code 0) without a monitor or when the platform does not flag them as
     * valid. */
    const char* monitor_manufacturer_id;
    uint32_t monitor_product_code;
    /* Since 0.4.0. */
    /* Non-zero when a monitor is connected, in use or not (the target is
     * available): a monitor switched off in the desktop's settings is
     * connected but not attached. */
    int32_t monitor_connected;
    /* The connected monitor, in use or not, with its EDID; NULL without one.
     * For a monitor in use it repeats the monitor_* fields above. */
    const vpi_monitor* connected_monitor;
} vpi_port;

/* Reads the current display configuration into a new snapshot. On success
 * returns VPI_OK and stores the snapshot in *out; otherwise returns a
 * VPI_E_* code, stores NULL in *out (when out is not NULL) and leaves the
 * reason in vpi_last_error(). */
VPI_API int vpi_snapshot_take(vpi_snapshot** out);

/* Frees a snapshot and everything reached from it. NULL is fine. */
VPI_API void vpi_snapshot_free(vpi_snapshot* snapshot);

/* The number of ports; 0 for NULL. */
VPI_API uint32_t vpi_port_count(const vpi_snapshot* snapshot);

/* Port `index`, or NULL when the index is not below the count (or snapshot is
 * NULL), which vpi_last_error() then says. The port lives as long as the
 * snapshot. */
VPI_API const vpi_port* vpi_port_at(const vpi_snapshot* snapshot, uint32_t index);

/* The port that shows desktop point (x, y), as hosts place a window there: the
 * first port in use whose display holds the point (right and bottom edges
 * are outside), else the one nearest to it; *inside (when inside is not NULL)
 * says which. NULL when no port is in use (or snapshot is NULL). Since
 * 0.4.0. */
VPI_API const vpi_port* vpi_port_at_point(const vpi_snapshot* snapshot, int32_t x, int32_t y,
                                          int32_t* inside);

/* Why the last failed call on this thread failed, in English; "" when none
 * has failed. A successful vpi_snapshot_take(), vpi_watch_start(),
 * vpi_watch_snapshot() or vpi_set_log_level() clears it. The text stays
 * valid until the next call on this thread. */
VPI_API const char* vpi_last_error(void);

/* The library's version, such as "0.4.0", and as a number:
 * VPI_MAKE_VERSION(major, minor, patch), to compare with VPI_VERSION_NUMBER. */
VPI_API const char* vpi_version(void);
VPI_API uint32_t vpi_version_number(void);

/* The threshold of the library's log lines (standard error): 0 trace,
 * 1 debug, 2 info, 3 warning (the default, or the environment variable
 * TKL_LOG_PRIORITY), 4 error, 5 fatal; videoports' --log-level sets the
 * same. Returns VPI_OK, or VPI_E_INVALID_ARGUMENT for another level. */
VPI_API int vpi_set_log_level(int level);

/* ---- Watching for changes ----------------------------------------------
 *
 * A watch follows the display configuration on a thread of the library's
 * own and calls the host after each change with the ports before and after
 * it and what changed:
 *
 *     static void changed(const vpi_watch_event* event, void* user) {
 *         for (uint32_t i = 0; i < event->change_count; ++i) {
 *             const vpi_change* change = vpi_change_at(event, i);
 *             printf("%s %s\n", change->event, change->key);
 *         }
 *     }
 *     vpi_watch* watch = NULL;
 *     if (vpi_watch_start(changed, NULL, 0, &watch) == VPI_OK) {
 *         ...
 *         vpi_watch_stop(watch);
 *     }
 *
 * It wakes when the platform announces a change (on Windows WM_DISPLAYCHANGE
 * and the arrival or removal of a monitor) and every polling interval, since
 * not every change is announced; on the stand-in platform (Linux) a changed
 * recording is a change. A configuration that cannot be read is an event of
 * its own (VPI_EVENT_READ_FAILED, once for a run of failed readings, with
 * the reason), and so is the first good reading after it
 * (VPI_EVENT_READ_RECOVERED); then the good list is compared with the last
 * good one. The library's log lines that a reading of a watch repeats from
 * the reading before are left out.
 *
 * Threads: every call of a watch's callback comes from that watch's thread,
 * one at a time. vpi_watch_stop() may be called from any thread: from another
 * thread it returns once no callback of the watch runs any more and none
 * will; from inside the watch's own callback it returns at once, and no
 * further callback comes (the watch ends when the callback returns). The
 * callback may call any vpi function, vpi_snapshot_take() included.
 *
 * Processes: a watch belongs to the process that started it. A child of
 * fork() has no thread of it; vpi_watch_stop() on an inherited watch in the
 * child releases the child's copies of its descriptors and nothing else (the
 * parent's watch goes on), and the child may start watches of its own. Once
 * the process begins to exit (exit(), the end of main), every watch stops
 * reading and calls back no more; a watch not stopped never reaches the
 * library's objects as they are destroyed. */

typedef struct vpi_watch vpi_watch;

/* What a watch event tells (vpi_watch_event.type). */
enum {
    VPI_EVENT_CHANGES = 0,       /* the configuration changed: change_count >= 1 */
    VPI_EVENT_READ_FAILED = 1,   /* it could not be read: `reason` says why */
    VPI_EVENT_READ_RECOVERED = 2 /* it could be read again */
};

/* What changed (vpi_change.kind); the names of vpi_change.event are those of
 * videoports --watch --json. */
enum {
    VPI_CHANGE_PORT_ADDED = 0,       /* "portAdded" */
    VPI_CHANGE_PORT_REMOVED = 1,     /* "portRemoved" */
    VPI_CHANGE_CONNECTOR = 2,        /* "connectorChanged" */
    VPI_CHANGE_MONITOR_ATTACHED = 3, /* "monitorAttached": with its monitor and current state */
    VPI_CHANGE_MONITOR_DETACHED = 4, /* "monitorDetached" */
    VPI_CHANGE_NAME = 5,             /* "nameChanged": the monitor's name */
    VPI_CHANGE_PREFERRED_MODE = 6,   /* "preferredModeChanged" */
    VPI_CHANGE_DISPLAY_ID = 7,       /* "displayIdChanged" */
    VPI_CHANGE_MODES = 8,            /* "modesChanged": the mode list */
    VPI_CHANGE_CURRENT_MODE = 9,     /* "currentModeChanged": size, rate, interlacing, scaling */
    VPI_CHANGE_POSITION = 10,        /* "positionChanged" */
    VPI_CHANGE_ROTATION = 11,        /* "rotationChanged" */
    VPI_CHANGE_PRIMARY = 12,         /* "primaryChanged" */
    /* Since 0.4.0; a host that meets a kind it does not know may take it as a
     * change of the port, told by `event`. */
    VPI_CHANGE_MONITOR_CONNECTED = 13,    /* "monitorConnected": one not in use */
    VPI_CHANGE_MONITOR_DISCONNECTED = 14, /* "monitorDisconnected": one not in use */
    VPI_CHANGE_MONITOR_CHANGED = 15,      /* "monitorChanged": other EDID ids or serial */
    VPI_CHANGE_WORK_AREA = 16,            /* "workAreaChanged" */
    VPI_CHANGE_SCALE = 17,                /* "scaleChanged": the DPI */
    VPI_CHANGE_ADVANCED_COLOR = 18        /* "advancedColorChanged": HDR */
};

/* vpi_change.before_index or after_index of a port that is not there. */
#define VPI_NO_PORT 0xFFFFFFFFu

/* One change of one port (vpi_change_at()). Later versions may add fields
 * at the end. */
typedef struct vpi_change {
    /* sizeof(vpi_change) of the library that filled it in. */
    uint32_t size;
    int32_t kind;      /* one of VPI_CHANGE_* */
    const char* event; /* its name: "portAdded", "monitorDetached", ... */
    const char* key;   /* the port's key (vpi_port.key) */
    /* The port's index in the event's `before` snapshot (VPI_NO_PORT for an
     * added port) and in `after` (VPI_NO_PORT for a removed one). */
    uint32_t before_index;
    uint32_t after_index;
    /* For VPI_CHANGE_MODES: how many modes came and how many went. */
    uint32_t modes_added;
    uint32_t modes_removed;
} vpi_change;

/* What a callback receives. Everything it points to is valid until the
 * callback returns; take a snapshot of your own to keep the ports. Later
 * versions may add fields at the end. */
typedef struct vpi_watch_event {
    /* sizeof(vpi_watch_event) of the library that filled it in. */
    uint32_t size;
    /* One of VPI_EVENT_*. */
    int32_t type;
    /* For VPI_EVENT_CHANGES, the two lists compared: the ports as the watch
     * last saw them and the ports now; the changes' indexes reach into
     * them. For the read events both are the last good list, the one later
     * changes are told against. Never NULL. */
    const vpi_snapshot* before;
    const vpi_snapshot* after;
    /* The number of changes (0 for the read events); reach them through
     * vpi_change_at(), removed ports first, then the rest in the new order. */
    uint32_t change_count;
    /* For VPI_EVENT_READ_FAILED, why, as vpi_last_error() says it after a
     * failed vpi_snapshot_take(); NULL for the other events. */
    const char* reason;
} vpi_watch_event;

typedef void (*vpi_watch_callback)(const vpi_watch_event* event, void* user);

/* Change `index` of the event a callback received (not of a copy of it), or
 * NULL when the index is not below change_count (or event is NULL), which
 * vpi_last_error() then says. */
VPI_API const vpi_change* vpi_change_at(const vpi_watch_event* event, uint32_t index);

/* Reads the configuration now (the first list the changes are told
 * against) and starts watching: after each change, `callback` is called with
 * `user`. interval_ms is the polling interval, 10 to 86400000 milliseconds;
 * 0 means the default, 2000. Returns VPI_OK and stores the watch in *out;
 * otherwise a VPI_E_* code (VPI_E_INVALID_ARGUMENT for a NULL callback or
 * out, or an interval out of range), NULL in *out and the reason in
 * vpi_last_error(). */
VPI_API int vpi_watch_start(vpi_watch_callback callback, void* user, uint32_t interval_ms,
                            vpi_watch** out);

/* The ports as the watch knows them now (the first list, or the last good
 * list it read), as a new snapshot that is yours to free, without reading
 * the configuration again: the list that later changes are told against.
 * Returns VPI_OK, or VPI_E_INVALID_ARGUMENT (NULL arguments) or
 * VPI_E_NO_MEMORY with NULL in *out. */
VPI_API int vpi_watch_snapshot(vpi_watch* watch, vpi_snapshot** out);

/* Stops the watch and frees it (see the threading rules above). NULL is
 * fine. One stop per watch. */
VPI_API void vpi_watch_stop(vpi_watch* watch);

#ifdef __cplusplus
}
#endif

#endif /* VPI_VPI_H */
