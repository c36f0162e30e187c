#!/usr/bin/env bash
# check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
# lib, or the multiarch directory in a build made for Debian.
lib=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
for f in include/OrvelPacket.h include/orvel/IOrvelPacket.h $lib/libOrvelPacket.so \
         $lib/pkgconfig/OrvelPacket.pc $lib/cmake/OrvelPacket/OrvelPacketConfig.cmake; do
  test -e "$work/prefix/$f" || { echo "missing after install: $f"; exit 1; }
done
# The library carries its major version in its SONAME.
objdump -p "$work/prefix/$lib/libOrvelPacket.so" | grep -q 'SONAME *libOrvelPacket.so.1$'

# The package carries no rpath: hosts find the library as any other.
grep -q rpath "$work/prefix/$lib/pkgconfig/OrvelPacket.pc" && { echo "rpath in OrvelPacket.pc"; exit 1; }
export LD_LIBRARY_PATH="$work/prefix/$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

# A host built with pkg-config.
export PKG_CONFIG_PATH="$work/prefix/$lib/pkgconfig"
g++ -std=c++17 -Wall -Wextra -Werror "$src/examples/quickstart/quickstart.cpp" \
  $(pkg-config --cflags --libs OrvelPacket) -o "$work/quickstart"
"$work/quickstart" "$work/pc-demo" | grep -q "read 46 bytes"

# A host built with find_package.
cmake -S "$src/tests/install/host" -B "$work/host-build" \
  -DCMAKE_PREFIX_PATH="$work/prefix" -DQUICKSTART="$src/examples/quickstart/quickstart.cpp" \
  > "$work/host.log"
cmake --build "$work/host-build" >> "$work/host.log"
"$work/host-build/quickstart" "$work/cmake-demo" | grep -q "read 46 bytes"
# The installed tool finds the installed library.
if [ -e "$work/prefix/bin/vrk" ]; then
  "$work/prefix/bin/vrk" create -q "$work/t.vrk" -C "$src/examples/quickstart" quickstart.cpp
  "$work/prefix/bin/vrk" verify -q "$work/t.vrk"
fi
echo "installed package builds and runs hosts"
