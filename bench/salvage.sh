#!/usr/bin/env bash
# Salvage against extract, for both variants, on the benchmark corpus
# (../shared/bench/make_corpus.cpp): vrk create packs the corpus, vrk extract
# unpacks the whole archive, and vrk salvage recovers the archive cut to half
# its bytes (the advanced variant with its side files whole, the basic one
# with its tables gone, so that its files are found by their streams).
#
#   bench/salvage.sh [CORPUS_DIR] [VRK_BINARY]
#
# Defaults as in bench/pack.sh. Prints each time, and the ratio of the two
# speeds in archive bytes per second (salvage's over extract's); the goal is
# a ratio of at least 1. Each runs ROUNDS times (default 2), alternating, and
# the best time counts.
set -euo pipefail
rounds=${ROUNDS:-2}
source "$(dirname "$0")/lib.sh"
bench_setup salvage.sh "$@"
work=$(mktemp -d /tmp/vrk-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT


echo "corpus: $corpus; vrk: $vrk ($(nproc) cores, best of $rounds)"
printf '%-9s %10s %12s %10s %12s %8s %s\n' variant extract bytes salvage "half bytes" ratio goal
for variant in advanced basic; do
  if [[ $variant == advanced ]]; then
    archive=$work/c.vrk cut=$work/h.vrk out=$work/n.vrk
    "$vrk" create -q "$archive" -C "$corpus" .
    files=("$archive" "$work/c.bhl" "$work/c.lst")
  else
    archive=$work/c.pak cut=$work/h.pak out=$work/n.pak
    "$vrk" create -q --basic "$archive" -C "$corpus" .
    files=("$archive")
  fi
  bytes=$(size_of "${files[@]}")
  half=$(($(stat -c %s "$archive") / 2))
  head -c "$half" "$archive" >"$cut"
  if [[ $variant == advanced ]]; then
    cp "$work/c.bhl" "$work/h.bhl"
    cp "$work/c.lst" "$work/h.lst"
    half_bytes=$(size_of "$cut" "$work/h.bhl" "$work/h.lst")
  else
    half_bytes=$half
  fi
  extract="" salvage=""
  for ((round = 0; round < rounds; round++)); do
    rm -rf "$work/x"
    mkdir "$work/x"
    t0=$(now); "$vrk" extract -q "$archive" -C "$work/x"; t1=$(now)
    extract=$(best "$extract" "$(seconds "$t0" "$t1")")
    t0=$(now); "$vrk" salvage -q "$cut" "$out" 2>/dev/null || true; t1=$(now)
    salvage=$(best "$salvage" "$(seconds "$t0" "$t1")")
  done
  recovered=$("$vrk" list "$out" | wc -l)
  # Speeds in archive bytes per second; salvage's over extract's.
  ratio=$(awk -v hb="$half_bytes" -v s="$salvage" -v b="$bytes" -v e="$extract" \
    'BEGIN { printf "%.2f", (hb / (s > 0 ? s : 0.01)) / (b / (e > 0 ? e : 0.01)) }')
  goal=$(awk -v r="$ratio" 'BEGIN { print (r >= 1) ? "met" : "MISSED" }')
  printf '%-9s %10s %12s %10s %12s %8s %s (%s files recovered)\n' "$variant" "$extract" "$bytes" \
    "$salvage" "$half_bytes" "$ratio" "$goal" "$recovered"
  rm -rf "$work/x" "$work"/c.* "$work"/h.* "$work"/n.*
done
