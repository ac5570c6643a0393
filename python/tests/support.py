"""What the Python tests share: the environment CTest sets (VPI_LIBRARY, the
vpi library under test; VPI_VIDEOPORTS, the program; VPI_TEST_RECORDINGS,
recorded configurations separated by os.pathsep; VPI_EXPECTED_VERSION) and
running the program and the module in it."""

import os
import subprocess
import sys

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
