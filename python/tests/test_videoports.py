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

PACKAGE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(videoports.__file__)))
RECORDINGS = [path for path in os.environ.get("VPI_TEST_RECORDINGS", "").split(os.pathsep) if path]
CONFIGURATIONS = [None] + RECORDINGS


def environment(configuration=None, **changes):
    env = dict(os.environ)
    env.pop("VPI_DISPLAY_CONFIG", None)
    if configuration is not None:
        env["VPI_DISPLAY_CONFIG"] = configuration
    env["PYTHONPATH"] = PACKAGE_ROOT
    for name, value in changes.items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return env


def run(command, configuration=None, **changes):
    return subprocess.run(
        command, env=environment(configuration, **changes), capture_output=True, check=False
    )


def run_videoports(arguments, configuration=None):
    return run([os.environ["VPI_VIDEOPORTS"]] + arguments, configuration)


def run_module(arguments, configuration=None, **changes):
    return run([sys.executable, "-m", "videoports"] + arguments, configuration, **changes)


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
    code = "import videoports\ntry:\n    videoports.snapshot()\nexcept videoports.VideoPortsError as e:\n    print(e.code)\n"
    result = run([sys.executable, "-c", code], str(broken))
    assert result.stdout.decode().strip() == "2"  # VPI_E_PLATFORM
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
# The module takes and refuses what videoports takes and refuses, with the same
# output and the same one line: a number is digits only, nothing is
# abbreviated, a flag takes no value; a long argument is shortened in the
# message at a character's boundary.
TAKEN = [["--port=1", "--json"], ["--log-level", "5", "--modes"], ["--port", "0", "--port", "1"],
         ["--watch", "--count=0", "--interval", "0.01"]]
REFUSED = [
    ["--port", "-1"], ["--port", "+1"], ["--port", "0_1"], ["--port", " 2"], ["--port", "2 "],
    ["--port", ""], ["--port", "\u0663"], ["--port", "4294967295"], ["--port"],
    ["--log-level=6"], ["--json=1"], ["--mod"], ["--json", "--frobnicate", "--help"],
    ["--port=9" * 30], ["--port", "x" + "\u20ac" * 30], ["-" * 100],
    ["--count", "1"], ["--interval=2"], ["--watch", "--port", "0"], ["--watch", "--interval", ".5"],
    ["--watch", "--interval", "0.009"], ["--watch", "--interval", "1.2345"],
    ["--watch", "--count", "4294967296"],
]


@pytest.mark.parametrize("arguments,status", [(a, 0) for a in TAKEN] + [(a, 2) for a in REFUSED],
                         ids=repr)
def test_arguments_are_taken_and_refused_as_videoports_takes_them(arguments, status):
    expected = run_videoports(arguments, RECORDINGS[0])
    actual = run_module(arguments, RECORDINGS[0])
    assert expected.returncode == status
    assert (actual.returncode, actual.stdout, actual.stderr) == (
        expected.returncode, expected.stdout, expected.stderr)


@pytest.mark.parametrize("arguments", [["--prometheus"], ["-o", "x"], ["--output=x"]], ids=repr)
def test_metrics_are_the_programs_alone(arguments):
    result = run_module(arguments)
    option = arguments[0].split("=")[0]
    assert result.returncode == 2
    assert result.stderr.decode() == f"videoports: {option} is the videoports program's alone (see --help)\n"


# Output that cannot be written fails as it fails for videoports: one line,
# status 1. SIGPIPE stays ignored (Python ignores it), so that videoports too
# sees the closed pipe as a failed write.
@pytest.mark.parametrize("arguments,output", [
    (["--json"], "/dev/full"), (["--modes"], "/dev/full"), (["--help"], "/dev/full"),
    (["--version"], "/dev/full"), (["--json"], "closed"), ([], "closed"),
    (["--json"], "closed pipe"), ([], "closed pipe"),
], ids=repr)
def test_unwritable_output_fails_as_for_videoports(arguments, output):
    def attempt(command):
        read_end, write_end = os.pipe()
        os.close(read_end)
        with open("/dev/full", "wb") as full:
            stdout = {"/dev/full": full, "closed": None, "closed pipe": write_end}[output]
            close_stdout = ["sh", "-c", 'exec "$@" >&-', "sh"] if output == "closed" else []
            result = subprocess.run(close_stdout + command, env=environment(RECORDINGS[0]),
                                    stdout=stdout, stderr=subprocess.PIPE,
                                    restore_signals=False, check=False)
        os.close(write_end)
        return result.returncode, result.stderr

    expected = attempt([os.environ["VPI_VIDEOPORTS"]] + arguments)
    assert expected[0] == 1
    assert expected[1].splitlines()[-1].startswith(b"videoports: cannot write the output: ")
    if arguments == ["--help"]:  # each has its own help
        assert attempt([sys.executable, "-m", "videoports"] + arguments)[0] == 1
    else:
        assert attempt([sys.executable, "-m", "videoports"] + arguments) == expected


@pytest.mark.parametrize("library", ["no-such-library.so", "text", "directory", "libc.so.6"])
@pytest.mark.parametrize("arguments", [[], ["--version"]], ids=repr)
def test_a_library_that_cannot_be_loaded_is_one_line(tmp_path, library, arguments):
    (tmp_path / "text").write_text("not a library\n")
    (tmp_path / "directory").mkdir()
    path = library if library == "libc.so.6" else str(tmp_path / library)
    result = run_module(arguments, VPI_LIBRARY=path)
    assert result.returncode == 1
    assert result.stdout == b""
    assert result.stderr.startswith(b"videoports: the vpi library cannot be loaded from VPI_LIBRARY: ")
    assert result.stderr.count(b"\n") == 1, result.stderr
