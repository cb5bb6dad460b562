#!/usr/bin/env bash
# Measures tarnivel-directory with wrk on loopback, beside nginx answering a fixed body to the
# same requests (the floor), and prints each figure with nginx's and the ratio. Run by hand:
#
#   bash bench/bench_directory.sh    DURATION=5 (seconds a run), REPEAT=3, BUILD=build, ROOMS=100000,
#                                    THREADS=$(nproc) (the server's threads and nginx's workers),
#                                    BASELINE=path/to/an/older/tarnivel-directory (measured beside),
#                                    PORT_BASE=18080
#
# Workload (bench/directory/mix.lua): 50 connections, callers entering, renewing and leaving
# 10 000 rooms, half of them with code page 932 names; once with one request per connection
# ("Connection: close"), once with keep-alive. Then memory: ROOMS rooms, each with its own
# waiting caller, registered through X-Forwarded-For with --trust-proxy (one loopback client
# can then be 100 000 callers, and --max-rooms-per-caller holds as it would in use). Every
# limit per caller and network is counted, with caps high enough for 10.0.0.0/8 to stand for
# many networks.
# wrk, nginx and the server share the machine's cores, so each figure is the median of REPEAT
# runs, taken in turns with nginx's. nginx runs as many workers as the server has threads.
# Last, Redis is stopped (SIGSTOP) under the Redis front end: how long a request takes to be
# answered 503 (--redis-timeout 1), and how long after SIGCONT it answers again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts=bench/directory
DURATION=${DURATION:-5}
REPEAT=${REPEAT:-3}
BUILD=${BUILD:-build}
ROOMS=${ROOMS:-100000}
THREADS=${THREADS:-$(nproc)}
BASELINE=${BASELINE:-}
PORT_BASE=${PORT_BASE:-18080}
MEMORY_PORT=$PORT_BASE REDIS_FRONT_PORT=$((PORT_BASE + 1)) FILL_PORT=$((PORT_BASE + 2)) BASELINE_PORT=$((PORT_BASE + 3))
NGINX_PORT=$((PORT_BASE + 10)) REDIS_PORT=$((PORT_BASE + 299))

# Needed by this benchmark only, so installed here rather than by tools/install-deps.sh.
missing=()
for p in wrk nginx-light redis-server curl; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ "${#missing[@]}" -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target tarnivel-directory -j2 >/dev/null
server="$BUILD/tarnivel-directory"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a command in the background and remembers it; its pid is left in $started.
start() {
  "$@" &
  started=$!
  pids+=("$started")
}

wait_for_port() {
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  exit 1
}

# Prints "requests/s p50-ms p99-ms non-2xx" for one wrk run of the mix.
measure() {
  local port=$1 close=$2 out
  out=$(BENCH_CLOSE=$close wrk -t2 -c50 -d"${DURATION}s" --latency -s "$scripts/mix.lua" "http://127.0.0.1:$port/")
  awk '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    /Requests\/sec/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }
    $1 == "99%" { p99 = ms($2) }
    /Non-2xx/ { bad = $NF }
    END { printf "%.0f %.2f %.2f %d\n", rps, p50, p99, bad }' <<<"$out"
}

sed -e "s|@DIR@|$work|g" -e "s|@PORT@|$NGINX_PORT|g" -e "s|@WORKERS@|$THREADS|g" "$scripts/nginx.conf.in" >"$work/nginx.conf"
start nginx -c "$work/nginx.conf" -p "$work"
start redis-server --port "$REDIS_PORT" --bind 127.0.0.1 --save '' --appendonly no --loglevel warning
redis_pid=$started
# As deployed behind a proxy, access log on but thrown away; every limit counts, but those the
# callers of the mix share (a /24 holds 256 of them) are set high.
high=1000000
common=(--open --trust-proxy 127.0.0.1/32 --threads "$THREADS" --rate-limit "$high" --rate-limit-per-56 "$high"
        --rate-limit-per-48 "$high" --rate-limit-per-24 "$high" --max-rooms-per-24 "$high")
start "$server" --listen "127.0.0.1:$MEMORY_PORT" "${common[@]}" >/dev/null
wait_for_port "$REDIS_PORT"
start "$server" --listen "127.0.0.1:$REDIS_FRONT_PORT" --redis "127.0.0.1:$REDIS_PORT" "${common[@]}" >/dev/null
ports=("$NGINX_PORT" "$MEMORY_PORT" "$REDIS_FRONT_PORT")
if [ -n "$BASELINE" ]; then
  # An older build, with the options it understands (BASELINE_OPTIONS).
  read -r -a baseline_options <<<"${BASELINE_OPTIONS:---open --trust-proxy --rate-limit 0 --max-connections-per-address 0}"
  start "$BASELINE" --listen "127.0.0.1:$BASELINE_PORT" "${baseline_options[@]}" >/dev/null
  ports+=("$BASELINE_PORT")
