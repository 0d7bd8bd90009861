#!/usr/bin/env bash
# demo.sh BUILD_DIR: plays the command-line host btshell of BUILD_DIR on the
# sample seeds of examples/, then moves real bytes between two local peers
# (btshell seed and btshell download, on the loopback address), in a scratch
# folder it prepares and removes afterwards. Exits non-zero as soon as a
# command does not end as expected.
set -Eeuo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
if [ ! -d "$1" ]; then
  echo "demo: no build folder $1 (make demo builds it)" >&2
  exit 1
fi
build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/free_port.sh"
btshell=$build/host/btshell
if [ ! -x "$btshell" ]; then
  echo "demo: no btshell in $build (make demo builds it)" >&2
  exit 1
fi

gen_seeds=$build/bench/bts_gen_seeds
kernel=$build/kernel/libbt_kernel.so
for f in "$gen_seeds" "$kernel"; do
  if [ ! -f "$f" ]; then
    echo "demo: no $f (make demo builds it)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/btshell-demo.XXXXXX")
seeder=
cleanup() {
  if [ -n "$seeder" ]; then kill "$seeder" 2>/dev/null || true; wait "$seeder" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "demo: the last command failed (exit status $?)" >&2' ERR
cd "$work"
# btshell's own settings file and state folder: the demo's, not the user's.
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
mkdir examples data
cp "$repo"/examples/*.torrent examples/

# The content of a sample seed's file: its name and a newline, repeated up to LENGTH.
content() { (set +o pipefail; yes "$1" | head -c "$2"); }
heading() { printf '\n=== %s\n' "$*"; }
# Runs btshell; a non-zero exit ends the demo (set -e).
run() {
  printf '\n$ btshell %s\n' "$*"
  "$btshell" "$@"
}
# Runs btshell where it has to fail with exit status $1.
run_failing() {
  local expected=$1 status=0
  shift
  printf '\n$ btshell %s\n' "$*"
  "$btshell" "$@" 2>&1 || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "demo: expected exit status $expected, got $status" >&2
    exit 1
  fi
  echo "(exit status $status, as expected)"
}

echo "btshell: $btshell"
"$btshell" --version
echo "scratch: $work (the sample seeds of $repo/examples copied to examples/)"

heading "inspect: what the sample seeds describe"
run inspect examples/single_file.torrent examples/nested_utf8.torrent examples/with_padding.torrent
run inspect --json examples/legacy_codepage.torrent

heading "refused: a missing seed and random bytes (status 1), an unknown command (status 2)"
printf '\x93\x0e\xd4\x00\x7f\xb1\x52\xc6\x0b\x9a' > random.bin
run_failing 1 inspect missing.torrent
run_failing 1 inspect random.bin
run_failing 2 frobnicate

heading "temp-files: the download's files on disk"
seed=examples/with_padding.torrent
hash=$("$btshell" inspect "$seed" | awk '/^info hash:/ { print $3 }')
echo "preparing: examples/$hash.bt.cfg and .bt.dat beside the seed;"
echo "           data/: first.txt finished, second.txt unfinished (.bt.td), a copy of the seed"
printf 'configuration' > "examples/$hash.bt.cfg"
printf 'pieces' > "examples/$hash.bt.dat"
content first.txt 10000 > data/first.txt
content second.txt 5000 > data/second.txt.bt.td
cp "$seed" data/
run temp-files "$seed" data

heading "notify-deleted / notify-moved: what the P2P hub is told"
run notify-deleted data "$seed"
run notify-moved --json data "$seed" moved

heading "lazy-kernel: a task created before the kernel module exists"
run --kernel-version 1.2 lazy-kernel examples/nested_utf8.torrent task-data

heading "download and seed: a real transfer between two local peers"
mkdir -p seeder/data downloader
"$gen_seeds" content seeder demo.bin 64
content demo.bin $((64 << 20)) > seeder/data/demo.bin
cp seeder/demo.bin.torrent downloader/
echo "seeder/demo.bin.torrent: one file of 64 MiB, its data in seeder/data/; a copy in downloader/"
echo "both kept to this machine: listening on 127.0.0.1, no DHT, local discovery or port mapping"
port=$(free_port 127.0.0.1)
local_only=(--no-dht --no-lsd --no-upnp)
printf '\n$ btshell seed --listen 127.0.0.1:%s %s seeder/demo.bin.torrent seeder/data &\n' "$port" "${local_only[*]}"
"$btshell" seed --listen "127.0.0.1:$port" "${local_only[@]}" seeder/demo.bin.torrent seeder/data \
  >seeder.out 2>seeder.err &
seeder=$!
# Its plain progress lines say when its data is checked and it seeds.
for _ in $(seq 300); do
  grep -q '^seeding' seeder.err && break
  kill -0 "$seeder" 2>/dev/null || { cat seeder.err >&2; echo "demo: the seeder ended" >&2; exit 1; }
  sleep 0.1
done
run download --listen 127.0.0.1:0 "${local_only[@]}" --peer "127.0.0.1:$port" downloader/demo.bin.torrent \
  downloader/data
cmp seeder/data/demo.bin downloader/data/demo.bin
echo "(downloader/data/demo.bin has the bytes of seeder/data/demo.bin)"
run verify downloader/demo.bin.torrent downloader/data
kill -INT "$seeder"
wait "$seeder"
seeder=
echo
echo "the seeder, stopped with Ctrl-C (SIGINT), reported:"
sed 's/^/  /' seeder.out

heading "done: every command ended as expected"
