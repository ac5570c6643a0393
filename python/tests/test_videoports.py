"""Tests of the Python package against the videoports program, on the stand-in
platform. CTest sets VPI_LIBRARY (the vpi library under test), VPI_VIDEOPORTS
(the program), VPI_TEST_RECORDINGS (recorded configurations, separated by
os.pathsep) and VPI_EXPECTED_VERSION."""

import dataclasses
import json
import os
import shutil
import subprocess
import sys
import threading
import time

import pytest

import videoports

from support import (
    CONFIGURATIONS,
    PACKAGE_ROOT,
    RECORDINGS,
    environment,
    run,
    run_module,
    run_videoports,
)


def camel(name):
    head, *rest = name.split("_")
    return head + "".join(word.title() for word in rest)


def as_json(value):
    """A snapshot's dataclasses as videoports --json names their fields."""
    if isinstance(value, videoports.Monitor):
        fields = {camel(f.name): as_json(getattr(value, f.name))
                  for f in dataclasses.fields(value) if f.name not in ("edid", "edid_info")}
        fields["edid"] = value.edid and {"bytes": value.edid.hex(),
                                         "decoded": as_json(value.edid_info)}
        return fields
    if dataclasses.is_dataclass(value):
        return {camel(field.name): as_json(getattr(value, field.name))
                for field in dataclasses.fields(value)}
    if isinstance(value, (list, tuple)):
        return [as_json(item) for item in value]
    return value


def test_snapshot_is_what_videoports_reports():
    expected = json.loads(run_videoports(["--json"]).stdout)["ports"]
    ports = videoports.snapshot()
    assert len(ports) >= 2
    for port, document in zip(ports, expected):
        actual = as_json(port)
        # The two fields the JSON shows otherwise: the connector as its name,
        # the adapter as text.
        assert actual.pop("connector") == document.pop("connectorType")
        assert actual.pop("connectorName") == document.pop("connector")
        assert actual.pop("adapterId") == int(document.pop("adapterId").replace(":", ""), 16)
        assert actual == document


def test_records_are_frozen_values():
    ports = videoports.snapshot()
    port = ports[0]
    with pytest.raises(dataclasses.FrozenInstanceError):
        port.index = 7
    assert isinstance(port.modes, tuple) and port.modes
    assert all(isinstance(mode, videoports.Mode) for mode in port.modes)
    assert len(set(port.modes)) == len(port.modes), "modes are distinct"
    assert videoports.snapshot() == ports, "equal configurations give equal snapshots"


def test_a_port_without_a_monitor():
    idle = [port for port in videoports.snapshot() if not port.monitor_attached]
    assert idle, "the built-in configuration has free connectors"
    for port in idle:
        assert port.monitor is None
        assert port.display_id, "an idle port still names the source that could drive it"
    attached = [port for port in videoports.snapshot() if port.monitor_attached]
    assert all(port.monitor is not None for port in attached)
    assert all(port.monitor.display_id == port.display_id for port in attached)


