"""python3 -m videoports: prints what the videoports program prints, takes and
refuses the same arguments (but --prometheus and --output, the program's alone)
and fails the same way, with one line on standard error."""

import datetime
import errno
import json
import os
import sys
import unicodedata
from dataclasses import dataclass
from typing import Optional

from . import VideoPortsError, _watch, library_version, snapshot

EXIT_PLATFORM_FAILURE = 1
EXIT_USAGE = 2


def _mode_json(mode):
    return {
        "width": mode.width,
        "height": mode.height,
        "refreshRate": mode.refresh_rate,
        "bitsPerPixel": mode.bits_per_pixel,
    }


def _current_json(state):
    if state is None:
        return None
    rate = state.refresh_rate
    return {
        "width": state.width,
        "height": state.height,
        "x": state.x,
        "y": state.y,
        "refreshRate": None
        if rate is None
        else {"numerator": rate.numerator, "denominator": rate.denominator},
        "refreshHz": state.refresh_hz,
        "interlaced": state.interlaced,
        "rotation": state.rotation,
        "scaling": state.scaling,
        "primary": state.primary,
    }


def adapter_text(adapter_id):
    """The adapter id as videoports writes it: "HHHHHHHH:LLLLLLLL"."""
    return f"{adapter_id >> 32:08x}:{adapter_id & 0xFFFFFFFF:08x}"


def _monitor_json(monitor):
    if monitor is None:
        return None
    return {
        "name": monitor.name,
        "devicePath": monitor.device_path,
        "displayId": monitor.display_id,
        "preferredMode": _mode_json(monitor.preferred_mode),
        "manufacturerId": monitor.manufacturer_id,
        "productCode": monitor.product_code,
    }


def port_json(port):
    """One port as videoports --json writes it, fields in its order."""
    return {
        "index": port.index,
        "connector": port.connector_name,
        "connectorType": port.connector,
        "monitorAttached": port.monitor_attached,
        "displayId": port.display_id,
        "monitor": _monitor_json(port.monitor),
        "modes": [_mode_json(mode) for mode in port.modes],
        "adapterId": adapter_text(port.adapter_id),
        "targetId": port.target_id,
        "key": port.key,
        "outputTechnology": port.output_technology,
        "embedded": port.embedded,
        "connectorInstance": port.connector_instance,
        "current": _current_json(port.current),
    }


def _position_text(state):
    return f"{state.x:+d}{state.y:+d}"


def _signal_text(state, place=""):
    """ "1920x1080 @ 59.95 Hz" with ", interlaced" and the scaling when it is
    not the identity; `place` goes after the size."""
    text = f"{state.width}x{state.height}{place}"
    if state.refresh_hz is not None:
        text += f" @ {state.refresh_hz:.2f} Hz"
    if state.interlaced:
        text += ", interlaced"
    if state.scaling != "identity":
        text += f", scaling {state.scaling}"
    return text


def current_text(state):
    """Where and how a port in use is shown, as videoports's table has it:
    "1920x1080+1920+0 @ 59.95 Hz", then ", interlaced", the scaling when it is
    not the identity, ", rotated 90" and ", primary" where they apply."""
    text = _signal_text(state, _position_text(state))
    if state.rotation:
        text += f", rotated {state.rotation}"
    if state.primary:
        text += ", primary"
    return text


