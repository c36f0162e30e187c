#!/usr/bin/env bash
# Packing and extracting a tree: vrk against zip and tar | lzop, side by side
# in one run, on the benchmark corpus (20,000 files of 1 to 64 KiB, half text,
# half random bytes; see ../shared/bench/make_corpus.cpp).
#
#   bench/pack.sh [CORPUS_DIR] [VRK_BINARY]
#
# CORPUS_DIR and VRK_BINARY default as bench/lib.sh says. Prints each
# tool's time and size and the ratios; vrk create must take at most 0.67x the
# time of zip -r -9, and vrk extract less than unzip; the tree record may cost
# at most 3% in time and bytes against vrk create --no-attributes. vrk (with
# and without the record) and zip run ROUNDS times each (default 2),
# alternating, and the best time counts, so that a burst of other work on the
# machine does not decide the comparison.
set -euo pipefail
rounds=${ROUNDS:-2}
source "$(dirname "$0")/lib.sh"
bench_setup pack.sh "$@"
for tool in zip unzip lzop tar /usr/bin/time; do
  command -v $tool >/dev/null || { echo "pack.sh: $tool is missing (scripts/bootstrap)" >&2; exit 2; }
done

corpus=$(cd "$corpus" && pwd)
work=$(mktemp -d /tmp/vrk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT


files=$(find "$corpus" -type f | wc -l)
original=$(find "$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
# Read the tree once so every contender finds it in the page cache.
tar cf - -C "$corpus" . >/dev/null

echo "corpus: $corpus, $files files, $original bytes; vrk: $vrk ($(nproc) cores, best of $rounds)"
printf '%-28s %9s %12s %8s\n' "packing" "seconds" "bytes" "size"

# cpu COMMAND...: runs it and prints the processor time it took (user and
# system), which other work on the machine disturbs far less than the wall
# clock.
cpu() {
  /usr/bin/time -f '%U %S' -o "$work/cpu" "$@"
  awk '{ printf "%.2f", $1 + $2 }' "$work/cpu"
}
vrk_pack="" bare_pack="" zip_pack="" vrk_cpu="" bare_cpu=""
for ((round = 0; round < rounds; round++)); do
  rm -f "$work"/c.vrk "$work"/c.bhl "$work"/c.lst "$work"/b.vrk "$work"/b.bhl "$work"/b.lst "$work"/c.zip
  t0=$(now); c=$(cpu "$vrk" create -q "$work/c.vrk" -C "$corpus" .); t1=$(now)
  vrk_pack=$(best "$vrk_pack" "$(seconds "$t0" "$t1")") vrk_cpu=$(best "$vrk_cpu" "$c")
  t0=$(now); c=$(cpu "$vrk" create -q --no-attributes "$work/b.vrk" -C "$corpus" .); t1=$(now)
  bare_pack=$(best "$bare_pack" "$(seconds "$t0" "$t1")") bare_cpu=$(best "$bare_cpu" "$c")
  t0=$(now); (cd "$corpus" && zip -r -9 -q "$work/c.zip" .); t1=$(now)
  zip_pack=$(best "$zip_pack" "$(seconds "$t0" "$t1")")
done
vrk_size=$(size_of "$work/c.vrk" "$work/c.bhl" "$work/c.lst")
printf '%-28s %9s %12s %8s\n' "vrk create" "$vrk_pack" "$vrk_size" "$(ratio "$vrk_size" "$original")"
bare_size=$(size_of "$work/b.vrk" "$work/b.bhl" "$work/b.lst")
printf '%-28s %9s %12s %8s\n' "vrk create --no-attributes" "$bare_pack" "$bare_size" "$(ratio "$bare_size" "$original")"
zip_size=$(size_of "$work/c.zip")
printf '%-28s %9s %12s %8s\n' "zip -r -9" "$zip_pack" "$zip_size" "$(ratio "$zip_size" "$original")"

t0=$(now); tar cf - -C "$corpus" . | lzop -9 >"$work/c.tar.lzo"; t1=$(now)
lzop_pack=$(seconds "$t0" "$t1")
lzop_size=$(size_of "$work/c.tar.lzo")
printf '%-28s %9s %12s %8s\n' "tar cf - | lzop -9" "$lzop_pack" "$lzop_size" "$(ratio "$lzop_size" "$original")"

printf '%-28s %9s %12s\n' "extracting" "seconds" ""
vrk_extract="" unzip_extract=""
for ((round = 0; round < rounds; round++)); do
  rm -rf "$work/x-vrk" "$work/x-zip"
  mkdir "$work/x-vrk" "$work/x-zip"
  t0=$(now); "$vrk" extract -q "$work/c.vrk" -C "$work/x-vrk"; t1=$(now)
  vrk_extract=$(best "$vrk_extract" "$(seconds "$t0" "$t1")")
  t0=$(now); unzip -q "$work/c.zip" -d "$work/x-zip"; t1=$(now)
  unzip_extract=$(best "$unzip_extract" "$(seconds "$t0" "$t1")")
done
printf '%-28s %9s\n' "vrk extract" "$vrk_extract"
printf '%-28s %9s\n' "unzip" "$unzip_extract"
diff -r -q "$corpus" "$work/x-vrk" >/dev/null || { echo "vrk extract: tree differs!" >&2; exit 1; }

pack_ratio=$(ratio "$vrk_pack" "$zip_pack")
record_time=$(ratio "$vrk_pack" "$bare_pack")
record_cpu=$(ratio "$vrk_cpu" "$bare_cpu")
record_bytes=$(ratio "$vrk_size" "$bare_size")
within() { awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "met" : "MISSED" }'; }
extract_ratio=$(ratio "$vrk_extract" "$unzip_extract")
pack_ok=$(awk -v r="$pack_ratio" 'BEGIN { print (r <= 0.67) ? "met" : "MISSED" }')
extract_ok=$(awk -v r="$extract_ratio" 'BEGIN { print (r < 1) ? "met" : "MISSED" }')
echo
echo "vrk create / zip -r -9:        $pack_ratio  (goal <= 0.67: $pack_ok)"
echo "tree record, time:             $record_time  (goal <= 1.03: $(within "$record_time" 1.03))"
echo "tree record, processor time:   $record_cpu  ($vrk_cpu s against $bare_cpu s; goal <= 1.03: $(within "$record_cpu" 1.03))"
echo "tree record, bytes:            $record_bytes  (goal <= 1.03: $(within "$record_bytes" 1.03))"
echo "vrk create / tar | lzop -9:    $(ratio "$vrk_pack" "$lzop_pack")"
echo "vrk extract / unzip:           $extract_ratio  (goal < 1: $extract_ok)"