fi
for port in "${ports[@]}"; do wait_for_port "$port"; done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "load average before the runs: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores; $THREADS server threads, $THREADS nginx workers)"
printf '%-26s %12s %12s %7s   %s\n' "" "directory" "nginx" "ratio" "target"
for mode in close keep-alive; do
  close=0
  [ "$mode" = close ] && close=1
  runs=()
  for _ in $(seq "$REPEAT"); do
    for port in "${ports[@]}"; do runs+=("$port $(measure "$port" "$close")"); done
  done
  # Median of one column (2 requests/s, 3 p50, 4 p99, 5 non-2xx) over the runs against one port.
  figure() { median $(printf '%s\n' "${runs[@]}" | awk -v p="$1" -v c="$2" '$1 == p { print $c }'); }
  n_rps=$(figure "$NGINX_PORT" 2) n_p50=$(figure "$NGINX_PORT" 3) n_p99=$(figure "$NGINX_PORT" 4)
  m_rps=$(figure "$MEMORY_PORT" 2) m_p50=$(figure "$MEMORY_PORT" 3) m_p99=$(figure "$MEMORY_PORT" 4) m_bad=$(figure "$MEMORY_PORT" 5)
  r_rps=$(figure "$REDIS_FRONT_PORT" 2) r_p50=$(figure "$REDIS_FRONT_PORT" 3) r_p99=$(figure "$REDIS_FRONT_PORT" 4) r_bad=$(figure "$REDIS_FRONT_PORT" 5)
  target=1.0
  [ "$mode" = keep-alive ] && target=0.9
  printf '%-26s %12s %12s %7s   >= %s x nginx\n' "$mode: requests/s" "$m_rps" "$n_rps" "$(ratio "$m_rps" "$n_rps")" "$target"
  printf '%-26s %12s %12s\n' "$mode: p50 ms" "$m_p50" "$n_p50"
  p99_target=10
  [ "$mode" = keep-alive ] && p99_target=5
  printf '%-26s %12s %12s %7s   < %s ms\n' "$mode: p99 ms" "$m_p99" "$n_p99" "" "$p99_target"
  printf '%-26s %12s %12s %7s   >= 0.5 x in-process\n' "$mode: redis requests/s" "$r_rps" "($m_rps)" "$(ratio "$r_rps" "$m_rps")"
  printf '%-26s %12s\n' "$mode: redis p50/p99 ms" "$r_p50/$r_p99"
  printf '%-26s %12s %12s   (refusals such as TooManyRooms, part of the mix)\n' "$mode: non-2xx answers" "$m_bad" "redis $r_bad"
  if [ -n "$BASELINE" ]; then
    b_rps=$(figure "$BASELINE_PORT" 2) b_p50=$(figure "$BASELINE_PORT" 3) b_p99=$(figure "$BASELINE_PORT" 4)
    printf '%-26s %12s %12s %7s   (%s)\n' "$mode: baseline requests/s" "$b_rps" "$n_rps" "$(ratio "$b_rps" "$n_rps")" "$BASELINE"
    printf '%-26s %12s %12s\n' "$mode: baseline p50/p99 ms" "$b_p50/$b_p99" ""
  fi
done

# Memory: a fresh in-process server filled with ROOMS waiting callers.
start "$server" --listen "127.0.0.1:$FILL_PORT" "${common[@]}" --quiet --expiry 3600
fill_pid=$started
wait_for_port "$FILL_PORT"
before=$(awk '/VmRSS/ { print $2 }' "/proc/$fill_pid/status")
seconds=$((ROOMS / 5000 + 5))
sent=$(BENCH_ROOMS=$ROOMS BENCH_THREADS=2 wrk -t2 -c50 -d"${seconds}s" -s "$scripts/register.lua" "http://127.0.0.1:$FILL_PORT/" |
  awk '/requests in/ { print $1 }')
# Spot checks: a room asked for by someone else must name its own waiting caller.
probe() {
  exec 3<>"/dev/tcp/127.0.0.1/$FILL_PORT"
  printf 'GET /?reg%s HTTP/1.1\r\nHost: d\r\nX-Forwarded-For: 192.0.2.1\r\nConnection: close\r\n\r\n' "$1" >&3
  tail -n1 <&3
  exec 3<&-
}
checks="reg0=$(probe 0) reg$((ROOMS / 2))=$(probe $((ROOMS / 2))) reg$((ROOMS - 1))=$(probe $((ROOMS - 1)))"
read -r hwm rss < <(awk '/VmHWM/ { h = $2 } /VmRSS/ { r = $2 } END { print h, r }' "/proc/$fill_pid/status")
echo
echo "memory with $ROOMS waiting callers ($sent requests sent; $checks):"
awk -v h="$hwm" -v r="$rss" -v b="$before" 'BEGIN { printf "  VmHWM %.1f MB, VmRSS %.1f MB (%.1f MB before filling)   target < 100 MB\n", h / 1024, r / 1024, b / 1024 }'

# Redis stopped under the Redis front end: each request must be answered 503 within
# --redis-timeout (1 s), not held for as long as Redis sleeps.
url="http://127.0.0.1:$REDIS_FRONT_PORT/?pause"
curl -s -o /dev/null -H 'X-Forwarded-For: 192.0.2.99' "$url"
kill -STOP "$redis_pid"
times=()
for i in 1 2 3 4 5; do
  times+=("$(curl -s -o /dev/null -H "X-Forwarded-For: 192.0.2.$i" -w '%{http_code} %{time_total}' "$url")")
done
kill -CONT "$redis_pid"
resumed=$(date +%s%N)
until [ "$(curl -s -o /dev/null -H 'X-Forwarded-For: 192.0.2.98' -w '%{http_code}' "$url")" = 200 ]; do sleep 0.01; done
back=$(( ($(date +%s%N) - resumed) / 1000000 ))
echo
echo "Redis stopped (SIGSTOP), --redis-timeout 1: five requests in a row answered"
printf '  %s\n' "${times[@]}" | awk '{ printf "  %s after %.0f ms\n", $1, $2 * 1000 }'
echo "  answering 200 again $back ms after SIGCONT"
