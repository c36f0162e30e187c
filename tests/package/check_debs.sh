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

# Where the build installs the library: lib, or the multiarch directory in
# a build made for Debian.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
debian=$(sed -n 's/^ORVEL_DEBIAN:BOOL=//p' "$build/CMakeCache.txt")
root="$work/root"
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
  echo "$(dpkg-deb -f "$deb" Package): $(dpkg-deb -f "$deb" Depends)"
done
fail() { echo "$*"; exit 1; }
for f in usr/$libdir/libOrvelPacket.so.1 usr/$libdir/libOrvelPacket.so usr/include/OrvelPacket.h \
         usr/include/orvel/IOrvelPacket.h usr/$libdir/pkgconfig/OrvelPacket.pc \
         usr/$libdir/cmake/OrvelPacket/OrvelPacketConfig.cmake; do
  test -e "$root/$f" || fail "no package carries $f"
done
objdump -p "$root/usr/$libdir/libOrvelPacket.so.1" | grep -q 'SONAME *libOrvelPacket.so.1$' ||
  fail "the packaged library lacks its SONAME"

# The development package needs the runtime package of the same version.
version=$(dpkg-deb -f "$work"/debs/liborvelpacket1_*.deb Version)
dpkg-deb -f "$work"/debs/liborvelpacket-dev_*.deb Depends |
  grep -q "liborvelpacket1 (= $version)" || fail "liborvelpacket-dev does not depend on liborvelpacket1"

export LD_LIBRARY_PATH="$root/usr/$libdir"
export PKG_CONFIG_PATH="$root/usr/$libdir/pkgconfig"
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
# The symbols file lists exactly what the library exports.
diff <(sed -n 's/^ \([^@]*\)@Base .*/\1/p' "$src/packaging/debian/liborvelpacket1.symbols") \
     <(nm -D --defined-only --format=posix "$root/usr/$libdir/libOrvelPacket.so.1" | awk '{ print $1 }' | sort -u) ||
  fail "the library's exports differ from packaging/debian/liborvelpacket1.symbols (< file, > library); " \
       "if the change is meant, run packaging/make-symbols.sh on the library"

# Packages of a build made for Debian pass lintian.
if [[ $debian == ON ]]; then
  python=("$work"/debs/python3-orvelpacket_*.deb)
  if ((${#python[@]})); then
    # Debian's interpreter, which the package is for.
    python3=/usr/bin/python3
    [[ -x $python3 ]] || python3=python3
    PYTHONPATH="$root/usr/lib/python3/dist-packages" "$python3" -c \
      "import orvelpacket, sys
with orvelpacket.create('$work/py.vrk') as a: a.add('x', b'y')
sys.exit(0 if orvelpacket.open('$work/py.vrk')['x'] == b'y' else 1)" ||
      fail "the packaged Python module does not load"
  fi
  if command -v lintian > /dev/null; then
    lintian --pedantic -I --fail-on error,warning,pedantic "${debs[@]}" ||
      fail "lintian finds faults in the packages"
  else
    echo "lintian is not installed: the packages are not checked against Debian's policy"
  fi
else
  echo "this build is not configured for Debian (-DORVEL_DEBIAN=ON): lintian is not run"
fi
echo "the Debian packages install and build hosts"