def change_json(change, time):
    """One change as videoports --watch --json writes it."""
    port = change.before if change.event == "portRemoved" else change.after
    before, after = change.before, change.after
    line = {
        "time": time,
        "event": change.event,
        "index": port.index,
        "adapterId": adapter_text(port.adapter_id),
        "targetId": port.target_id,
        "key": port.key,
    }
    fields = {
        "portAdded": lambda: {"port": port_json(after)},
        "portRemoved": lambda: {"port": port_json(before)},
        "connectorChanged": lambda: {"before": before.connector_name, "after": after.connector_name},
        "monitorAttached": lambda: {
            "monitor": _monitor_json(after.monitor),
            "current": _current_json(after.current),
        },
        "monitorDetached": lambda: {"monitor": _monitor_json(before.monitor)},
        "nameChanged": lambda: {"before": before.monitor.name, "after": after.monitor.name},
        "preferredModeChanged": lambda: {
            "before": _mode_json(before.monitor.preferred_mode),
            "after": _mode_json(after.monitor.preferred_mode),
        },
        "displayIdChanged": lambda: {"before": before.display_id, "after": after.display_id},
        "modesChanged": lambda: {
            "added": change.modes_added,
            "removed": change.modes_removed,
            "modeCount": len(after.modes),
        },
        "currentModeChanged": lambda: {
            "before": _current_json(before.current),
            "after": _current_json(after.current),
        },
        "positionChanged": lambda: {
            "before": {"x": before.current.x, "y": before.current.y},
            "after": {"x": after.current.x, "y": after.current.y},
        },
        "rotationChanged": lambda: {
            "before": before.current.rotation,
            "after": after.current.rotation,
        },
        "primaryChanged": lambda: {"before": before.current.primary, "after": after.current.primary},
    }
    line.update(fields[change.event]())
    return line


def _mode_count(count):
    return f"{count} mode{'' if count == 1 else 's'}"


def change_text(change):
    """One change as videoports --watch writes it, without the time stamp."""
    port = change.before if change.event == "portRemoved" else change.after
    before, after = change.before, change.after
    head = f"port {port.index} (target {port.target_id} on adapter {adapter_text(port.adapter_id)}): "

    def monitor_named(monitor):
        return f'"{monitor.name}"'

    texts = {
        "portAdded": lambda: "added: "
        + after.connector_name
        + ", "
        + (
            f"monitor {monitor_named(after.monitor)} {_preferred_text(after.monitor.preferred_mode)}"
            if after.monitor is not None
            else "no monitor"
        )
        + f", display {_display_id_cell(after)}, {_mode_count(len(after.modes))}",
        "portRemoved": lambda: f"removed: {before.connector_name}, display {_display_id_cell(before)}",
        "connectorChanged": lambda: f"connector changed: {before.connector_name} -> {after.connector_name}",
        "monitorAttached": lambda: "monitor attached"
        + (
            f": {monitor_named(after.monitor)}, preferred mode "
            + _preferred_text(after.monitor.preferred_mode)
            if after.monitor is not None
            else ""
        ),
        "monitorDetached": lambda: "monitor detached"
        + (f": {monitor_named(before.monitor)}" if before.monitor is not None else ""),
        "nameChanged": lambda: "monitor name changed: "
        + f"{monitor_named(before.monitor)} -> {monitor_named(after.monitor)}",
        "preferredModeChanged": lambda: "preferred mode changed: "
        + f"{_preferred_text(before.monitor.preferred_mode)} -> "
        + _preferred_text(after.monitor.preferred_mode),
        "displayIdChanged": lambda: "display id changed: "
        + f"{before.display_id or '-'} -> {after.display_id or '-'}",
        "modesChanged": lambda: f"modes changed: {change.modes_added} added, "
        + f"{change.modes_removed} removed, {_mode_count(len(after.modes))} now",
        "currentModeChanged": lambda: "current mode changed: "
        + f"{_signal_text(before.current)} -> {_signal_text(after.current)}",
        "positionChanged": lambda: "moved: "
        + f"{_position_text(before.current)} -> {_position_text(after.current)}",
        "rotationChanged": lambda: "rotation changed: "
        + f"{before.current.rotation} -> {after.current.rotation} degrees",
        "primaryChanged": lambda: "became the primary display"
        if after.current.primary
        else "no longer the primary display",
    }
    return head + texts[change.event]()


def local_timestamp(now=None):
    """The local time with milliseconds and the offset from UTC, as
    videoports stamps its lines: "2026-06-01T14:03:07.250+02:00"."""
    now = now or datetime.datetime.now().astimezone()
    return now.isoformat(timespec="milliseconds")


