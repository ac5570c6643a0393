"""The ctypes binding of the vpi C library (<vpi/vpi.h>)."""

import ctypes
import ctypes.util
import os
import sys

VPI_OK = 0


class Mode(ctypes.Structure):
    _fields_ = [
        ("width", ctypes.c_uint32),
        ("height", ctypes.c_uint32),
        ("refresh_rate", ctypes.c_uint32),
        ("bits_per_pixel", ctypes.c_uint32),
    ]


class DisplayState(ctypes.Structure):
    _fields_ = [
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
    ]


class Port(ctypes.Structure):
    # The leading fields of vpi_port; later versions may add more at the end,
    # so ports are only ever reached through vpi_port_at().
    _fields_ = [
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
        # Since 0.3.0.
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
    ]


class Change(ctypes.Structure):
    _fields_ = [
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
        ("before", ctypes.c_void_p),
        ("after", ctypes.c_void_p),
        ("change_count", ctypes.c_uint32),
        ("changes", ctypes.POINTER(Change)),
    ]


NO_PORT = 0xFFFFFFFF
WATCH_CALLBACK = ctypes.CFUNCTYPE(None, ctypes.POINTER(WatchEvent), ctypes.c_void_p)

_LIBRARY_NAMES = {
    "win32": ["vpi.dll"],
    "darwin": ["libvpi.dylib", "libvpi.0.dylib"],
}.get(sys.platform, ["libvpi.so.0", "libvpi.so"])


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


def _declare(library):
    """Declares vpi's functions; raises AttributeError for a library without
    them."""
    library.vpi_snapshot_take.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
    library.vpi_snapshot_take.restype = ctypes.c_int
    library.vpi_snapshot_free.argtypes = [ctypes.c_void_p]
    library.vpi_snapshot_free.restype = None
    library.vpi_port_count.argtypes = [ctypes.c_void_p]
    library.vpi_port_count.restype = ctypes.c_uint32
    library.vpi_port_at.argtypes = [ctypes.c_void_p, ctypes.c_uint32]
    library.vpi_port_at.restype = ctypes.POINTER(Port)
    library.vpi_last_error.argtypes = []
    library.vpi_last_error.restype = ctypes.c_char_p
    library.vpi_version.argtypes = []
    library.vpi_version.restype = ctypes.c_char_p
    library.vpi_watch_start.argtypes = [
        WATCH_CALLBACK,
        ctypes.c_void_p,
        ctypes.c_uint32,
        ctypes.POINTER(ctypes.c_void_p),
    ]
    library.vpi_watch_start.restype = ctypes.c_int
    library.vpi_watch_snapshot.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
    library.vpi_watch_snapshot.restype = ctypes.c_int
    library.vpi_watch_stop.argtypes = [ctypes.c_void_p]
    library.vpi_watch_stop.restype = None
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
        except AttributeError:
            tried.append(f"{candidate} (not the vpi library: it has no vpi_snapshot_take)")
    reasons = " ".join("; ".join(tried).split())  # one line, whatever the loader said
    if os.environ.get("VPI_LIBRARY"):
        raise OSError(f"the vpi library cannot be loaded from VPI_LIBRARY: {reasons}")
    raise OSError(
        "the vpi library was not found: install the videoports wheel that carries it "
        "(scripts/package.sh builds one), or set VPI_LIBRARY to the path of "
        f"{_LIBRARY_NAMES[0]} in a build or an installed package; tried: {reasons}"
    )
