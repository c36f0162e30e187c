#!/usr/bin/env bash
# check_debs.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
if ! command -v dpkg-deb > /dev/null; then
  echo "skipped: dpkg-deb is not installed, so no Debian package can be built"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/debs") > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
shopt -s nullglob
debs=("$work"/debs/*.deb)
((${#debs[@]})) || { echo "cpack wrote no package"; cat "$work/cpack.log"; exit 1; }

root="$work/root"
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
  echo "$(dpkg-deb -f "$deb" Package): $(dpkg-deb -f "$deb" Depends)"
done
fail() { echo "$*"; exit 1; }
for f in usr/lib/libOrvelPacket.so.1 usr/lib/libOrvelPacket.so usr/include/OrvelPacket.h \
         usr/include/orvel/IOrvelPacket.h usr/lib/pkgconfig/OrvelPacket.pc \
         usr/lib/cmake/OrvelPacket/OrvelPacketConfig.cmake; do
  test -e "$root/$f" || fail "no package carries $f"
done
objdump -p "$root/usr/lib/libOrvelPacket.so.1" | grep -q 'SONAME *libOrvelPacket.so.1$' ||
  fail "the packaged library lacks its SONAME"

# The development package needs the runtime package of the same version.
version=$(dpkg-deb -f "$work"/debs/liborvelpacket1_*.deb Version)
dpkg-deb -f "$work"/debs/liborvelpacket-dev_*.deb Depends |
  grep -q "liborvelpacket1 (= $version)" || fail "liborvelpacket-dev does not depend on liborvelpacket1"

export LD_LIBRARY_PATH="$root/usr/lib"
export PKG_CONFIG_PATH="$root/usr/lib/pkgconfig"
g++ -std=c++17 -Wall -Wextra -Werror "$src/examples/quickstart/quickstart.cpp" \
  $(pkg-config --cflags --libs OrvelPacket) -o "$work/quickstart"
"$work/quickstart" "$work/pc-demo" | grep -q "read 46 bytes" || fail "pkg-config host failed"

cmake -S "$src/tests/install/host" -B "$work/host-build" -DCMAKE_PREFIX_PATH="$root/usr" \
  -DQUICKSTART="$src/examples/quickstart/quickstart.cpp" > "$work/host.log" 2>&1 ||
  { cat "$work/host.log"; exit 1; }
cmake --build "$work/host-build" >> "$work/host.log" 2>&1 || { cat "$work/host.log"; exit 1; }
"$work/host-build/quickstart" "$work/cmake-demo" | grep -q "read 46 bytes" || fail "CMake host failed"

# The tool package: vrk with its man page and bash completion.
if [ -e "$build/tools/vrk/vrk" ]; then
  test -x "$root/usr/bin/vrk" || fail "no package carries vrk"
  "$root/usr/bin/vrk" --help | grep -q create || fail "the packaged vrk does not run"
  dpkg-deb -f "$work"/debs/vrk_*.deb Depends | grep -q "liborvelpacket1 (= $version)" ||
    fail "vrk does not depend on liborvelpacket1"
  completion="$root/usr/share/bash-completion/completions/vrk"
  bash -n "$completion" || fail "completion script broken"
  # Every command and alias of `vrk --help` is completed.
  for name in $("$root/usr/bin/vrk" --help | awk '/^Subcommands:/ { on = 1; next }
      on && /^$/ { exit } on { sub(/^ +/, ""); split($0, f, /  +/); gsub(/,/, "", f[1]); print f[1] }'); do
    grep -qw -- "$name" "$completion" || fail "the completion script lacks the command $name"
  done
  if command -v help2man > /dev/null; then
    man=("$root"/usr/share/man/man1/vrk.1*)
    ((${#man[@]})) || fail "no man page vrk.1"
    zcat -f "${man[0]}" | grep -q '^\.TH VRK' || fail "vrk.1 is not a man page"
  fi
fi
echo "the Debian packages install and build hosts"
