"""What videoports prints, byte for byte, against the files beside this one;
and python -m videoports, which must print the same.

Each case runs the program from the source tree's root, so that the paths it
prints are the same everywhere. The version is written @VERSION@ in the
files, the time stamps of --watch lines @TIME@.

    python3 tests/golden/test_report.py --update   # write the files anew

CTest sets VPI_VIDEOPORTS (the program) and PYTHONPATH (the package)."""

import json
import os
import re
import selectors
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
RECORDING = "tests/wine/data/xorg-dummy-2-outputs.json"
NULL_DRIVER = "tests/standin/data/wine-null-driver.json"
BROKEN = "tests/golden/broken-recording.json"

# name: (arguments, recording or None for the built-in sample, exit status)
CASES = {
    "table": ([], None, 0),
    "modes": (["--modes"], None, 0),
    "json": (["--json"], None, 0),
    "port": (["--port", "1"], None, 0),
    "port-json": (["--port=0", "--json"], None, 0),
    "prometheus": (["--prometheus"], None, 0),
    "help": (["--help"], None, 0),
    "version": (["--version"], None, 0),
    "no-such-port": (["--port", "99"], None, 2),
    "unknown-argument": (["--frobnicate"], None, 2),
    "count-without-watch": (["--count", "1"], None, 2),
    "watch-with-port": (["--watch", "--port", "0"], None, 2),
    "prometheus-with-json": (["--prometheus", "--json"], None, 2),
    "output-without-prometheus": (["-o", "x"], None, 2),
    "recording-table": ([], RECORDING, 0),
    "recording-json": (["--json"], RECORDING, 0),
    "recording-modes": (["--modes"], RECORDING, 0),
    "recording-prometheus": (["--prometheus"], RECORDING, 0),
    "null-driver-table": ([], NULL_DRIVER, 0),
    "broken-table": ([], BROKEN, 1),
    "broken-prometheus": (["--prometheus"], BROKEN, 1),
    "svg": (["--svg", "-"], None, 0),
    "recording-svg": (["--svg=-"], RECORDING, 0),
    "edid": (["--edid", "tests/edid/data/built-in-DELA0E2.bin"], None, 0),
    "edid-none": (["--edid", "tests/golden/broken-recording.json"], None, 1),
    "edid-with-json": (["--edid", "x", "--json"], None, 2),
}

VERSION = re.compile(rb"\b\d+\.\d+\.\d+\b")
TEXT_TIME = re.compile(rb"^\S+T\S+ ", re.M)
JSON_TIME = re.compile(rb'"time":"[^"]*"')


def environment(recording):
    env = {k: v for k, v in os.environ.items() if k not in ("VPI_DISPLAY_CONFIG", "TKL_LOG_PRIORITY")}
    if recording is not None:
        env["VPI_DISPLAY_CONFIG"] = recording
    return env


def masked(output):
    output = VERSION.sub(b"@VERSION@", output)
    return JSON_TIME.sub(b'"time":"@TIME@"', TEXT_TIME.sub(b"@TIME@ ", output))


def commands():
    program = [os.environ["VPI_VIDEOPORTS"]]
    return {"program": program, "module": [sys.executable, "-m", "videoports"]}


def golden(name, stream):
    with open(os.path.join(HERE, f"{name}.{stream}"), "rb") as file:
        return file.read()


@pytest.mark.parametrize("how", ["program", "module"])
@pytest.mark.parametrize("name", sorted(CASES))
def test_output_is_the_golden_one(name, how):
    arguments, recording, status = CASES[name]
    result = subprocess.run(commands()[how] + arguments, cwd=ROOT, env=environment(recording),
                            capture_output=True, check=False)
    assert result.returncode == status, result.stderr
    assert masked(result.stdout) == golden(name, "stdout")
    assert masked(result.stderr) == golden(name, "stderr")


# The picture's displays are the ports in use, with one scale for every
# length and offset.
@pytest.mark.parametrize("recording", [None, RECORDING, NULL_DRIVER])
def test_the_layout_picture_has_the_ports_geometry(recording):
    def run(*arguments):
        result = subprocess.run(commands()["program"] + list(arguments), cwd=ROOT,
                                env=environment(recording), capture_output=True, check=True)
        return result.stdout

    ports = [p for p in json.loads(run("--json"))["ports"] if p["current"] is not None]
    svg = ElementTree.fromstring(run("--svg", "-"))
    namespace = {"svg": "http://www.w3.org/2000/svg"}
    screens = [group.find("svg:rect[@class='screen']", namespace)
               for group in svg.findall(".//svg:g", namespace)
               if "display" in group.get("class", "").split()]
    assert len(screens) == len(ports)
    scale = float(screens[0].get("width")) / ports[0]["current"]["width"]
    left = min(p["current"]["x"] for p in ports)
    top = min(p["current"]["y"] for p in ports)
    origin = (min(float(r.get("x")) for r in screens), min(float(r.get("y")) for r in screens))
    for port, screen in zip(ports, screens):
        current = port["current"]
        placed = [float(screen.get(name)) for name in ("x", "y", "width", "height")]
        wanted = [origin[0] + (current["x"] - left) * scale, origin[1] + (current["y"] - top) * scale,
                  current["width"] * scale, current["height"] * scale]
        assert placed == pytest.approx(wanted, abs=0.6)


