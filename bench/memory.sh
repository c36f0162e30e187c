#!/usr/bin/env bash
# Peak memory of vrk on one large file: create, extract, cat and verify, each
# measured with /usr/bin/time -v (maximum resident set size) against its
# budget: packing at most 1.15x the file's size plus 64 MiB, the others at
# most 1.05x plus 64 MiB.
#
#   bench/memory.sh [CORPUS_DIR] [VRK_BINARY]
#
# The file (SIZE bytes, default 1.5 GB) is the benchmark corpus's files one
# after another, repeated: half text, half random bytes, as the corpus is.
# CORPUS_DIR and VRK_BINARY default as bench/lib.sh says.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bench_setup memory.sh "$@"
size=${SIZE:-1500000000}
vrk=$(cd "$(dirname "$vrk")" && pwd)/$(basename "$vrk")
[[ -x /usr/bin/time ]] || { echo "memory.sh: /usr/bin/time is missing (scripts/bootstrap)" >&2; exit 2; }

work=$(mktemp -d /tmp/vrk-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT
files=$(find "$corpus" -type f | sort)
while (( $(stat -c %s "$work/big.bin" 2>/dev/null || echo 0) < size )); do
  xargs cat <<<"$files" >>"$work/big.bin"
done
truncate -s "$size" "$work/big.bin"

echo "file: $size bytes from $corpus; vrk: $vrk"
printf '%-10s %9s %14s %8s %8s\n' "step" "seconds" "peak RSS (kB)" "x size" "goal"
# run NAME FACTOR COMMAND...: times COMMAND and prints its peak against the
# budget FACTOR x size + 64 MiB.
run() {
  local name=$1 factor=$2
  shift 2
  /usr/bin/time -v -o "$work/time.txt" "$@"
  local kb secs
  kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  secs=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time.txt")
  awk -v n="$name" -v s="$secs" -v kb="$kb" -v size="$size" -v f="$factor" 'BEGIN {
    budget = f * size + 64 * 1048576
    printf "%-10s %9.1f %14d %8.3f %8s\n", n, s, kb, kb * 1024 / size,
           (kb * 1024 <= budget) ? "met" : "MISSED"
  }'
}
cd "$work"
run create 1.15 "$vrk" create -q big.vrk big.bin
run extract 1.05 "$vrk" extract -q big.vrk -C out
run cat 1.05 sh -c "exec '$vrk' cat big.vrk big.bin >/dev/null"
run verify 1.05 "$vrk" verify -q big.vrk
cmp -s big.bin out/big.bin || { echo "memory.sh: extracted file differs!" >&2; exit 1; }
echo "stored: $(stat -c %s big.vrk) bytes"