def _mode_text(mode):
    return f"{mode.width}x{mode.height} @ {mode.refresh_rate} Hz"


def _preferred_text(mode):
    """A preferred mode the platform did not tell (all zeros) is unknown."""
    if mode.width == 0 and mode.height == 0 and mode.refresh_rate == 0:
        return "unknown"
    return _mode_text(mode)


def _display_id_cell(port):
    """The display id of a port without a monitor names the source that could
    drive the connector: in parentheses."""
    if not port.display_id:
        return "-"
    return port.display_id if port.monitor_attached else f"({port.display_id})"


def configuration_source():
    """Where the configuration comes from, as videoports --json names it:
    "system" on Windows; elsewhere the stand-in platform's recording named by
    VPI_DISPLAY_CONFIG, or "built-in"."""
    if sys.platform == "win32":
        return "system"
    return os.environ.get("VPI_DISPLAY_CONFIG") or "built-in"


BUILT_IN_NOTE = (
    "videoports: this is the stand-in platform's built-in sample configuration; to replay a "
    "recorded one, set VPI_DISPLAY_CONFIG to its file (vpi-record-display-config -o FILE "
    "records one)"
)


def _display_width(text):
    """The terminal columns text takes, as videoports counts them: two for an
    East Asian wide or fullwidth character, none for a combining mark (Mn, Me)
    or an invisible format character (Cf), one for any other. The properties
    are those of this Python's Unicode data, which may be older or newer than
    the program's: only characters added in between can count otherwise."""
    width = 0
    for character in text:
        if unicodedata.category(character) in ("Mn", "Me", "Cf"):
            continue
        width += 2 if unicodedata.east_asian_width(character) in ("W", "F") else 1
    return width


def _aligned_rows(rows):
    """The rows as lines, each column two blanks wider than its widest cell in
    terminal columns; the last column is not padded."""
    widths = {}
    for row in rows:
        for c, cell in enumerate(row):
            widths[c] = max(widths.get(c, 0), _display_width(cell))
    lines = []
    for row in rows:
        cells = [
            cell + " " * (widths[c] - _display_width(cell) + 2) for c, cell in enumerate(row[:-1])
        ]
        lines.append("".join(cells) + row[-1])
    return "\n".join(lines) + "\n"


def table(ports, with_modes):
    """The aligned table of videoports (and, with modes, the mode lists)."""
    rows = [["PORT", "CONNECTOR", "MONITOR", "DISPLAY ID", "NAME", "PREFERRED MODE", "CURRENT MODE"]]
    for port in ports:
        monitor = port.monitor
        rows.append(
            [
                str(port.index),
                port.connector_name,
                "yes" if port.monitor_attached else "no",
                _display_id_cell(port),
                monitor.name if monitor is not None and monitor.name else "-",
                _preferred_text(monitor.preferred_mode) if monitor is not None else "-",
                current_text(port.current) if port.current is not None else "-",
            ]
        )
    text = _aligned_rows(rows)
    if with_modes:
        for port in ports:
            count = len(port.modes)
            text += f"\nPort {port.index}: {count} mode{'' if count == 1 else 's'}\n"
            for mode in port.modes:
                text += f"  {_mode_text(mode)}, {mode.bits_per_pixel} bpp\n"
    return text


USAGE = """Usage: python3 -m videoports [options]
Lists the video ports of this machine, as the videoports program does.

Options (a value may also follow an equals sign: --port=1):
  --modes             also list each port's distinct display modes
  --port N            only port N (0-based)
  --json              everything, as JSON (modes included)
  --watch             list the ports, then print one line per change of the
                      display configuration until interrupted (with --json,
                      one JSON object per line)
  --count N           with --watch: end after N changes
  --interval SECONDS  with --watch: look for changes at least this often
                      (default 2; decimals allowed, as in 0.5)
  --log-level N       log threshold: 0 trace, 1 debug, 2 info, 3 warning (default),
                      4 error, 5 fatal
  -h, --help          this text
  --version           the vpi library's version

--prometheus and --output are the videoports program's alone.

Exit status: 0 success (with --watch: interrupted, or N changes shown), 1 the
vpi library could not be loaded, the display configuration could not be read
or the output could not be written, 2 a bad argument or port index.
"""

