"""The video ports of this machine: connectors, attached monitors, preferred
modes and the distinct display modes of each port.

    >>> import videoports
    >>> for port in videoports.snapshot():
    ...     print(port.index, port.connector_name, port.monitor)

Built on the vpi C library of dovAzaveVevoZoraVuz7 through ctypes. The
library is loaded on first use from the path in the environment variable
VPI_LIBRARY, else from this package's folder, else from the system's
library path.
"""

import atexit
import ctypes
import math
import os
import queue
import threading
import weakref
from dataclasses import dataclass
from typing import List, Optional, Tuple

from . import _native

__all__ = [
    "Change",
    "DisplayState",
    "Edid",
    "EdidTiming",
    "HdrMetadata",
    "Size",
    "Mode",
    "Monitor",
    "Port",
    "RefreshRate",
    "VideoPortsError",
    "Watch",
    "snapshot",
    "watch",
    "library_version",
    "set_log_level",
    "port_at_point",
    "Rect",
    "AdvancedColor",
]


@dataclass(frozen=True)
class Mode:
    """A display mode: pixels, refresh rate in hertz, bits per pixel."""

    width: int
    height: int
    refresh_rate: int
    bits_per_pixel: int


@dataclass(frozen=True)
class Size:
    """A width and height; the unit is in the name of the field holding it."""

    width: int
    height: int


@dataclass(frozen=True)
class EdidTiming:
    """An EDID's preferred timing: pixels (height counts both fields of an
    interlaced timing), the pixel clock, the exact refresh rate (an
    interlaced timing counts fields) and in hertz, and its image size in mm
    (None when not given)."""

    width: int
    height: int
    interlaced: bool
    pixel_clock_khz: int
    refresh_rate: "RefreshRate"
    hertz: float
    image_size_mm: Optional[Size]


@dataclass(frozen=True)
class HdrMetadata:
    """An EDID's HDR static metadata: its transfer functions, and its
    luminances in cd/m2 (None where the block gives none)."""

    traditional_sdr: bool
    traditional_hdr: bool
    pq: bool
    hlg: bool
    desired_content_max_luminance: Optional[float]
    desired_content_max_frame_average_luminance: Optional[float]
    desired_content_min_luminance: Optional[float]


@dataclass(frozen=True)
class Edid:
    """What a monitor's EDID says, as videoports --edid prints it (the same
    fields, in snake case); None where the EDID gives nothing."""

    manufacturer_id: str
    product_code: int
    serial_number: Optional[int]
    serial_string: Optional[str]
    name: Optional[str]
    week: Optional[int]
    year: Optional[int]
    model_year: Optional[int]
    version: str
    digital: bool
    extensions: int
    max_image_size_cm: Optional[Size]
    preferred_timing: Optional[EdidTiming]
    hdmi: bool
    hdr: Optional[HdrMetadata]
    checksum_valid: bool
    physical_size_mm: Optional[Size]


@dataclass(frozen=True)
class Monitor:
    """A monitor connected to a port. preferred_mode is all zeros when the
    platform did not tell it; its bits_per_pixel is always 0. manufacturer_id
    ("DEL") and product_code are the EDID ids as the platform gives them,
    None when it does not flag them as valid. edid is the EDID as the
    platform keeps it (None when it keeps none), edid_info what it says
    (None when the bytes are no EDID). display_id is the port's for a
    monitor in use, "" for one switched off."""

    name: str
    device_path: str
    display_id: str
    preferred_mode: Mode
    manufacturer_id: Optional[str]
    product_code: Optional[int]
    edid: Optional[bytes] = None
    edid_info: Optional[Edid] = None


@dataclass(frozen=True)
class RefreshRate:
    """A refresh rate as the exact fraction the platform gives."""

    numerator: int
    denominator: int


@dataclass(frozen=True)
class Rect:
    """A rectangle of the desktop: its top-left corner and its size."""

    x: int
    y: int
    width: int
    height: int


