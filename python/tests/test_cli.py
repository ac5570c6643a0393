"""The module's command line against the program's: the same arguments taken
and refused with the same one line, the same failures on output that cannot
be written, and one line for a library that cannot be loaded."""

import os
import subprocess
import sys

import pytest

from support import RECORDINGS, environment, run_module, run_videoports


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
