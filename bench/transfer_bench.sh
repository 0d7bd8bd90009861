#!/usr/bin/env bash
# transfer_bench.sh BUILD_DIR [REPEAT]: one 256 MiB single-file torrent moved
# over loopback addresses through a tracker (Debian's opentracker), each
# download REPEAT times (default 3), in one run:
#   btshell    btshell download: the shell, a proxy task, the kernel module on
#              libtorrent fetched on demand; from a plain libtorrent seeder
#   libtorrent bench_lt_client download: a plain libtorrent client with the
#              kernel's own settings (the same bt_kernel.ini); from that seeder
#   aria2      aria2c to aria2c
#   btshell/aria2  btshell download from the aria2c seeder
# The tracker listens on 127.0.0.1, seeders on 127.0.0.3, downloaders on
# 127.0.0.2; DHT, local discovery, port mapping, peer exchange and uTP are
# off. For each download: wall seconds from start to exit, throughput
# (MiB/s) and CPU seconds (user + system) per GiB of the downloading
# process. Prints a Markdown table and the medians. Every process it starts
# is stopped by its process id on the way out.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [REPEAT]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
repeat=${2:-3}
source "$(dirname "$0")/../scripts/free_port.sh"
btshell=$build/host/btshell
kernel=$build/kernel/libbt_kernel.so
gen_seeds=$build/bench/bts_gen_seeds
lt_client=$build/bench/bench_lt_client
for f in "$btshell" "$kernel" "$gen_seeds" "$lt_client"; do
  [ -f "$f" ] || { echo "transfer_bench: no $f (make bench-transfer builds it)" >&2; exit 1; }
done
for p in opentracker aria2c; do
  command -v "$p" >/dev/null || { echo "transfer_bench: $p is not installed (make deps)" >&2; exit 1; }
done

