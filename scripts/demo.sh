#!/usr/bin/env bash
# demo.sh BUILD_DIR: plays the command-line host btshell of BUILD_DIR on seeds
# of the corpus (tests/data/corpus of the repository, or
# $BTS_CORPUS_DIR) in a scratch folder it prepares and removes afterwards.
# Exits non-zero as soon as a command does not end as expected.
set -Eeuo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
if [ ! -d "$1" ]; then
  echo "demo: no build folder $1 (build first: make build)" >&2
  exit 1
fi
build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
btshell=$build/host/btshell
corpus=${BTS_CORPUS_DIR:-$repo/tests/data/corpus}

if [ ! -x "$btshell" ]; then
  echo "demo: no btshell in $build (build it first: make build)" >&2
  exit 1
fi
for seed in sample.torrent many_pieces.torrent string.torrent; do
  if [ ! -f "$corpus/$seed" ]; then
    echo "demo: $corpus/$seed is missing (set BTS_CORPUS_DIR to the folder of the corpus seeds)" >&2
    exit 1
  fi
done

corpus=$(cd "$corpus" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/btshell-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'echo "demo: the last command failed (exit status $?)" >&2' ERR
cd "$work"
mkdir seeds data
cp "$corpus/sample.torrent" "$corpus/many_pieces.torrent" "$corpus/string.torrent" seeds/

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
echo "seeds:   $corpus"
echo "scratch: $work"

heading "inspect: what a seed file describes"
run inspect seeds/sample.torrent
run inspect seeds/many_pieces.torrent
run_failing 1 inspect seeds/string.torrent

heading "temp-files: the download's files on disk"
hash=$("$btshell" inspect seeds/sample.torrent | awk '/^info hash:/ { print $3 }')
echo "preparing: seeds/$hash.bt.cfg and .bt.dat beside the seed;"
echo "           data/: text_file2.txt unfinished (.bt.td), text_file.txt finished, a copy of the seed"
printf 'configuration' > "seeds/$hash.bt.cfg"
printf 'pieces' > "seeds/$hash.bt.dat"
printf 'partial' > data/text_file2.txt.bt.td
printf 'finished text' > data/text_file.txt
cp seeds/sample.torrent data/
run temp-files seeds/sample.torrent data

heading "notify-deleted / notify-moved: what the P2P hub is told"
run notify-deleted data seeds/sample.torrent
run notify-moved data seeds/sample.torrent moved

heading "lazy-kernel: a task created before the kernel module exists"
run --kernel-version 1.2 lazy-kernel seeds/sample.torrent task-data

heading "done: every command ended as expected"
