"""Builds orvelpacket._core against an installed OrvelPacket library.

The library is found with pkg-config, so install it first and point
PKG_CONFIG_PATH at it when the prefix is not a system one:

    cmake -S . -B build && cmake --build build -j && cmake --install build --prefix /opt/orvel
    PKG_CONFIG_PATH=/opt/orvel/lib/pkgconfig pip install --no-build-isolation ./python

The module links that library (libOrvelPacket.so), finding it at run time
where it was installed; it also compiles seven of vrk's own sources (the
names of the error codes, archive naming, salvage's words, URLs and the tree
record) and the library's LZO1X-999 compressor, which is why it is built from
a checkout of the whole tree.
"""

import os
import shlex
import subprocess
import sys
from pathlib import Path

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = Path(__file__).resolve().parent
TOOL = HERE.parent / "tools" / "vrk"
CODEC = HERE.parent / "src" / "codec"
TOOL_SOURCES = ["console/ErrorReport.cpp", "console/PrintableText.cpp", "archive/ArchiveNaming.cpp",
                "archive/SalvageWords.cpp", "archive/RemoteArchive.cpp", "tree/TreeRecord.cpp",
                "tree/RecordCodec.cpp"]


def pkg_config(*args: str) -> list:
    try:
        done = subprocess.run(["pkg-config", *args], check=True, capture_output=True, text=True)
    except FileNotFoundError:
        sys.exit("orvelpacket: pkg-config is missing (Debian: apt-get install pkg-config)")
    except subprocess.CalledProcessError as e:
        sys.exit("orvelpacket: pkg-config " + " ".join(args) + " failed: " + e.stderr.strip() +
                 "\nInstall the library (cmake --install BUILD --prefix PREFIX) and set "
                 "PKG_CONFIG_PATH=PREFIX/lib/pkgconfig")
    return shlex.split(done.stdout)


def strip(flags: list, prefix: str) -> list:
    return [f[len(prefix):] for f in flags if f.startswith(prefix)]


missing = [s for s in TOOL_SOURCES if not (TOOL / s).is_file()]
if missing:
    sys.exit(f"orvelpacket: {TOOL} lacks {', '.join(missing)}; build from the project's tree")
# The library's LZO1X-999 compressor stands alone and is not exported: it is
# compiled in.
COMPRESSOR = CODEC / "Lzo1x999Compress.cpp"
if not COMPRESSOR.is_file():
    sys.exit(f"orvelpacket: {COMPRESSOR} is missing; build from the project's tree")

packages = ["OrvelPacket", "lzo2"]
libdir = pkg_config("--variable=libdir", "OrvelPacket")

# setuptools takes sources relative to this folder only.
sources = sorted((HERE / "src").glob("*.cpp")) + [TOOL / s for s in TOOL_SOURCES] + [COMPRESSOR]

core = Pybind11Extension(
    "orvelpacket._core",
    [os.path.relpath(s, HERE) for s in sources],
    cxx_std=17,
    include_dirs=[str(HERE / "src"), str(TOOL), str(CODEC)] + strip(pkg_config("--cflags-only-I", *packages), "-I"),
    library_dirs=strip(pkg_config("--libs-only-L", *packages), "-L"),
    libraries=strip(pkg_config("--libs-only-l", *packages), "-l") + ["pthread"],
    runtime_library_dirs=libdir,
    extra_compile_args=["-Wall", "-Wextra"],
)

os.chdir(HERE)
setup(
    packages=["orvelpacket"],
    package_data={"orvelpacket": ["py.typed", "*.pyi"]},
    ext_modules=[core],
    cmdclass={"build_ext": build_ext},
)
