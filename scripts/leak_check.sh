#!/usr/bin/env bash
# leak_check.sh BUILD_DIR: plays the whole-module scenarios of BUILD_DIR (a
# plain build with its tests built) under valgrind's memcheck and counts, for
# each process, the memory errors (invalid reads and writes, uses of
# uninitialised values, bad frees) and the bytes leaked (definitely,
# indirectly and possibly lost). The scenarios:
#   - every test of test_integration, each in a process of its own: the real
#     libbt_shell.so loaded by the host runtime, the lazy kernel arriving or
#     failing, proxies and their replay, the seed services and hub notices;
#   - test_btshell, followed into every btshell it runs: each command of the
#     command-line host, the lazy-kernel scenario with and without a kernel.
# Prints one line per process and the totals; exits non-zero when any count
# is not zero. The logs stay in BUILD_DIR/leak-check/.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
repo=$(cd "$(dirname "$0")/.." && pwd)
integration=$build/tests/integration/test_integration
btshell_runs=$build/tests/test_btshell
for exe in "$integration" "$btshell_runs"; do
  if [ ! -x "$exe" ]; then
    echo "leak_check: no $exe (build $build first)" >&2
    exit 1
  fi
done
command -v valgrind >/dev/null || { echo "leak_check: valgrind is not installed (make deps)" >&2; exit 1; }

logs=$build/leak-check
rm -rf "$logs"
mkdir -p "$logs"

# The module's allocation operators route to malloc and free by design, so
# blocks cross between them and the standard library's: mismatched frees are
# not reported.
memcheck=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible
          --errors-for-leak-kinds=none --show-mismatched-frees=no --num-callers=40 --keep-debuginfo=yes
          --suppressions="$repo/scripts/valgrind.supp")

status=0
tests=$("$integration" --gtest_list_tests | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
for t in $tests; do
  "${memcheck[@]}" --log-file="$logs/integration.$t.%p.log" "$integration" --gtest_filter="$t" \
    >"$logs/integration.$t.out" 2>&1 || { status=1; echo "leak_check: $t failed (see $logs/integration.$t.out)" >&2; }
done
# setpriv runs one command as another user (create's unreadable file, as
# root reads everything) in the same process, whose log root made: it and
# what it runs are not followed.
"${memcheck[@]}" --trace-children=yes --trace-children-skip='*/setpriv' --log-file="$logs/btshell.%p.log" "$btshell_runs" >"$logs/btshell.out" 2>&1 ||
  { status=1; echo "leak_check: test_btshell failed (see $logs/btshell.out)" >&2; }

# One line per process of the system: memory errors, then bytes
# definitely, indirectly and possibly lost. Only the build tree's programs
# count; the shells that test_btshell starts its commands with, and the
# other programs a scenario runs (transmission-remote talking to the
# daemon, say), are left out.
summary=$(for log in "$logs"/*.log; do
  grep -q "== Command: $build/" "$log" || continue
  awk -v log_name="$(basename "$log")" '
    /== Command: / { sub(/.*== Command: /, ""); command = $0 }
    /ERROR SUMMARY:/ { errors = $4 }
    /definitely lost:/ { definite = $4 }
    /indirectly lost:/ { indirect = $4 }
    /possibly lost:/ { possible = $4 }
    END {
      gsub(/,/, "", definite); gsub(/,/, "", indirect); gsub(/,/, "", possible)
      if (errors == "") errors = "?"
      printf "%s\t%s\t%d\t%d\t%d\n", command, errors, definite, indirect, possible
    }' "$log"
done)

printf '%-8s %10s %10s %10s  %s\n' errors definite indirect possible process
echo "$summary" | awk -F'\t' '
  {
    printf "%-8s %10d %10d %10d  %s\n", $2, $3, $4, $5, substr($1, 1, 110)
    if ($2 != "0" || $3 + $4 + $5 != 0) bad++
    errors += $2; leaked += $3 + $4 + $5; n++
  }
  END {
    printf "leak_check: %d processes, %d memory errors, %d bytes leaked\n", n, errors, leaked
    exit bad ? 1 : 0
  }' || status=1
exit $status
