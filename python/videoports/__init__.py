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

import ctypes
import queue
import threading
from dataclasses import dataclass
from typing import Iterator, List, Optional, Tuple

from . import _native

__all__ = [
    "Change",
    "DisplayState",
    "Mode",
    "Monitor",
    "Port",
    "RefreshRate",
    "VideoPortsError",
    "snapshot",
    "watch",
    "library_version",
]


@dataclass(frozen=True)
class Mode:
    """A display mode: pixels, refresh rate in hertz, bits per pixel."""

    width: int
    height: int
    refresh_rate: int
    bits_per_pixel: int


@dataclass(frozen=True)
class Monitor:
    """The monitor attached to a port. preferred_mode is all zeros when the
    platform did not tell it; its bits_per_pixel is always 0. manufacturer_id
    ("DEL") and product_code are the EDID's, None when the platform does not
    flag them as valid."""

    name: str
    device_path: str
    display_id: str
    preferred_mode: Mode
    manufacturer_id: Optional[str]
    product_code: Optional[int]


@dataclass(frozen=True)
class RefreshRate:
    """A refresh rate as the exact fraction the platform gives."""

    numerator: int
    denominator: int


@dataclass(frozen=True)
class DisplayState:
    """Where and how the source of a port in use is shown: its size in
    desktop pixels, its top-left corner (the primary display's is 0, 0; others
    may be negative), the refresh rate (None when the platform gave none; hz
    rounded to two decimals), interlacing, clockwise rotation in degrees,
    scaling ("identity", "centered", "stretched", "aspectRatioCenteredMax",
    "custom", "preferred", "unknown") and whether it is the primary display."""

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
    not in use."""

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


@dataclass(frozen=True)
class Change:
    """One change of one port. event names it as videoports --watch --json
    does ("portAdded", "portRemoved", "monitorAttached", "positionChanged",
    ...); key is the port's key; before is the port as it was (None for an
    added port), after as it is (None for a removed one); for "modesChanged",
    how many modes came and went."""

    event: str
    key: str
    before: Optional[Port]
    after: Optional[Port]
    modes_added: int
    modes_removed: int


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
    )


def _port(native) -> Port:
    display_id = _text(native.display_id)
    monitor = None
    if native.monitor_name is not None:
        has_ids = native.monitor_manufacturer_id is not None
        monitor = Monitor(
            _text(native.monitor_name),
            _text(native.monitor_device_path),
            display_id,
            _mode(native.preferred_mode),
            _text(native.monitor_manufacturer_id) if has_ids else None,
            native.monitor_product_code if has_ids else None,
        )
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
    )


def _ports(vpi, handle) -> List[Port]:
    return [_port(vpi.vpi_port_at(handle, i).contents) for i in range(vpi.vpi_port_count(handle))]


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


def watch(interval: float = 2.0) -> Iterator[Change]:
    """A generator of the changes of the display configuration from now on:

        for change in videoports.watch():
            print(change.event, change.key)

    The configuration is read at the call; each change is told against the
    one before. The generator stops the library's watch when it is closed
    (close(), leaving the loop with break, garbage collection) or when a
    KeyboardInterrupt ends a wait. interval is how often, in seconds (0.01
    to 86400), the library looks when the platform does not announce a
    change; a configuration that cannot be read is skipped. Raises
    VideoPortsError when the first read fails, ValueError for an interval
    out of range."""
    milliseconds = round(interval * 1000)
    if not 10 <= milliseconds <= 86400000:
        raise ValueError(f"interval {interval} is not between 0.01 and 86400 seconds")
    return _watch(milliseconds)[1]


def _watch(milliseconds):
    """Starts a watch: the ports it starts from, and the generator of its
    changes."""
    changes = _follow(_vpi(), milliseconds)
    first = next(changes)  # starts the watch: the generator runs to its first yield
    return first, changes


def _follow(vpi, milliseconds):
    changes: "queue.SimpleQueue[Change]" = queue.SimpleQueue()

    def on_event(event, _user):
        # On the library's thread: copy out everything, the event dies on return.
        event = event.contents
        before, after = _ports(vpi, event.before), _ports(vpi, event.after)
        for i in range(event.change_count):
            change = event.changes[i]
            changes.put(
                Change(
                    _text(change.event),
                    _text(change.key),
                    before[change.before_index] if change.before_index != _native.NO_PORT else None,
                    after[change.after_index] if change.after_index != _native.NO_PORT else None,
                    change.modes_added,
                    change.modes_removed,
                )
            )

    callback = _native.WATCH_CALLBACK(on_event)  # kept alive until the watch stops
    handle = ctypes.c_void_p()
    code = vpi.vpi_watch_start(callback, None, milliseconds, ctypes.byref(handle))
    if code != _native.VPI_OK:
        raise VideoPortsError(code, _text(vpi.vpi_last_error()))
    try:
        # The watch runs: first the ports it starts from.
        known = ctypes.c_void_p()
        code = vpi.vpi_watch_snapshot(handle, ctypes.byref(known))
        if code != _native.VPI_OK:
            raise VideoPortsError(code, _text(vpi.vpi_last_error()))
        try:
            first = _ports(vpi, known)
        finally:
            vpi.vpi_snapshot_free(known)
        yield first
        while True:
            try:
                # In short steps, so that a KeyboardInterrupt ends the wait on
                # every platform.
                yield changes.get(timeout=0.25)
            except queue.Empty:
                continue
    finally:
        vpi.vpi_watch_stop(handle)


def library_version() -> str:
    """The version of the vpi library in use, such as "0.3.0"."""
    return _text(_vpi().vpi_version())
