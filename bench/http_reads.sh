#!/usr/bin/env bash
# Reading the corpus archive over HTTP against reading it from the disk, in
# one run, nginx on a loopback port (its configuration, logs and temporary
# paths in a temporary directory):
# - vrk extract of the whole archive from a URL: at most 1.5x the time of
#   vrk extract of the same archive on disk;
# - 1,000 random files read after the open (bench_random_reads): one range
#   request per file (counted in nginx's access log), at most 5x the disk.
#
#   bench/http_reads.sh [CORPUS_DIR] [VRK_BINARY]
#
# Each timing is the best of ROUNDS (default 2). bench_random_reads comes from
# the build directory beside vrk (cmake --build build --target bench_random_reads).
set -euo pipefail
rounds=${ROUNDS:-2}
source "$(dirname "$0")/lib.sh"
bench_setup http_reads.sh "$@"
reads=$(dirname "$vrk")/../../bench/bench_random_reads
[[ -x $reads ]] || { echo "http_reads.sh: build bench_random_reads first" >&2; exit 2; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[[ -x $nginx ]] || { echo "http_reads.sh: nginx is missing (scripts/bootstrap)" >&2; exit 2; }

work=$(mktemp -d /tmp/vrk-bench-XXXXXX)
chmod 755 "$work"
pid=""
trap '[[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/www" "$work/nginx"
"$vrk" create -q "$work/www/c.vrk" -C "$corpus" .

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
n=$work/nginx
cat >"$n/nginx.conf" <<CONF
daemon off; worker_processes 1; pid $n/nginx.pid; error_log $n/error.log;
events { worker_connections 64; }
http { access_log $n/access.log; keepalive_requests 100000;
  client_body_temp_path $n/b; proxy_temp_path $n/p; fastcgi_temp_path $n/f;
  uwsgi_temp_path $n/u; scgi_temp_path $n/s;
  server { listen 127.0.0.1:$port; root $work/www; } }
CONF
user=()
[[ $(id -u) -eq 0 ]] && user=(-g "user root;")
"$nginx" -p "$n" -c "$n/nginx.conf" -e "$n/error.log" "${user[@]}" &
pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done
url=http://127.0.0.1:$port/c.vrk

disk="" http=""
for ((round = 0; round < rounds; round++)); do
  rm -rf "$work/out"
  t0=$(now); "$vrk" extract -q "$work/www/c.vrk" -C "$work/out"; t1=$(now)
  disk=$(best "$disk" "$(seconds "$t0" "$t1")")
  rm -rf "$work/out"
  t0=$(now); "$vrk" extract -q "$url" -C "$work/out"; t1=$(now)
  http=$(best "$http" "$(seconds "$t0" "$t1")")
done
echo "extract: disk ${disk}s, http ${http}s, ratio $(ratio "$http" "$disk") (goal <= 1.5)"

rdisk="" rhttp=""
for ((round = 0; round < rounds; round++)); do
  rdisk=$(best "$rdisk" "$("$reads" "$work/www/c.vrk" 1000 | cut -d' ' -f1)")
  before=$(wc -l <"$n/access.log")
  rhttp=$(best "$rhttp" "$("$reads" "$url" 1000 | cut -d' ' -f1)")
  requests=$(($(wc -l <"$n/access.log") - before))
done
# Before the 1,000 reads: the archive's first bytes twice (the header probe
# and the open), the table file whole, the name list's first bytes at open and
# the rest when the bench lists the names: 5 requests.
echo "1000 random reads: disk ${rdisk}s, http ${rhttp}s, ratio $(ratio "$rhttp" "$rdisk") (goal <= 5);" \
     "requests $requests (1000 reads + 5 before them)"