@dataclass(frozen=True)
class AdvancedColor:
    """A display's advanced-colour (HDR) state: supported, enabled, wide
    colour forced on, the colour encoding ("rgb", "ycbcr444", ...), bits per
    colour channel and the SDR white level in nits (None when unknown)."""

    supported: bool
    enabled: bool
    wide_color_enforced: bool
    color_encoding: str
    bits_per_color_channel: int
    sdr_white_level_nits: Optional[float]


@dataclass(frozen=True)
class DisplayState:
    """Where and how the source of a port in use is shown: its size in
    desktop pixels, its top-left corner (the primary display's is 0, 0; others
    may be negative), the refresh rate (None when the platform gave none; hz
    rounded to two decimals), interlacing, clockwise rotation in degrees,
    scaling ("identity", "centered", "stretched", "aspectRatioCenteredMax",
    "custom", "preferred", "unknown") and whether it is the platform's primary
    display.

    Where windows go and how large content is drawn, when the desktop knows
    the display (else None): the work area (without taskbar and docked bars),
    the DPI (96 is 100%), where it comes from ("effective", the display's
    own, or "system"), and the scale (dpi / 96); in the coordinates of the
    process's DPI awareness (a Python process that is not per-monitor aware
    may see them scaled). hdr is "on", "off", "unsupported" or "unknown";
    advanced_color the state in full, None when unknown."""

    width: int
    height: int
    x: int
    y: int
    refresh_rate: Optional[RefreshRate]
    refresh_hz: Optional[float]
    interlaced: bool
    rotation: int
    scaling: str
    primary: bool
    work_area: Optional[Rect] = None
    dpi: Optional[int] = None
    dpi_source: Optional[str] = None
    scale: Optional[float] = None
    hdr: str = "unknown"
    advanced_color: Optional[AdvancedColor] = None


@dataclass(frozen=True)
class Port:
    """One video port. connector is the ConnectorType number (0 VGA ... 13
    Other); monitor is None when no monitor is attached; modes are the
    distinct modes in the order the platform first reported them.

    adapter_id (the adapter's LUID as one 64-bit number, new at every boot)
    and target_id number the display target; key names the connector across
    snapshots and restarts. output_technology is the platform's own connector
    value; embedded is true for a connector built into the machine;
    connector_instance is None without a monitor. current is None for a port
    not in use. monitor_connected is true when a monitor is connected, in use
    or not; inactive_monitor is the one connected but not in use (switched
    off in the desktop's settings), None otherwise."""

    index: int
    connector: int
    connector_name: str
    monitor_attached: bool
    display_id: str
    monitor: Optional[Monitor]
    modes: Tuple[Mode, ...]
    adapter_id: int
    target_id: int
    key: str
    output_technology: int
    embedded: bool
    connector_instance: Optional[int]
    current: Optional[DisplayState]
    monitor_connected: bool = False
    inactive_monitor: Optional[Monitor] = None


@dataclass(frozen=True)
class Change:
    """One change of one port. event names it as videoports --watch --json
    does ("portAdded", "portRemoved", "monitorAttached", "positionChanged",
    ...); key is the port's key; before is the port as it was (None for an
    added port), after as it is (None for a removed one); for "modesChanged",
    how many modes came and went.

    Two events are about the reading itself, with key "" and no ports:
    "readFailed" (the configuration could not be read; reason says why, as
    VideoPortsError would) and "readRecovered" (it can be read again)."""

    event: str
    key: str
    before: Optional[Port]
    after: Optional[Port]
    modes_added: int
    modes_removed: int
    reason: Optional[str] = None


class VideoPortsError(Exception):
    """A snapshot could not be taken; code is the library's VPI_E_* number."""

    def __init__(self, code: int, message: str):
        super().__init__(f"{message} (vpi error {code})")
        self.code = code
        self.message = message


_library = None
_library_lock = threading.Lock()


def _vpi():
    global _library
    with _library_lock:
        if _library is None:
            _library = _native.load()
        return _library