# Options that take a number, and the largest number each takes (as videoports).
NUMBER_OPTIONS = {"--port": 0xFFFFFFFE, "--log-level": 5, "--count": 0xFFFFFFFF}
# The polling interval's range, in milliseconds (as videoports).
SHORTEST_INTERVAL, LONGEST_INTERVAL = 10, 86400000
PROGRAM_ONLY = ("--prometheus", "-o", "--output")


class UsageError(Exception):
    """A bad argument; the message leaves out the program's name."""


@dataclass
class Options:
    action: str = "run"  # or "help", "version"
    modes: bool = False
    json: bool = False
    port: Optional[int] = None
    log_level: Optional[int] = None
    watch: bool = False
    count: Optional[int] = None
    interval: Optional[int] = None  # milliseconds


def shown(argument):
    """An argument as a message shows it: at most 60 bytes, cut at a character
    boundary."""
    data = os.fsencode(argument)
    if len(data) <= 60:
        return argument
    cut = 60
    while cut > 0 and data[cut] & 0xC0 == 0x80:
        cut -= 1
    return os.fsdecode(data[:cut]) + "..."


def _number(option, text):
    """Digits only, no sign or blank, up to the option's largest number."""
    largest = NUMBER_OPTIONS[option]
    if text is None:
        raise UsageError(f"{option} needs a number")
    digits = text != "" and all(c in "0123456789" for c in text)
    if not digits or len(text) > len(str(largest)) or int(text) > largest:
        raise UsageError(f"{option}: not a number from 0 to {largest}: '{shown(text)}'")
    return int(text)


