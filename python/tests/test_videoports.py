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


def test_snapshot_is_what_videoports_reports():
    from videoports.__main__ import port_json

    expected = json.loads(run_videoports(["--json"]).stdout)["ports"]
    ports = videoports.snapshot()
    assert [port_json(port) for port in ports] == expected
    assert len(ports) >= 2


@pytest.mark.parametrize("configuration", CONFIGURATIONS, ids=lambda c: os.path.basename(c or "built-in"))
@pytest.mark.parametrize("arguments", [["--json"], [], ["--modes"], ["--port", "0", "--json"]], ids=" ".join)
def test_module_prints_what_videoports_prints(configuration, arguments):
    expected = run_videoports(arguments, configuration)
    actual = run_module(arguments, configuration)
    assert expected.returncode == 0, expected.stderr
    assert actual.returncode == 0, actual.stderr
    assert actual.stdout == expected.stdout
    # Both point out the built-in sample before its table, and only then.
    note = b"built-in sample configuration"
    tabled = configuration is None and "--json" not in arguments
    assert (note in expected.stderr) == tabled, expected.stderr
    assert (note in actual.stderr) == tabled, actual.stderr


def test_wide_and_combining_names_align_as_videoports_aligns_them(tmp_path):
    recording = tmp_path / "names.json"
    source = next(path for path in RECORDINGS if "xorg-dummy-2-outputs" in path)
    with open(source, encoding="utf-8") as original:
        # 東京 Monitor (wide characters) and Écran 大 with a combining accent.
        text = original.read().replace('"Display1"', '"\\u6771\\u4eac Monitor"')
        recording.write_text(text.replace('"Display2"', '"E\\u0301cran \\u5927"'), encoding="utf-8")
    expected = run_videoports([], str(recording))
    actual = run_module([], str(recording))
    assert expected.returncode == 0, expected.stderr
    assert "\u6771\u4eac Monitor".encode() in expected.stdout
    assert actual.stdout == expected.stdout


def test_the_json_names_the_source_of_the_configuration():
    built_in = json.loads(run_module(["--json"]).stdout)
    assert built_in["source"] == "built-in"
    for recording in RECORDINGS:
        document = json.loads(run_module(["--json"], recording).stdout)
        assert document["source"] == recording
        assert list(document) == ["source", "ports"]


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


def test_a_port_out_of_range_is_refused_as_videoports_refuses_it():
    expected = run_videoports(["--port", "99"])
    actual = run_module(["--port", "99"])
    assert expected.returncode == actual.returncode == 2
    assert actual.stderr == expected.stderr


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
    result = subprocess.run([sys.executable, "-m", "videoports", "--json"], env=env,
                            capture_output=True, check=False)
    assert result.returncode == 0, result.stderr
    assert result.stdout == run_videoports(["--json"]).stdout


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
try:
    videoports.watch(interval=0.001)
except ValueError:
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


def test_module_watch_prints_what_videoports_watch_prints(tmp_path):
    recording = tmp_path / "machine.json"
    changed_recording(recording, moved=False, detached=False)
    arguments = ["--watch", "--json", "--count", "2", "--interval", "0.02"]
    env = environment(str(recording))
    program = subprocess.Popen([os.environ["VPI_VIDEOPORTS"]] + arguments, env=env,
                               stdout=subprocess.PIPE)
    module = subprocess.Popen([sys.executable, "-m", "videoports"] + arguments, env=env,
                              stdout=subprocess.PIPE)
    listings = [program.stdout.readline(), module.stdout.readline()]  # both are watching now
    changed_recording(recording)
    outputs = [listings[0] + program.communicate(timeout=60)[0],
               listings[1] + module.communicate(timeout=60)[0]]
    assert program.returncode == module.returncode == 0

    def without_time(output):
        lines = [json.loads(line) for line in output.decode().splitlines()]
        for line in lines:
            del line["time"]
        return lines

    expected, actual = (without_time(output) for output in outputs)
    assert [line["event"] for line in expected] == ["listed", "monitorDetached", "positionChanged"]
    assert actual == expected