def _text(value: bytes) -> str:
    return value.decode("utf-8")


def _mode(mode) -> Mode:
    return Mode(mode.width, mode.height, mode.refresh_rate, mode.bits_per_pixel)


def _display_state(native) -> DisplayState:
    known = native.refresh_denominator != 0
    desktop = bool(native.has_desktop)
    color = None
    if native.has_advanced_color:
        color = AdvancedColor(
            bool(native.advanced_color_supported),
            bool(native.advanced_color_enabled),
            bool(native.wide_color_enforced),
            _text(native.color_encoding_name),
            native.bits_per_color_channel,
            native.sdr_white_level_nits if native.sdr_white_level_nits >= 0 else None,
        )
    return DisplayState(
        native.width,
        native.height,
        native.x,
        native.y,
        RefreshRate(native.refresh_numerator, native.refresh_denominator) if known else None,
        native.refresh_hz if known else None,
        bool(native.interlaced),
        native.rotation,
        _text(native.scaling_name),
        bool(native.primary),
        Rect(native.work_area_x, native.work_area_y, native.work_area_width,
             native.work_area_height) if desktop else None,
        native.dpi if desktop else None,
        _text(native.dpi_source) if desktop else None,
        native.scale if desktop else None,
        _text(native.hdr),
        color,
    )


def _size(width, height):
    return Size(width, height) if width and height else None


def _edid(native) -> Edid:
    timing = None
    if native.has_preferred_timing:
        timing = EdidTiming(
            native.timing_width,
            native.timing_height,
            bool(native.timing_interlaced),
            native.timing_pixel_clock_khz,
            RefreshRate(native.timing_refresh_numerator, native.timing_refresh_denominator),
            native.timing_hertz,
            _size(native.timing_image_width_mm, native.timing_image_height_mm),
        )
    hdr = None
    if native.has_hdr:
        luminance = [None if value < 0 else value for value in (
            native.hdr_max_luminance, native.hdr_max_frame_average_luminance,
            native.hdr_min_luminance)]
        hdr = HdrMetadata(bool(native.hdr_traditional_sdr), bool(native.hdr_traditional_hdr),
                          bool(native.hdr_pq), bool(native.hdr_hlg), *luminance)
    text = lambda value: _text(value) if value is not None else None  # noqa: E731
    return Edid(
        _text(native.manufacturer_id),
        native.product_code,
        native.serial_number or None,
        text(native.serial_string),
        text(native.name),
        native.week or None,
        native.year or None,
        native.model_year or None,
        _text(native.version),
        bool(native.digital),
        native.extensions,
        _size(native.max_image_width_cm, native.max_image_height_cm),
        timing,
        bool(native.hdmi),
        hdr,
        bool(native.checksum_valid),
        _size(native.physical_width_mm, native.physical_height_mm),
    )


def _monitor(native, display_id) -> Monitor:
    has_ids = native.manufacturer_id is not None
    return Monitor(
        _text(native.name),
        _text(native.device_path),
        display_id,
        _mode(native.preferred_mode),
        _text(native.manufacturer_id) if has_ids else None,
        native.product_code if has_ids else None,
        ctypes.string_at(native.edid, native.edid_size) if native.edid_size else None,
        _edid(native.edid_info.contents) if native.edid_info else None,
    )


def _port(native) -> Port:
    display_id = _text(native.display_id)
    monitor = inactive = None
    if native.connected_monitor:
        connected = native.connected_monitor.contents
        if connected.in_use:
            monitor = _monitor(connected, display_id)
        else:
            inactive = _monitor(connected, "")
    modes = tuple(_mode(native.modes[k]) for k in range(native.mode_count))
    return Port(
        native.index,
        native.connector,
        _text(native.connector_name),
        bool(native.monitor_attached),
        display_id,
        monitor,
        modes,
        (native.adapter_id_high & 0xFFFFFFFF) << 32 | native.adapter_id_low,
        native.target_id,
        _text(native.key),
        native.output_technology,
        bool(native.embedded),
        native.connector_instance if native.connector_instance >= 0 else None,
        _display_state(native.current.contents) if native.current else None,
        bool(native.monitor_connected),
        inactive,
    )