def _seconds_text(milliseconds):
    text = str(milliseconds // 1000)
    if milliseconds % 1000:
        text += "." + f"{milliseconds % 1000:03d}".rstrip("0")
    return text


def _milliseconds(option, text):
    """Seconds with at most three decimals, from the shortest to the longest
    interval, in milliseconds."""
    if text is None:
        raise UsageError(f"{option} needs a number of seconds")
    whole, point, fraction = text.partition(".")
    valid = (
        whole != ""
        and all(c in "0123456789" for c in whole + fraction)
        and len(fraction) <= 3
        and (not point or fraction != "")
        and len(whole) <= len(str(LONGEST_INTERVAL // 1000))
    )
    milliseconds = int(whole) * 1000 + int(fraction.ljust(3, "0")) if valid else -1
    if not SHORTEST_INTERVAL <= milliseconds <= LONGEST_INTERVAL:
        raise UsageError(
            f"{option}: not a number of seconds from {_seconds_text(SHORTEST_INTERVAL)} to "
            f"{_seconds_text(LONGEST_INTERVAL)}: '{shown(text)}'"
        )
    return milliseconds


def parse_arguments(argv):
    """Options from the arguments, by the videoports program's rules: a value
    follows as the next argument or after an equals sign, a flag takes none,
    nothing is abbreviated, and --help or --version ends the parsing. Raises
    UsageError."""
    options = Options()
    rest = list(argv)
    while rest:
        argument = rest.pop(0)
        name, equals, value = argument.partition("=")
        if argument in ("--help", "-h"):
            options.action = "help"
            return options
        if argument == "--version":
            options.action = "version"
            return options
        if argument in ("--modes", "--json", "--watch"):
            setattr(options, argument[2:], True)
        elif name in NUMBER_OPTIONS or name == "--interval":
            if not equals:
                value = rest.pop(0) if rest else None
            if name == "--interval":
                options.interval = _milliseconds(name, value)
            else:
                setattr(options, name[2:].replace("-", "_"), _number(name, value))
        elif name in PROGRAM_ONLY:
            raise UsageError(f"{name} is the videoports program's alone")
        else:
            raise UsageError(f"unknown argument '{shown(argument)}'")
    if not options.watch and (options.count is not None or options.interval is not None):
        raise UsageError(f"{'--count' if options.count is not None else '--interval'} needs --watch")
    if options.watch and options.port is not None:
        raise UsageError("--watch follows every port: it does not take --port")
    return options


def _say(line):
    """One line on standard error, with the bytes of the arguments it shows."""
    if sys.stderr is not None:
        sys.stderr.flush()
        sys.stderr.buffer.write((line + "\n").encode("utf-8", "surrogateescape"))
        sys.stderr.flush()


def write_output(data):
    """Writes all of `data` to standard output and returns the exit status: 0,
    or 1 with one line on standard error when it cannot be written (a full
    device, a closed output, a pipe closed by its reader)."""
    try:
        if sys.stdout is None:  # started with standard output closed
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        out = sys.stdout.buffer
        view = memoryview(data)
        while view:
            written = out.write(view)
            if not written:  # a raw stream that would block, or took nothing
                raise OSError(errno.EAGAIN, os.strerror(errno.EAGAIN))
            view = view[written:]
        out.flush()
        return 0
    except OSError as error:
        _say(f"videoports: cannot write the output: {os.strerror(error.errno or errno.EIO)}")
        # What is still buffered would fail again when Python exits.
        try:
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        except (AttributeError, OSError, ValueError):
            pass
        return EXIT_PLATFORM_FAILURE


def main(argv=None):
    try:
        options = parse_arguments(sys.argv[1:] if argv is None else argv)
    except UsageError as error:
        _say(f"videoports: {error} (see --help)")
        return EXIT_USAGE
    if options.action == "help":
        return write_output(USAGE.encode("utf-8"))
    if options.log_level is not None:
        # Read by the library when it first logs.
        os.environ["TKL_LOG_PRIORITY"] = str(options.log_level)
    try:
        if options.action == "version":
            return write_output(f"videoports {library_version()}\n".encode("utf-8"))
        if options.watch:
            # The list the changes are told against, read once.
            ports, changes = _watch(options.interval or 2000)
        else:
            ports, changes = snapshot(), None
    except VideoPortsError as error:
        _say(f"videoports: {error.message}")
        return EXIT_PLATFORM_FAILURE
    except OSError as error:  # the vpi library cannot be loaded
        _say(f"videoports: {error}")
        return EXIT_PLATFORM_FAILURE
    if options.port is not None:
        if options.port >= len(ports):
            count = len(ports)
            _say(
                f"videoports: no port {options.port}: this machine has {count} "
                f"port{'' if count == 1 else 's'}"
            )
            return EXIT_USAGE
        ports = [ports[options.port]]
    source = configuration_source()
    if options.json and options.watch:
        listing = {"time": local_timestamp(), "event": "listed", "source": source,
                   "ports": [port_json(port) for port in ports]}
        status = write_output((_json_line(listing) + "\n").encode("utf-8"))
    elif options.json:
        document = {"source": source, "ports": [port_json(port) for port in ports]}
        return write_output((json.dumps(document, indent=2, ensure_ascii=False) + "\n").encode("utf-8"))
    else:
        if source == "built-in":
            _say(BUILT_IN_NOTE)
        status = write_output(table(ports, options.modes).encode("utf-8"))
    if changes is None or status != 0:
        if changes is not None:
            changes.close()
        return status
    return _print_changes(changes, options)


def _json_line(value):
    """Compact JSON as videoports writes a line of it."""
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


def _print_changes(changes, options):
    """One line per change, until interrupted or --count changes; the exit
    status."""
    printed = 0
    try:
        while options.count is None or printed < options.count:
            change = next(changes)
            time = local_timestamp()
            if options.json:
                line = _json_line(change_json(change, time))
            else:
                line = f"{time} {change_text(change)}"
            if write_output((line + "\n").encode("utf-8")) != 0:
                return EXIT_PLATFORM_FAILURE
            printed += 1
    except KeyboardInterrupt:
        pass
    finally:
        changes.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
