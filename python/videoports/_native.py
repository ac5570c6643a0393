"""The ctypes binding of the vpi C library (<vpi/vpi.h>)."""

import ctypes
import ctypes.util
import os
import sys

VPI_OK = 0
# The version of vpi this binding is written for: while the major version is
# 0, only a library of the same minor version has these layouts.
VERSION = (0, 4)
EVENT_CHANGES, EVENT_READ_FAILED, EVENT_READ_RECOVERED = 0, 1, 2


class Mode(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("refresh_rate", ctypes.c_uint32),
        ("bits_per_pixel", ctypes.c_uint32),
    ]


class DisplayState(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("x", ctypes.c_int32),
        ("y", ctypes.c_int32),
        ("refresh_numerator", ctypes.c_uint32),
        ("refresh_denominator", ctypes.c_uint32),
        ("refresh_hz", ctypes.c_double),
        ("interlaced", ctypes.c_int32),
        ("rotation", ctypes.c_uint32),
        ("scaling", ctypes.c_uint32),
        ("scaling_name", ctypes.c_char_p),
        ("primary", ctypes.c_int32),
        ("has_desktop", ctypes.c_int32),
        ("work_area_x", ctypes.c_int32),
        ("work_area_y", ctypes.c_int32),
        ("work_area_width", ctypes.c_uint32),
        ("work_area_height", ctypes.c_uint32),
        ("dpi", ctypes.c_uint32),
        ("dpi_source", ctypes.c_char_p),
        ("scale", ctypes.c_double),
        ("hdr", ctypes.c_char_p),
        ("has_advanced_color", ctypes.c_int32),
        ("advanced_color_supported", ctypes.c_int32),
        ("advanced_color_enabled", ctypes.c_int32),
        ("wide_color_enforced", ctypes.c_int32),
        ("color_encoding", ctypes.c_uint32),
        ("bits_per_color_channel", ctypes.c_uint32),
        ("color_encoding_name", ctypes.c_char_p),
        ("sdr_white_level_nits", ctypes.c_double),
    ]


class Edid(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("manufacturer_id", ctypes.c_char_p),
        ("product_code", ctypes.c_uint32),
        ("serial_number", ctypes.c_uint32),
        ("serial_string", ctypes.c_char_p),
        ("name", ctypes.c_char_p),
        ("week", ctypes.c_uint32),
        ("year", ctypes.c_uint32),
        ("model_year", ctypes.c_uint32),
        ("version", ctypes.c_char_p),
        ("digital", ctypes.c_int32),
        ("extensions", ctypes.c_uint32),
        ("max_image_width_cm", ctypes.c_uint32),
        ("max_image_height_cm", ctypes.c_uint32),
        ("physical_width_mm", ctypes.c_uint32),
        ("physical_height_mm", ctypes.c_uint32),
        ("has_preferred_timing", ctypes.c_int32),
        ("timing_width", ctypes.c_uint32),
        ("timing_height", ctypes.c_uint32),
        ("timing_interlaced", ctypes.c_int32),
        ("timing_pixel_clock_khz", ctypes.c_uint32),
        ("timing_refresh_numerator", ctypes.c_uint64),
        ("timing_refresh_denominator", ctypes.c_uint64),
        ("timing_hertz", ctypes.c_double),
        ("timing_image_width_mm", ctypes.c_uint32),
        ("timing_image_height_mm", ctypes.c_uint32),
        ("hdmi", ctypes.c_int32),
        ("has_hdr", ctypes.c_int32),
        ("hdr_traditional_sdr", ctypes.c_int32),
        ("hdr_traditional_hdr", ctypes.c_int32),
        ("hdr_pq", ctypes.c_int32),
        ("hdr_hlg", ctypes.c_int32),
        ("hdr_max_luminance", ctypes.c_double),
        ("hdr_max_frame_average_luminance", ctypes.c_double),
        ("hdr_min_luminance", ctypes.c_double),
        ("checksum_valid", ctypes.c_int32),
    ]


class Monitor(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("in_use", ctypes.c_int32),
        ("name", ctypes.c_char_p),
        ("device_path", ctypes.c_char_p),
        ("manufacturer_id", ctypes.c_char_p),
        ("product_code", ctypes.c_uint32),
        ("preferred_mode", Mode),
        ("edid_size", ctypes.c_uint32),
        ("edid", ctypes.POINTER(ctypes.c_uint8)),
        ("edid_info", ctypes.POINTER(Edid)),
    ]


class Port(ctypes.Structure):
    # The leading fields of vpi_port; later versions may add more at the end,
    # so ports are only ever reached through vpi_port_at().
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("index", ctypes.c_uint32),
        ("connector", ctypes.c_int32),
        ("connector_name", ctypes.c_char_p),
        ("monitor_attached", ctypes.c_int32),
        ("display_id", ctypes.c_char_p),
        ("monitor_name", ctypes.c_char_p),
        ("monitor_device_path", ctypes.c_char_p),
        ("preferred_mode", Mode),
        ("mode_count", ctypes.c_uint32),
        ("modes", ctypes.POINTER(Mode)),
        ("adapter_id_low", ctypes.c_uint32),
        ("adapter_id_high", ctypes.c_int32),
        ("target_id", ctypes.c_uint32),
        ("key", ctypes.c_char_p),
        ("output_technology", ctypes.c_int32),
        ("embedded", ctypes.c_int32),
        ("connector_instance", ctypes.c_int64),
        ("current", ctypes.POINTER(DisplayState)),
        ("monitor_manufacturer_id", ctypes.c_char_p),
        ("monitor_product_code", ctypes.c_uint32),
        ("monitor_connected", ctypes.c_int32),
        ("connected_monitor", ctypes.POINTER(Monitor)),
    ]