def _ports(vpi, handle) -> List[Port]:
    return [_port(vpi.vpi_port_at(handle, i).contents) for i in range(vpi.vpi_port_count(handle))]


def port_at_point(x: int, y: int) -> Optional[Tuple[Port, bool]]:
    """The port that shows desktop point (x, y) now, as hosts place a window
    there, and True; else the port nearest to it, and False. None when no
    port is in use. Reads the configuration, as snapshot() does."""
    vpi = _vpi()
    handle = ctypes.c_void_p()
    code = vpi.vpi_snapshot_take(ctypes.byref(handle))
    if code != _native.VPI_OK:
        raise VideoPortsError(code, _text(vpi.vpi_last_error()))
    try:
        inside = ctypes.c_int32()
        port = vpi.vpi_port_at_point(handle, x, y, ctypes.byref(inside))
        return (_port(port.contents), bool(inside.value)) if port else None
    finally:
        vpi.vpi_snapshot_free(handle)


def snapshot() -> List[Port]:
    """Reads the display configuration now and returns its ports, in order.
    Raises VideoPortsError when it cannot be read."""
    vpi = _vpi()
    handle = ctypes.c_void_p()
    code = vpi.vpi_snapshot_take(ctypes.byref(handle))
    if code != _native.VPI_OK:
        raise VideoPortsError(code, _text(vpi.vpi_last_error()))
    try:
        return _ports(vpi, handle)
    finally:
        vpi.vpi_snapshot_free(handle)


_READ_EVENTS = {_native.EVENT_READ_FAILED: "readFailed", _native.EVENT_READ_RECOVERED: "readRecovered"}
_CLOSED = object()  # what a closed watch leaves in its queue


def _changes_of(vpi, event) -> List[Change]:
    """The changes of a native event, copied out (the event dies when the
    callback returns)."""
    if event.type in _READ_EVENTS:
        reason = _text(event.reason) if event.reason is not None else None
        return [Change(_READ_EVENTS[event.type], "", None, None, 0, 0, reason)]
    before, after = _ports(vpi, event.before), _ports(vpi, event.after)
    changes = []
    for i in range(event.change_count):
        change = vpi.vpi_change_at(ctypes.byref(event), i).contents
        changes.append(
            Change(
                _text(change.event),
                _text(change.key),
                before[change.before_index] if change.before_index != _native.NO_PORT else None,
                after[change.after_index] if change.after_index != _native.NO_PORT else None,
                change.modes_added,
                change.modes_removed,
            )
        )
    return changes


def _callback(vpi, changes):
    """The native callback of a watch: it holds the queue, not the watch, so
    that an abandoned watch is collected (and so stopped)."""

    def on_event(event, _user):
        for change in _changes_of(vpi, event.contents):
            changes.put(change)

    return _native.WATCH_CALLBACK(on_event)


_open_watches = weakref.WeakSet()


