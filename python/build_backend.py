"""A build backend (PEP 517) for this pure-Python package that needs nothing
beyond the standard library, so that `pip install ./python` works without a
package index: pip then has no build requirement to download."""

import base64
import hashlib
import io
import os
import tarfile
import zipfile

NAME = "videoports"
VERSION = "0.3.0"
SUMMARY = "The video ports of this machine, through the vpi C library of dovAzaveVevoZoraVuz7"
HERE = os.path.dirname(os.path.abspath(__file__))
DIST_INFO = f"{NAME}-{VERSION}.dist-info"


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


def _write_wheel(directory, editable=False):
    wheel_name = f"{NAME}-{VERSION}-py3-none-any.whl"
    entries = []
    if editable:
        entries.append((f"{NAME}.pth", (HERE + "\n").encode()))
    else:
        for name, path in _package_files():
            with open(path, "rb") as source:
                entries.append((name, source.read()))
    entries.append((f"{DIST_INFO}/METADATA", _metadata().encode()))
    entries.append(
        (f"{DIST_INFO}/WHEEL",
         b"Wheel-Version: 1.0\nGenerator: build_backend\nRoot-Is-Purelib: true\nTag: py3-none-any\n")
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
            wheel.writestr(name, data)
    return wheel_name


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, editable=True)


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