class Change(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("kind", ctypes.c_int32),
        ("event", ctypes.c_char_p),
        ("key", ctypes.c_char_p),
        ("before_index", ctypes.c_uint32),
        ("after_index", ctypes.c_uint32),
        ("modes_added", ctypes.c_uint32),
        ("modes_removed", ctypes.c_uint32),
    ]


class WatchEvent(ctypes.Structure):
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("type", ctypes.c_int32),
        ("before", ctypes.c_void_p),
        ("after", ctypes.c_void_p),
        ("change_count", ctypes.c_uint32),
        ("reason", ctypes.c_char_p),
    ]


NO_PORT = 0xFFFFFFFF
WATCH_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.POINTER(WatchEvent), ctypes.c_void_p)

_LIBRARY_NAMES = {
    "win32": ["vpi.dll"],
    "darwin": ["libvpi.dylib", "libvpi.0.dylib"],
}.get(sys.platform, ["libvpi.so.1", "libvpi.so"])


def _open(path):
    if sys.platform == "win32":
        # The DLLs vpi.dll uses lie beside it.
        os.add_dll_directory(os.path.dirname(os.path.abspath(path)))
    return ctypes.CDLL(path)


def _candidates():
    """Where the library is looked for, in order."""
    explicit = os.environ.get("VPI_LIBRARY")
    if explicit:
        yield explicit
        return
    here = os.path.dirname(os.path.abspath(__file__))
    for name in _LIBRARY_NAMES:
        path = os.path.join(here, name)
        if os.path.exists(path):
            yield path
    found = ctypes.util.find_library("vpi")
    if found:
        yield found
    yield from _LIBRARY_NAMES


_FUNCTIONS = {
    # name: (argument types, result type); vpi_snapshot_take first, as the
    # mark of a vpi library at all.
    "vpi_snapshot_take": ([ctypes.POINTER(ctypes.c_void_p)], ctypes.c_int),
    "vpi_snapshot_free": ([ctypes.c_void_p], None),
    "vpi_port_count": ([ctypes.c_void_p], ctypes.c_uint32),
    "vpi_port_at": ([ctypes.c_void_p, ctypes.c_uint32], ctypes.POINTER(Port)),
    "vpi_last_error": ([], ctypes.c_char_p),
    "vpi_version": ([], ctypes.c_char_p),
    "vpi_version_number": ([], ctypes.c_uint32),
    "vpi_set_log_level": ([ctypes.c_int], ctypes.c_int),
    "vpi_watch_start": (
        [WATCH_CALLBACK, ctypes.c_void_p, ctypes.c_uint32, ctypes.POINTER(ctypes.c_void_p)],
        ctypes.c_int,
    ),
    "vpi_watch_snapshot": ([ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)], ctypes.c_int),
    "vpi_watch_stop": ([ctypes.c_void_p], None),
    "vpi_change_at": ([ctypes.POINTER(WatchEvent), ctypes.c_uint32], ctypes.POINTER(Change)),
    "vpi_port_at_point": (
        [ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32, ctypes.POINTER(ctypes.c_int32)],
        ctypes.POINTER(Port),
    ),
}


class _Unsuitable(Exception):
    """A library that loads but is not the vpi this binding needs."""


def _declare(library):
    """Declares vpi's functions; raises _Unsuitable for a library without
    them, or of another version."""
    for name, (arguments, result) in _FUNCTIONS.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            if name == "vpi_snapshot_take":
                raise _Unsuitable(f"not the vpi library: it has no {name}") from None
            raise _Unsuitable(
                f"an older vpi library: it has no {name} "
                f"(this package needs vpi {VERSION[0]}.{VERSION[1]})"
            ) from None
        function.argtypes = arguments
        function.restype = result
    number = library.vpi_version_number()
    if (number // 1000000, number // 1000 % 1000) != VERSION:
        raise _Unsuitable(
            f"vpi {library.vpi_version().decode()}, where this package needs "
            f"vpi {VERSION[0]}.{VERSION[1]}"
        )
    return library


def load():
    """Loads vpi and declares its functions; raises OSError, with a one-line
    message naming every place tried, when no vpi library can be loaded (none
    found, or a file that is no such library)."""
    tried = []
    for candidate in _candidates():
        try:
            return _declare(_open(candidate))
        except OSError as error:
            tried.append(f"{candidate} ({error})")
        except _Unsuitable as error:
            tried.append(f"{candidate} ({error})")
    reasons = " ".join("; ".join(tried).split())  # one line, whatever the loader said
    if os.environ.get("VPI_LIBRARY"):
        raise OSError(f"the vpi library cannot be loaded from VPI_LIBRARY: {reasons}")
    raise OSError(
        "the vpi library was not found: install the videoports wheel that carries it "
        "(scripts/package.sh builds one), or set VPI_LIBRARY to the path of "
        f"{_LIBRARY_NAMES[0]} in a build or an installed package; tried: {reasons}"
    )
