# Shared pieces of the benchmark scripts: sourced, never run.
#
#   source "$(dirname "$0")/lib.sh"
#   bench_setup NAME "$@"   sets $root, $corpus (absolute) and $vrk from the
#                           arguments [CORPUS_DIR] [VRK_BINARY], or exits 2
#                           with a message naming NAME.
# VRK_BINARY defaults to the first vrk that exists of build-py, build and
# build-tool; CORPUS_DIR to /tmp/corpus/loose (../shared/bench/make_corpus.cpp).

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
size_of() { du -cb "$@" | tail -n1 | cut -f1; }

bench_setup() {
  local name=$1
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  corpus=${2:-/tmp/corpus/loose}
  vrk=${3:-}
  if [[ -z $vrk ]]; then
    local candidate
    for candidate in "$root"/build-py/tools/vrk/vrk "$root"/build/tools/vrk/vrk \
                     "$root"/build-tool/tools/vrk/vrk; do
      if [[ -x $candidate ]]; then vrk=$candidate; break; fi
    done
  fi
  [[ -x $vrk ]] || { echo "$name: no vrk binary; build the vrk target first" >&2; exit 2; }
  [[ -d $corpus ]] || { echo "$name: no corpus at $corpus (see ../shared/bench)" >&2; exit 2; }
  corpus=$(cd "$corpus" && pwd)
}