readonly size_mib=256
work=$(mktemp -d "${TMPDIR:-/tmp}/transfer-bench.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"


# One HTTP GET to the tracker; the body on stdout.
tracker_get() {
  local reply
  exec 3<>"/dev/tcp/127.0.0.1/$tracker_port" || return 1
  printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' "$1" >&3
  reply=$(tr -d '\0' <&3 | tr -c '[:print:]' '.')
  exec 3<&-
  echo "${reply#*....}"
}

# Waits until the tracker's scrape shows a seeder of the torrent.
wait_for_seeder() {
  for _ in $(seq 600); do
    [[ "$(tracker_get "/scrape?info_hash=$escaped_hash")" == *"8:completei"[1-9]* ]] && return 0
    sleep 0.1
  done
  echo "transfer_bench: the tracker shows no seeder" >&2
  return 1
}

# (Re)starts the tracker with no peer known, and waits until it answers.
tracker=
start_tracker() {
  if [ -n "$tracker" ]; then kill "$tracker"; wait "$tracker" || true; fi
  opentracker -f "$work/tracker/opentracker.conf" >>tracker/log 2>&1 &
  tracker=$!
  pids+=("$tracker")
  for _ in $(seq 100); do
    [[ "$(tracker_get "/scrape?info_hash=$escaped_hash" 2>/dev/null)" == *"5:files"* ]] && return 0
    sleep 0.1
  done
  echo "transfer_bench: the tracker does not answer" >&2
  return 1
}

settings() {  # settings ADDRESS: the kernel's settings, listening on ADDRESS
  printf '[session]\nlisten_interfaces = %s:0\noutgoing_interfaces = %s\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\nutp = 0\n' "$1" "$1"
}

# aria2c's options but the address, the folder and the port.
aria2=(aria2c --disable-ipv6=true --enable-dht=false --enable-dht6=false --bt-enable-lpd=false
       --enable-peer-exchange=false --console-log-level=error --summary-interval=0 --file-allocation=none)

# The tracker, the torrent, the data.
tracker_port=$(free_port 127.0.0.1)
mkdir -p tracker seeds seeder modules
"$gen_seeds" content seeds bench.bin "$size_mib" "http://127.0.0.1:$tracker_port/announce"
(set +o pipefail; yes bench.bin | head -c $((size_mib << 20)) > seeder/bench.bin)
hash=$("$btshell" inspect seeds/bench.bin.torrent | awk '/^info hash:/ { print tolower($3) }')
escaped_hash=$(sed 's/../%&/g' <<<"$hash")
echo "$hash" > tracker/whitelist.txt
printf 'listen.tcp_udp 127.0.0.1:%s\naccess.whitelist whitelist.txt\ntracker.rootdir %s\n' \
  "$tracker_port" "$work/tracker" > tracker/opentracker.conf
chmod 755 "$work" tracker
start_tracker
settings 127.0.0.2 > leecher.ini
settings 127.0.0.3 > seeder.ini
cp "$kernel" modules/
cp leecher.ini modules/bt_kernel.ini

results=()
# measure NAME COMMAND...: one download into a fresh leech/ folder; its seed
# copy in a folder of its own (btshell keeps the task's state beside it).
measure() {
  local name=$1
  shift
  rm -rf leech seed-copy
  mkdir seed-copy
  cp seeds/bench.bin.torrent seed-copy/
  local TIMEFORMAT='%3R %3U %3S' times status=0
  times=$( { time timeout 600 "$@" >run.out 2>run.err; } 2>&1 ) || status=$?
  if [ "$status" -ne 0 ] || ! cmp -s leech/bench.bin seeder/bench.bin; then
    echo "transfer_bench: $name failed (status $status)" >&2
    tail -5 run.err >&2
    exit 1
  fi
  read -r wall user sys <<<"$times"
  results+=("$name $wall $user $sys")
  awk -v n="$name" -v w="$wall" -v u="$user" -v s="$sys" -v mib="$size_mib" \
    'BEGIN { printf "| %-14s | %7.2f | %7.1f | %6.2f | %6.2f |\n", n, w, mib / w, u + s, (u + s) * 1024 / mib }'
}

echo "| download       | wall s  |  MiB/s  | CPU s  | CPU s/GiB |"
echo "|---|---|---|---|---|"
"$lt_client" seeder.ini seed seeds/bench.bin.torrent seeder >lt-seeder.log 2>&1 &
lt_seeder=$!
pids+=("$lt_seeder")
wait_for_seeder
for _ in $(seq "$repeat"); do
  measure btshell "$btshell" --modules-dir modules download seed-copy/bench.bin.torrent leech
  measure libtorrent "$lt_client" leecher.ini download seed-copy/bench.bin.torrent leech
done
kill "$lt_seeder"
wait "$lt_seeder" || true
start_tracker  # forgets the seeders so far
"${aria2[@]}" --interface=127.0.0.3 --listen-port="$(free_port 127.0.0.3)" --dir=seeder --seed-ratio=0.0 \
  --check-integrity=true seeds/bench.bin.torrent >aria2-seeder.log 2>&1 &
pids+=($!)
wait_for_seeder
for _ in $(seq "$repeat"); do
  measure aria2 "${aria2[@]}" --interface=127.0.0.2 --listen-port="$(free_port 127.0.0.2)" --dir=leech \
    --seed-time=0 seed-copy/bench.bin.torrent
  measure btshell/aria2 "$btshell" --modules-dir modules download seed-copy/bench.bin.torrent leech
done

echo
echo "medians:"
printf '%s\n' "${results[@]}" | awk -v mib="$size_mib" '
  { wall[$1] = wall[$1] " " $2; cpu[$1] = cpu[$1] " " ($3 + $4) }
  function median(list,   n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  END {
    for (name in wall) {
      w = median(wall[name]); c = median(cpu[name])
      rate[name] = mib / w
      printf "  %-14s %7.1f MiB/s  %6.2f CPU s/GiB\n", name, mib / w, c * 1024 / mib
    }
    if (rate["libtorrent"] > 0) printf "btshell / libtorrent throughput: %.2f\n", rate["btshell"] / rate["libtorrent"]
  }'
