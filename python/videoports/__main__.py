"""python -m videoports: runs the videoports program with the same arguments,
so that it prints what the program prints and exits as it exits.

The program is looked for beside the library named by VPI_LIBRARY (in its
folder, or in the bin/ folder beside an installed tree's lib/), as that
library overrides the package's own; then in this package's folder (a wheel
carries it there); then at VPI_PROGRAM; then on PATH."""

import os
import shutil
import subprocess
import sys

PROGRAM = "videoports.exe" if sys.platform == "win32" else "videoports"


def _candidates():
    library = os.environ.get("VPI_LIBRARY")
    if library:
        folder = os.path.dirname(os.path.abspath(library))
        yield os.path.join(folder, PROGRAM)
        yield os.path.join(os.path.dirname(folder), "bin", PROGRAM)
    yield os.path.join(os.path.dirname(os.path.abspath(__file__)), PROGRAM)
    if os.environ.get("VPI_PROGRAM"):
        yield os.environ["VPI_PROGRAM"]
    found = shutil.which(PROGRAM)
    if found:
        yield found


def program():
    """The videoports program to run, or None."""
    for candidate in _candidates():
        if os.path.isfile(candidate) and os.access(candidate, os.X_OK):
            return candidate
    return None


def main():
    path = program()
    if path is None:
        print("videoports: the videoports program was not found: install the videoports wheel "
              "that carries it, or set VPI_LIBRARY to the vpi library of a build or an installed "
              "package (the program is looked for beside it), or VPI_PROGRAM to the program",
              file=sys.stderr)
        return 1
    arguments = [path] + sys.argv[1:]
    if sys.platform == "win32":  # no exec there: the program's status is passed on
        return subprocess.call(arguments)
    sys.stdout.flush()
    os.execv(path, arguments)  # standard streams, signals and status are the program's
    return 1


if __name__ == "__main__":
    sys.exit(main())
