#!/usr/bin/env bash
# Reading every file of the benchmark corpus with cat through `vrk mount`,
# against cat of the loose files and against `vrk extract` of the archive,
# side by side in one run (see ../shared/bench/make_corpus.cpp).
#
#   bench/mount.sh [CORPUS_DIR] [VRK_BINARY]
#
# CORPUS_DIR and VRK_BINARY default as bench/lib.sh says. The archive
# (vrk create of the corpus) is made once under /tmp/orvel-bench and kept.
# Every contender runs ROUNDS times (default 3), alternating, and the best time
# counts; the mount is made afresh for each round, so its pass starts with
# nothing in the kernel's cache of the mount (the archive file itself is in
# the page cache, as the loose files are). A second pass over the same mount
# shows what the kernel's cache then gives.
set -euo pipefail
rounds=${ROUNDS:-3}
source "$(dirname "$0")/lib.sh"
bench_setup mount.sh "$@"

work=$(mktemp -d /tmp/vrk-mount-bench-XXXXXX)
mnt=$work/mnt
mkdir "$mnt"
cleanup() {
  mountpoint -q "$mnt" && "$vrk" umount "$mnt" || true
  rm -rf "$work"
}
trap cleanup EXIT

files=$(find "$corpus" -type f | wc -l)
archive=/tmp/orvel-bench/vrk-corpus$files.vrk
mkdir -p /tmp/orvel-bench
if [[ ! -e $archive.built ]]; then
  echo "vrk create of the corpus (once, takes a while)..." >&2
  "$vrk" create -q "$archive" -C "$corpus" .
  touch "$archive.built"
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# cat of every file below the current directory, as few processes as xargs makes.
cat_all() { find . -type f -print0 | xargs -0 cat >/dev/null; }
timed() { local t0 t1; t0=$(now); "$@"; t1=$(now); seconds "$t0" "$t1"; }

# Everything the contenders read starts in the page cache.
tar cf - -C "$corpus" . >/dev/null
cat "${archive%.vrk}".* >/dev/null

loose="" mounted="" again="" extract=""
for ((round = 0; round < rounds; round++)); do
  loose=$(best "$loose" "$(cd "$corpus" && timed cat_all)")
  "$vrk" mount "$archive" "$mnt"
  mounted=$(best "$mounted" "$(cd "$mnt" && timed cat_all)")
  again=$(best "$again" "$(cd "$mnt" && timed cat_all)")
  "$vrk" umount "$mnt"
  rm -rf "$work/x"
  extract=$(best "$extract" "$(timed "$vrk" extract -q "$archive" -C "$work/x")")
done
"$vrk" mount "$archive" "$mnt"
diff -r -q "$corpus" "$mnt" >/dev/null || { echo "mount.sh: the mount differs from the corpus!" >&2; exit 1; }
"$vrk" umount "$mnt"

echo "corpus: $corpus, $files files; vrk: $vrk ($(nproc) cores, best of $rounds, seconds)"
printf '%-40s %8s\n' "cat of the loose files" "$loose"
printf '%-40s %8s\n' "cat through vrk mount" "$mounted"
printf '%-40s %8s\n' "cat through vrk mount, second pass" "$again"
printf '%-40s %8s\n' "vrk extract" "$extract"
echo
echo "mount / loose files:   $(ratio "$mounted" "$loose")"
echo "mount / vrk extract:   $(ratio "$mounted" "$extract")"
echo "second pass / loose:   $(ratio "$again" "$loose")"
