"""python3 -m videoports: prints what the videoports program prints, takes and
refuses the same arguments (but --watch and its options, the program's alone)
and fails the same way, with one line on standard error."""

import errno
import json
import os
import sys
import unicodedata
from dataclasses import dataclass
from typing import Optional

from . import VideoPortsError, library_version, snapshot

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


def port_json(port):
    """One port as videoports --json writes it, fields in its order."""
    monitor = None
    if port.monitor is not None:
        monitor = {
            "name": port.monitor.name,
            "devicePath": port.monitor.device_path,
            "displayId": port.monitor.display_id,
            "preferredMode": _mode_json(port.monitor.preferred_mode),
            "manufacturerId": port.monitor.manufacturer_id,
            "productCode": port.monitor.product_code,
        }
    return {
        "index": port.index,
        "connector": port.connector_name,
        "connectorType": port.connector,
        "monitorAttached": port.monitor_attached,
        "displayId": port.display_id,
        "monitor": monitor,
        "modes": [_mode_json(mode) for mode in port.modes],
        "adapterId": adapter_text(port.adapter_id),
        "targetId": port.target_id,
        "key": port.key,
        "outputTechnology": port.output_technology,
        "embedded": port.embedded,
        "connectorInstance": port.connector_instance,
        "current": _current_json(port.current),
    }


def current_text(state):
    """Where and how a port in use is shown, as videoports's table has it:
    "1920x1080+1920+0 @ 59.95 Hz", then ", interlaced", the scaling when it is
    not the identity, ", rotated 90" and ", primary" where they apply."""
    text = f"{state.width}x{state.height}{state.x:+d}{state.y:+d}"
    if state.refresh_hz is not None:
        text += f" @ {state.refresh_hz:.2f} Hz"
    if state.interlaced:
        text += ", interlaced"
    if state.scaling != "identity":
        text += f", scaling {state.scaling}"
    if state.rotation:
        text += f", rotated {state.rotation}"
    if state.primary:
        text += ", primary"
    return text


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
  --log-level N       log threshold: 0 trace, 1 debug, 2 info, 3 warning (default),
                      4 error, 5 fatal
  -h, --help          this text
  --version           the vpi library's version

--watch, --count and --interval are the videoports program's alone.

Exit status: 0 success, 1 the vpi library could not be loaded, the display
configuration could not be read or the output could not be written, 2 a bad
argument or port index.
"""

# Options that take a value, and the largest number each takes (as videoports).
NUMBER_OPTIONS = {"--port": 0xFFFFFFFE, "--log-level": 5}
WATCH_OPTIONS = ("--count", "--interval")


class UsageError(Exception):
    """A bad argument; the message leaves out the program's name."""


@dataclass
class Options:
    action: str = "run"  # or "help", "version"
    modes: bool = False
    json: bool = False
    port: Optional[int] = None
    log_level: Optional[int] = None


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
        if argument in ("--modes", "--json"):
            setattr(options, argument[2:], True)
        elif name in NUMBER_OPTIONS:
            if not equals:
                value = rest.pop(0) if rest else None
            number = _number(name, value)
            if name == "--port":
                options.port = number
            else:
                options.log_level = number
        elif argument == "--watch" or name in WATCH_OPTIONS:
            raise UsageError(f"{name} is the videoports program's alone")
        else:
            raise UsageError(f"unknown argument '{shown(argument)}'")
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
        ports = snapshot()
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
    if options.json:
        document = {"source": source, "ports": [port_json(port) for port in ports]}
        return write_output((json.dumps(document, indent=2, ensure_ascii=False) + "\n").encode("utf-8"))
    if source == "built-in":
        _say(BUILT_IN_NOTE)
    return write_output(table(ports, options.modes).encode("utf-8"))


if __name__ == "__main__":
    sys.exit(main())
