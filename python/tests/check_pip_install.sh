#!/usr/bin/env bash
# check_pip_install.sh BUILD_DIR SOURCE_DIR PYTHON
# Installs the library into a scratch prefix and the Python package with
# `pip install --no-build-isolation` into a virtual environment that sees
# Debian's packages, as the README says, then uses the installed package.
set -euo pipefail
build=$1
src=$2
python=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
# lib, or the multiarch directory in a build made for Debian.
lib=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
# pip builds inside the source folder; a copy keeps the checkout clean.
mkdir -p "$work/src/tools" "$work/src/src/codec"
cp -r "$src/python" "$work/src/python"
cp -r "$src/tools/vrk" "$work/src/tools/vrk"
cp "$src/src/codec/Lzo1x999Compress.h" "$src/src/codec/Lzo1x999Compress.cpp" "$work/src/src/codec/"
"$python" -m venv --system-site-packages "$work/venv"
# -O0: this checks the install, not the module's speed.
if ! PKG_CONFIG_PATH="$work/prefix/$lib/pkgconfig" CFLAGS="-O0 -g0" \
    "$work/venv/bin/pip" install --no-build-isolation --no-index "$work/src/python" \
    > "$work/pip.log" 2>&1; then
  cat "$work/pip.log"
  exit 1
fi

module=$(find "$work/venv" -name '_core*.so')
# The module takes the library from the shared object, holding no copy of it.
nm -D --undefined-only "$module" | grep -q 'g_piVrkSystem'
if nm -D --defined-only "$module" | grep -q 'g_piVrkSystem'; then
  echo "the module defines the library's entry object itself"
  exit 1
fi

cd "$work"
"$work/venv/bin/python" - "$work/prefix/$lib/libOrvelPacket.so" <<'PY'
import sys
import orvelpacket
assert orvelpacket.__file__.startswith(sys.prefix), orvelpacket.__file__
with orvelpacket.create("t.vrk") as a:
    a.add("x.txt", b"hello " * 100)
with orvelpacket.open("t.vrk") as a:
    assert a.read("X.TXT") == b"hello " * 100
assert sys.argv[1] in open("/proc/self/maps").read(), "not the installed library"
PY
echo "pip-installed orvelpacket works with the installed library"
