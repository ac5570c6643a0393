"""A build backend (PEP 517) for this package that needs nothing beyond the
standard library, so that `pip install ./python` works without a package
index: pip then has no build requirement to download. The wheel it builds is
pure Python and carries no native library.

Run as a program, it writes the wheel that carries the native libraries and
the videoports program of an installed tree (`cmake --install BUILD --prefix
PREFIX`):

    python3 python/build_backend.py --libraries-from PREFIX -o OUT_DIR

Linux: every `lib*.so.<major>` of PREFIX/lib (the installed libraries find
one another through their RPATH $ORIGIN); Windows: every DLL of PREFIX/bin
(the package adds its folder to the DLL search path). The platform tag is
read from the libraries themselves; the Python and ABI tags are py3-none,
as the package is ctypes over a C library and has no extension module."""

import argparse
import base64
import glob
import hashlib
import io
import os
import re
import stat
import struct
import sys
import tarfile
import zipfile

NAME = "videoports"
VERSION = "0.4.0"
SUMMARY = "The video ports of this machine, through the vpi C library of dovAzaveVevoZoraVuz7"
HERE = os.path.dirname(os.path.abspath(__file__))
DIST_INFO = f"{NAME}-{VERSION}.dist-info"
PURE_TAG = "py3-none-any"
# A fixed time stamp makes the same inputs give the same wheel.
ZIP_TIME = (1980, 1, 1, 0, 0, 0)


def _metadata():
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as readme:
        description = readme.read()
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {NAME}\nVersion: {VERSION}\nSummary: {SUMMARY}\n"
        "License: MIT\nRequires-Python: >=3.8\n"
        "Description-Content-Type: text/markdown\n\n" + description
    )


def _package_files():
    """(path in the archive, path on disk) of every file of the package."""
    root = os.path.join(HERE, NAME)
    for directory, subdirectories, files in os.walk(root):
        subdirectories[:] = [d for d in subdirectories if d != "__pycache__"]
        for name in sorted(files):
            if name.endswith(".pyc"):
                continue
            path = os.path.join(directory, name)
            yield os.path.relpath(path, HERE).replace(os.sep, "/"), path


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def _read(path):
    with open(path, "rb") as source:
        return source.read()