def test_the_port_at_a_point_is_the_display_showing_it_or_the_nearest():
    in_use = [port for port in videoports.snapshot() if port.current is not None]
    assert in_use
    for port in in_use:
        state = port.current
        found, inside = videoports.port_at_point(state.x + state.width // 2,
                                                  state.y + state.height // 2)
        assert (found.index, inside) == (port.index, True)
    found, inside = videoports.port_at_point(-2000000000, 0)
    assert not inside and found.index in [port.index for port in in_use]


def test_library_version():
    assert videoports.library_version() == os.environ["VPI_EXPECTED_VERSION"]


def test_an_unreadable_configuration_is_an_error(tmp_path):
    broken = tmp_path / "broken.json"
    broken.write_text('{ "paths": [')
    code = "import videoports\ntry:\n    videoports.snapshot()\nexcept videoports.VideoPortsError as e:\n    print(e.code)\n    print(e.message)\n"
    result = run([sys.executable, "-c", code], str(broken))
    status, message = result.stdout.decode().splitlines()
    assert status == "2"  # VPI_E_PLATFORM
    # The failing call and its code, then the stand-in's own reason.
    assert message.startswith("the display configuration could not be read: "
                              "GetDisplayConfigBufferSizes returned 31 (ERROR_GEN_FAILURE): "
                              "display-configuration stand-in: cannot use VPI_DISPLAY_CONFIG file "
                              f'"{broken}": '), message
    module = run_module([], str(broken))
    assert module.returncode == 1
    assert b"videoports: the display configuration could not be read" in module.stderr
    assert module.stdout == b""


def test_a_missing_library_names_the_variable(tmp_path):
    result = run([sys.executable, "-c", "import videoports; videoports.snapshot()"],
                 VPI_LIBRARY=str(tmp_path / "no-such-library.so"))
    assert result.returncode != 0
    assert b"VPI_LIBRARY" in result.stderr


def test_the_library_is_found_next_to_the_package(tmp_path):
    copy = tmp_path / "videoports"
    shutil.copytree(os.path.join(PACKAGE_ROOT, "videoports"), copy,
                    ignore=shutil.ignore_patterns("__pycache__"))
    from videoports import _native

    shutil.copy(os.environ["VPI_LIBRARY"], copy / _native._LIBRARY_NAMES[0])
    env = environment(VPI_LIBRARY=None)
    env["PYTHONPATH"] = str(tmp_path)
    code = "import videoports; print(len(videoports.snapshot()))"
    result = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                            check=False)
    assert result.returncode == 0, result.stderr
    assert int(result.stdout) == len(json.loads(run_videoports(["--json"]).stdout)["ports"])


# python -m videoports runs the program found beside VPI_LIBRARY's library,
# else at VPI_PROGRAM, else on PATH; without one, one line and status 1.
@pytest.mark.parametrize("where", ["library", "VPI_PROGRAM", "PATH", "nowhere"])
def test_the_module_runs_the_program_it_finds(tmp_path, where):
    program = os.environ["VPI_VIDEOPORTS"]
    changes = {"VPI_LIBRARY": None, "VPI_PROGRAM": None, "PATH": str(tmp_path)}
    if where == "library":
        changes["VPI_LIBRARY"] = os.path.join(os.path.dirname(program), "libvpi.so")
    elif where == "VPI_PROGRAM":
        changes["VPI_PROGRAM"] = program
    elif where == "PATH":
        changes["PATH"] = os.path.dirname(program)
    result = run_module(["--version"], **changes)
    if where == "nowhere":
        assert result.returncode == 1
        assert result.stdout == b""
        assert result.stderr.startswith(b"videoports: the videoports program was not found")
        assert result.stderr.count(b"\n") == 1
    else:
        assert (result.returncode, result.stdout) == (0, run_videoports(["--version"]).stdout)


def test_pip_installs_the_package_without_an_index(tmp_path):
    target = tmp_path / "site"
    install = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--no-index", "--quiet", "--target", str(target),
         PACKAGE_ROOT],
        env=environment(), capture_output=True, check=False)
    assert install.returncode == 0, install.stderr
    assert (target / "videoports" / "__init__.py").exists()
    env = environment()
    env["PYTHONPATH"] = str(target)
    result = subprocess.run([sys.executable, "-m", "videoports", "--json"], env=env,
                            capture_output=True, check=False, cwd=str(tmp_path))
    assert result.returncode == 0, result.stderr
    assert result.stdout == run_videoports(["--json"]).stdout


