#!/bin/bash
# 21 command cycles in one console run (`-h`, twenty `-c SHOW`, one
# `-cd SHOW`, `--print`) against the router simulator, directly and through
# a SOCKS 5 proxy that relays piece by piece without TCP_NODELAY (microsocks),
# paired runs. Prints medians of wall time and the goal: the proxied run at
# most 1.2 times the direct one plus 5 ms per cycle. Nothing passes or fails.
#
#   sudo bench/socks_bench.sh BIN_DIR [RUNS] [ADDRESS]
#
# BIN_DIR holds vantrel, its libraries and vantrel-routersim. Needs root
# (port 23; microsocks is installed with apt-get when missing).
set -euo pipefail
bin=$(realpath "$1")
runs=${2:-21}
address=${3:-127.0.0.81}
cycles=21

if ! command -v microsocks >/dev/null; then
  apt-get update >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends microsocks >/dev/null
fi

work=$(mktemp -d)
trap 'kill "$sim" "$proxy" 2>/dev/null || true; rm -rf "$work"' EXIT
setup() {  # folder, extra settings
  mkdir -p "$1"
  cp "$bin"/vantrel "$bin"/*.so "$1"/
  printf '[main]\r\nrt=0\r\nip=%s\r\n%b' "$address" "$2" >"$1/vantrel.Ini"
  : >"$1/vantrel_p.cfg"
}
setup "$work/direct" ""
setup "$work/proxied" "[socks]\r\nserver=$address\r\nport=1080\r\n"

"$bin/vantrel-routersim" --listen "$address" --port 23 --quiet &
sim=$!
microsocks -i "$address" -p 1080 >/dev/null 2>&1 &
proxy=$!
for port in 23 1080; do
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null && break
    sleep 0.05
  done
done

arguments=(-h)
for _ in $(seq $((cycles - 1))); do arguments+=(-c SHOW); done
arguments+=(-cd SHOW --print)

# One run: prints its wall time in tenths of a millisecond; a failed run ends
# the benchmark, since its time would mean nothing.
measure() {
  local start end
  start=$(date +%s%N)
  if ! "$1/vantrel" "${arguments[@]}" >"$work/out" 2>"$work/err"; then
    echo "a run of $1 failed:" >&2
    cat "$work/err" >&2
    exit 1
  fi
  end=$(date +%s%N)
  echo $(((end - start) / 100000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/direct.times"; : >"$work/proxied.times"
for _ in $(seq "$runs"); do
  measure "$work/direct" >>"$work/direct.times"
  measure "$work/proxied" >>"$work/proxied.times"
done
direct=$(median <"$work/direct.times")
proxied=$(median <"$work/proxied.times")
goal=$((direct * 12 / 10 + cycles * 50))
printf 'medians of %d paired runs of %d cycles against %s\n' "$runs" "$cycles" "$address"
printf '%-34s %5d.%d ms\n' "direct" $((direct / 10)) $((direct % 10)) \
  "through microsocks" $((proxied / 10)) $((proxied % 10)) \
  "goal (1.2 x direct + 5 ms a cycle)" $((goal / 10)) $((goal % 10))