class Watch:
    """The changes of the display configuration, as an iterator (see watch()).
    ports is the list the first changes are told against."""

    def __init__(self, milliseconds: int):
        self._vpi = _vpi()
        self._lock = threading.Lock()
        self._handle = None
        self._process = os.getpid()
        self._changes: "queue.SimpleQueue" = queue.SimpleQueue()
        self._callback = _callback(self._vpi, self._changes)  # alive until the watch stops
        handle = ctypes.c_void_p()
        code = self._vpi.vpi_watch_start(self._callback, None, milliseconds, ctypes.byref(handle))
        if code != _native.VPI_OK:
            raise VideoPortsError(code, _text(self._vpi.vpi_last_error()))
        self._handle = handle
        _open_watches.add(self)
        known = ctypes.c_void_p()
        code = self._vpi.vpi_watch_snapshot(handle, ctypes.byref(known))
        if code != _native.VPI_OK:
            self.close()
            raise VideoPortsError(code, _text(self._vpi.vpi_last_error()))
        try:
            self.ports: List[Port] = _ports(self._vpi, known)
        finally:
            self._vpi.vpi_snapshot_free(known)

    def known(self) -> List[Port]:
        """The list later changes are told against now: the first one, or
        the last good list the watch read (the same ports in another order
        are no change, but they are the list now)."""
        with self._lock:
            handle = self._handle
            if handle is None:
                raise ValueError("the watch is closed")
            known = ctypes.c_void_p()
            code = self._vpi.vpi_watch_snapshot(handle, ctypes.byref(known))
        if code != _native.VPI_OK:
            raise VideoPortsError(code, _text(self._vpi.vpi_last_error()))
        try:
            return _ports(self._vpi, known)
        finally:
            self._vpi.vpi_snapshot_free(known)

    def __iter__(self) -> "Watch":
        return self

    def __next__(self) -> Change:
        if self._process != os.getpid():
            raise RuntimeError("this watch belongs to the parent process; "
                               "call videoports.watch() in this one")
        while True:
            if self._handle is None:  # closed: what was not taken yet is dropped
                raise StopIteration
            try:
                # In short steps, so that a KeyboardInterrupt ends the wait on
                # every platform.
                change = self._changes.get(timeout=0.25)
            except queue.Empty:
                continue
            if change is _CLOSED:
                self._changes.put(_CLOSED)  # for every other waiting thread
                raise StopIteration
            return change

    def close(self) -> None:
        """Stops the watch; from any thread, any number of times. A loop
        waiting for the next change ends."""
        with self._lock:
            handle, self._handle = self._handle, None
        if handle is None:
            return
        # From another thread than the library's, vpi_watch_stop returns
        # once no callback runs any more (ctypes lets go of the interpreter
        # meanwhile); in a child of fork() it only lets go of the copy.
        self._vpi.vpi_watch_stop(handle)
        self._changes.put(_CLOSED)

    def __enter__(self) -> "Watch":
        return self

    def __exit__(self, *exception) -> None:
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None) is not None:
            self.close()


def _close_open_watches():
    # Before the interpreter finalizes: a callback that comes then would find
    # no interpreter to run in.
    for open_watch in list(_open_watches):
        open_watch.close()


atexit.register(_close_open_watches)


def watch(interval: float = 2.0) -> Watch:
    """The changes of the display configuration from now on, as an iterator
    (a Watch):

        for change in videoports.watch():
            print(change.event, change.key)

    The configuration is read at the call (watch().ports); each change is
    told against the one before. The watch stops when it is closed (close(),
    from any thread; leaving a with block; garbage collection; the end of
    the interpreter) or when a KeyboardInterrupt ends a wait. interval is how
    often, in seconds (0.01 to 86400), the library looks when the platform
    does not announce a change. A configuration that cannot be read is the
    change "readFailed" (with its reason), and the next good reading
    "readRecovered". A watch belongs to the process that started it: a child
    of fork() starts watches of its own. Raises VideoPortsError when the
    first reading fails, ValueError for an interval out of range."""
    if not math.isfinite(interval) or not 10 <= round(interval * 1000) <= 86400000:
        raise ValueError(f"interval {interval} is not between 0.01 and 86400 seconds")
    return Watch(round(interval * 1000))


def set_log_level(level: int) -> None:
    """The threshold of the library's log lines on standard error: 0 trace,
    1 debug, 2 info, 3 warning (the default), 4 error, 5 fatal. Raises
    ValueError for another level."""
    if not isinstance(level, int) or not 0 <= level <= 5:
        raise ValueError(f"log level {level!r} is not 0 to 5")
    _vpi().vpi_set_log_level(level)


def library_version() -> str:
    """The version of the vpi library in use, such as "0.3.0"."""
    return _text(_vpi().vpi_version())