def changed_recording(path, moved=True, detached=True):
    """Rewrites the two-output Wine recording at `path` in one step (a new
    file renamed over it): the second display moved down, the first one's
    monitor detached."""
    source = next(p for p in RECORDINGS if "xorg-dummy-2-outputs" in p)
    with open(source, encoding="utf-8") as original:
        document = json.load(original)
    if detached:
        document["paths"][0]["flags"] = 0
    if moved:
        second = document["paths"][1]["sourceInfo"]["modeInfoIdx"]
        document["modes"][second]["sourceMode"]["position"]["y"] = 40
    scratch = str(path) + ".new"
    with open(scratch, "w", encoding="utf-8") as out:
        json.dump(document, out)
    os.replace(scratch, path)


WATCHER = """
import json, sys, videoports
changes = videoports.watch(interval=0.02)  # reads the configuration now
for interval in (0.001, float("inf"), float("nan")):
    try:
        videoports.watch(interval=interval)
    except ValueError:
        pass
print("started", flush=True)
seen = [next(changes), next(changes)]
changes.close()
try:
    next(changes)
except StopIteration:
    print(json.dumps([[c.event, c.key, c.before.key, c.after.key, c.after.current is None,
                       c.after.current and c.after.current.y - c.before.current.y] for c in seen]))
"""


def test_watch_yields_each_change_and_stops_when_closed(tmp_path):
    recording = tmp_path / "machine.json"
    changed_recording(recording, moved=False, detached=False)
    child = subprocess.Popen([sys.executable, "-c", WATCHER], env=environment(str(recording)),
                             stdout=subprocess.PIPE)
    assert child.stdout.readline() == b"started\n"
    changed_recording(recording)
    output, _ = child.communicate(timeout=60)
    assert child.returncode == 0
    (event1, key1, before1, after1, free1, _), (event2, key2, before2, after2, _, moved) = json.loads(output)
    assert (event1, event2) == ("monitorDetached", "positionChanged")
    assert key1 == before1 == after1 and key2 == before2 == after2 and key1 != key2
    assert free1 and moved == 40


def built_in_recording(path, keep=lambda path: True, first=lambda path: False):
    """The built-in sample as a recording at `path`: the paths `keep` keeps,
    those for which `first` holds first."""
    with open(os.path.join(PACKAGE_ROOT, "..", "standin", "data", "built-in.json"),
              encoding="utf-8") as sample:
        document = json.load(sample)
    paths = [p for p in document["paths"] if keep(p)]
    document["paths"] = [p for p in paths if first(p)] + [p for p in paths if not first(p)]
    path.write_text(json.dumps(document), encoding="utf-8")
    return str(path)


def hdmi(path):
    return path["targetInfo"]["id"] == 4161


# Watches in a process of their own, on the recording its first argument
# names, which serve() replaces with the file another argument names.
WATCHING = """
import json, os, sys, time, videoports
machine = sys.argv[1]
def serve(name):
    with open(name) as source, open(machine + ".new", "w") as out:
        out.write(source.read())
    os.replace(machine + ".new", machine)
def wait_until(condition):
    deadline = time.monotonic() + 20
    while not condition():
        assert time.monotonic() < deadline, "not in time"
        time.sleep(0.01)
"""


def watching(script, recording, *files):
    result = run([sys.executable, "-c", WATCHING + script, recording] + list(files), recording)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


# The same ports in another order are no change; the removal after them names
# the port that left. A reading that fails is a change, and so is the next
# good one, which found nothing else changed.
def test_a_reordering_a_removal_a_failed_reading_and_the_recovery(tmp_path):
    script = """
with videoports.watch(interval=0.01) as changes:
    serve(sys.argv[2])
    wait_until(lambda: changes.known()[0].target_id == 4161)
    serve(sys.argv[3])
    seen = [next(changes)]
    serve(sys.argv[4])
    seen.append(next(changes))
    serve(sys.argv[3])
    seen.append(next(changes))
print(json.dumps([[c.event, c.key, c.before and c.before.target_id, c.reason] for c in seen]
                 + [seen[0].key == seen[0].before.key]))
"""
    broken = tmp_path / "broken.json"
    broken.write_text("{")
    removed, failed, recovered, same_key = watching(
        script, built_in_recording(tmp_path / "machine.json"),
        built_in_recording(tmp_path / "reordered.json", first=hdmi),
        built_in_recording(tmp_path / "removed.json", keep=lambda p: not hdmi(p)), str(broken))
    assert (removed[0], removed[2], removed[3], same_key) == ("portRemoved", 4161, None, True)
    assert failed[:3] == ["readFailed", "", None]
    assert failed[3].startswith("the display configuration could not be read: ")
    assert "cannot use VPI_DISPLAY_CONFIG file" in failed[3]
    assert recovered == ["readRecovered", "", None, None]