def _write_wheel(directory, entries, tag=PURE_TAG):
    """Writes the wheel of `entries` ((name in the archive, bytes) of the
    package's files) with its .dist-info; returns the wheel's file name."""
    wheel_name = f"{NAME}-{VERSION}-{tag}.whl"
    purelib = "true" if tag == PURE_TAG else "false"
    entries = list(entries)
    entries.append((f"{DIST_INFO}/METADATA", _metadata().encode()))
    entries.append(
        (f"{DIST_INFO}/WHEEL",
         "Wheel-Version: 1.0\nGenerator: build_backend\n"
         f"Root-Is-Purelib: {purelib}\nTag: {tag}\n".encode())
    )
    entries.append(
        (f"{DIST_INFO}/entry_points.txt",
         b"[console_scripts]\nvideoports-py = videoports.__main__:main\n")
    )
    record = "".join(_record_line(name, data) for name, data in entries)
    record += f"{DIST_INFO}/RECORD,,\n"
    entries.append((f"{DIST_INFO}/RECORD", record.encode()))
    with zipfile.ZipFile(os.path.join(directory, wheel_name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in entries:
            info = zipfile.ZipInfo(name, ZIP_TIME)
            # The program runs (pip keeps the executable bit); the rest is read.
            info.external_attr = (stat.S_IFREG | (0o755 if name in _PROGRAMS else 0o644)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return wheel_name


def _source_entries():
    return [(name, _read(path)) for name, path in _package_files()]


# The platform tag of a library, from its machine field.
_ELF_MACHINES = {3: "linux_i686", 62: "linux_x86_64", 183: "linux_aarch64"}
_PE_MACHINES = {0x14C: "win32", 0x8664: "win_amd64", 0xAA64: "win_arm64"}


def _platform_tag(path):
    data = _read(path)
    if data[:4] == b"\x7fELF":
        machine = struct.unpack_from("<H", data, 18)[0]
        tags = _ELF_MACHINES
    elif data[:2] == b"MZ":
        header = struct.unpack_from("<I", data, 0x3C)[0]
        if data[header:header + 4] != b"PE\0\0":
            raise ValueError(f"{path}: not a PE file")
        machine = struct.unpack_from("<H", data, header + 4)[0]
        tags = _PE_MACHINES
    else:
        raise ValueError(f"{path}: neither an ELF nor a PE library")
    if machine not in tags:
        raise ValueError(f"{path}: no wheel platform tag for machine {machine:#x}")
    return tags[machine]


def _native_libraries(prefix):
    """The shared libraries of an installed tree, by the names the loader
    looks for: the DLLs of bin/, or the lib*.so.<major> files of lib/ (their
    SONAMEs; symbolic links are followed, a wheel holds no links)."""
    dlls = sorted(glob.glob(os.path.join(prefix, "bin", "*.dll")))
    if dlls:
        return dlls
    return sorted(
        path for path in glob.glob(os.path.join(prefix, "lib", "lib*.so.*"))
        if re.fullmatch(r"lib.+\.so\.\d+", os.path.basename(path))
    )


# The videoports program, which python -m videoports runs, in the wheel.
_PROGRAMS = {f"{NAME}/videoports", f"{NAME}/videoports.exe"}


def _program(prefix):
    for name in ("videoports.exe", "videoports"):
        path = os.path.join(prefix, "bin", name)
        if os.path.isfile(path):
            return path
    raise ValueError(f"{prefix} holds no installed videoports program (bin/videoports)")


def build_native_wheel(wheel_directory, prefix):
    """The package with the native libraries and the videoports program of
    the installed tree `prefix` beside its modules; returns the wheel's file
    name."""
    libraries = _native_libraries(prefix)
    names = [os.path.basename(path) for path in libraries]
    if "vpi.dll" not in names and "libvpi.so.1" not in names:
        raise ValueError(f"{prefix} holds no installed vpi library (bin/vpi.dll, lib/libvpi.so.1)")
    tags = {_platform_tag(path) for path in libraries}
    if len(tags) != 1:
        raise ValueError(f"{prefix}: libraries of several platforms ({', '.join(sorted(tags))})")
    entries = _source_entries()
    entries += [(f"{NAME}/{os.path.basename(path)}", _read(path))
                for path in libraries + [_program(prefix)]]
    return _write_wheel(wheel_directory, entries, f"py3-none-{tags.pop()}")


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, _source_entries())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, [(f"{NAME}.pth", (HERE + "\n").encode())])


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{VERSION}"
    sdist_name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, sdist_name), "w:gz") as sdist:
        for name in ["pyproject.toml", "README.md", "build_backend.py"]:
            sdist.add(os.path.join(HERE, name), f"{base}/{name}")
        for name, path in _package_files():
            sdist.add(path, f"{base}/{name}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata().encode()
        info.size = len(data)
        sdist.addfile(info, io.BytesIO(data))
    return sdist_name


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Writes the videoports wheel that carries an installed tree's libraries.")
    parser.add_argument("--libraries-from", required=True, metavar="PREFIX",
                        help="the installed tree (cmake --install ... --prefix PREFIX)")
    parser.add_argument("-o", "--output", default=".", metavar="DIR", help="where to write it")
    options = parser.parse_args(argv)
    try:
        os.makedirs(options.output, exist_ok=True)
        name = build_native_wheel(options.output, options.libraries_from)
    except (OSError, ValueError) as error:
        print(f"build_backend: {error}", file=sys.stderr)
        return 1
    print(os.path.join(options.output, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
