#!/usr/bin/env bash
# Writes the Debian symbols file of the library: every symbol the built
# library exports, with the version that first had it.
#
#   packaging/make-symbols.sh BUILD/libOrvelPacket.so.1 > packaging/debian/liborvelpacket1.symbols
#
# Run it when the exports change on purpose (src/frame/exports.map); the
# package test fails while the file and the library disagree. Symbols the
# file holds already keep their version; new ones get VERSION (default: the
# project's version).
set -euo pipefail
library=$1
version=${2:-$(sed -n 's/^project(OrvelPacket VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")}
old=$(dirname "$0")/debian/liborvelpacket1.symbols
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
major=${soname##*.so.}
echo "$soname liborvelpacket$major #MINVER#"
echo "* Build-Depends-Package: liborvelpacket-dev"
nm -D --defined-only --format=posix "$library" | awk '{ print $1 }' | sort -u |
  while read -r symbol; do
    known=$( [[ -f $old ]] && awk -v s=" $symbol@Base" 'index($0, s " ") == 1 { print $2 }' "$old" || true)
    echo " $symbol@Base ${known:-$version}"
  done