def test_close_from_another_thread_ends_a_waiting_loop():
    changes = videoports.watch(interval=60)
    seen = []
    loop = threading.Thread(target=lambda: seen.extend(changes))
    loop.start()
    changes.close()
    loop.join(timeout=20)
    assert not loop.is_alive() and seen == []
    changes.close()  # again: nothing


# Watches left open at exit, their callbacks busy, never abort the
# interpreter: they are stopped before the interpreter ends its threads, and
# a callback's thread that the interpreter ends anyway unwinds cleanly.
EXIT_WITH_OPEN_WATCH = """
import os, sys, threading, videoports
recording = sys.argv[1]
texts = [open(recording).read(), open(recording).read().replace('"y": 0', '"y": 7')]
def churn():
    for i in range(1000000):
        with open(recording + ".new", "w") as out:
            out.write(texts[i % 2])
        os.replace(recording + ".new", recording)
threading.Thread(target=churn, daemon=True).start()
watches = [videoports.watch(0.01) for _ in range(4)]
next(watches[0])
"""


def test_exit_with_an_open_watch_is_clean(tmp_path):
    recording = tmp_path / "machine.json"
    for _ in range(12):
        changed_recording(recording, moved=False, detached=False)
        result = run([sys.executable, "-c", EXIT_WITH_OPEN_WATCH, str(recording)], str(recording))
        assert result.returncode == 0, result.stderr


# A child of fork() exits with the watch it inherited; the parent's watch,
# which polls once a minute, stays idle; a watch in the child is its own.
def test_fork_leaves_the_parents_watch_idle():
    with videoports.watch(interval=60) as changes:
        child = os.fork()
        if child == 0:
            code = 1
            try:
                with videoports.watch(interval=0.01) as own:
                    code = 0 if own.ports else 1
            finally:
                os._exit(code)
        _, status = os.waitpid(child, 0)
        assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0
        before = time.process_time()
        time.sleep(0.3)  # a span to measure the parent's watch in
        assert time.process_time() - before < 0.1
        assert changes.known()


# A library that cannot be loaded, or that lacks what the package needs, is
# one line naming what is missing.
@pytest.mark.parametrize("library,message", [
    ("no-such-library.so", "cannot open shared object file"),
    ("text", "file too short"),
    ("libc.so.6", "not the vpi library: it has no vpi_snapshot_take"),
    ("older.so", "an older vpi library: it has no vpi_snapshot_free"),
])
def test_a_library_that_cannot_be_used_is_one_line(tmp_path, library, message):
    (tmp_path / "text").write_text("not a library\n")
    source = tmp_path / "older.c"
    source.write_text("int vpi_snapshot_take(void** out) { *out = 0; return 2; }\n")
    subprocess.run(["cc", "-shared", "-fPIC", "-o", str(tmp_path / "older.so"), str(source)],
                   check=True)
    path = library if library == "libc.so.6" else str(tmp_path / library)
    code = "import videoports\ntry:\n    videoports.snapshot()\nexcept OSError as e:\n    print(e)\n"
    result = run([sys.executable, "-c", code], VPI_LIBRARY=path)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith(b"the vpi library cannot be loaded from VPI_LIBRARY: ")
    assert message.encode() in result.stdout and result.stdout.count(b"\n") == 1