def test_the_readme_shows_the_built_in_layout():
    with open(os.path.join(ROOT, "docs", "built-in-layout.svg"), "rb") as picture:
        assert picture.read() == golden("svg", "stdout")


class Watching:
    """The program watching a recording in `folder`; both outputs read as
    they come, every wait bounded."""

    def __init__(self, command, folder):
        self.process = subprocess.Popen(command, cwd=folder, env=environment("machine.json"),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.output = {"stdout": b"", "stderr": b""}
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.process.stdout, selectors.EVENT_READ, "stdout")
        self.selector.register(self.process.stderr, selectors.EVENT_READ, "stderr")

    def wait_for(self, stream, count, text=b"\n"):
        deadline = time.monotonic() + 20
        while self.output[stream].count(text) < count:
            left = deadline - time.monotonic()
            assert left > 0, self.output
            for key, _ in self.selector.select(left):
                data = os.read(key.fileobj.fileno(), 65536)
                if not data:
                    self.selector.unregister(key.fileobj)
                self.output[key.data] += data

    def finish(self):
        stdout, stderr = self.process.communicate(timeout=20)
        self.output["stdout"] += stdout
        self.output["stderr"] += stderr
        return self.process.returncode


def replace(path, text):
    with open(path + ".next", "w", encoding="utf-8") as file:
        file.write(text)
    os.replace(path + ".next", path)


def recording_variants():
    with open(os.path.join(ROOT, RECORDING), encoding="utf-8") as file:
        original = json.load(file)
    detached = json.loads(json.dumps(original))
    detached["paths"][0]["flags"] = 0
    moved = json.loads(json.dumps(original))
    moved["modes"][3]["sourceMode"]["position"]["y"] += 40
    return [json.dumps(variant, indent=1) for variant in (original, detached, moved)]


def watch_sequence(command, folder, listing_lines):
    """The original recording, its first monitor detached, a broken file,
    then the original with its second output moved down: detached, attached
    and moved."""
    original, detached, moved = recording_variants()
    machine = os.path.join(folder, "machine.json")
    replace(machine, original)
    watching = Watching(command + ["--interval", "0.02", "--count", "3"], folder)
    watching.wait_for("stdout", listing_lines)
    replace(machine, detached)
    watching.wait_for("stdout", listing_lines + 1)
    replace(machine, "{")
    watching.wait_for("stderr", 1, b"still watching")
    replace(machine, moved)
    status = watching.finish()
    return status, masked(watching.output["stdout"]), masked(watching.output["stderr"])


WATCHES = {"watch-json": (["--watch", "--json"], 1), "watch-text": (["--watch"], 3)}


@pytest.mark.parametrize("how", ["program", "module"])
@pytest.mark.parametrize("name", sorted(WATCHES))
def test_watch_is_the_golden_one(name, how, tmp_path):
    arguments, listing_lines = WATCHES[name]
    status, stdout, stderr = watch_sequence(commands()[how] + arguments, str(tmp_path),
                                            listing_lines)
    assert status == 0, stderr
    assert stdout == golden(name, "stdout")
    assert stderr == golden(name, "stderr")


def update():
    import tempfile

    for name, (arguments, recording, _) in CASES.items():
        result = subprocess.run(commands()["program"] + arguments, cwd=ROOT,
                                env=environment(recording), capture_output=True, check=False)
        for stream in ("stdout", "stderr"):
            with open(os.path.join(HERE, f"{name}.{stream}"), "wb") as file:
                file.write(masked(getattr(result, stream)))
    with open(os.path.join(ROOT, "docs", "built-in-layout.svg"), "wb") as picture:
        picture.write(golden("svg", "stdout"))
    for name, (arguments, listing_lines) in WATCHES.items():
        with tempfile.TemporaryDirectory() as folder:
            _, stdout, stderr = watch_sequence(commands()["program"] + arguments, folder,
                                               listing_lines)
        for stream, output in (("stdout", stdout), ("stderr", stderr)):
            with open(os.path.join(HERE, f"{name}.{stream}"), "wb") as file:
                file.write(output)


if __name__ == "__main__" and sys.argv[1:] == ["--update"]:
    update()
