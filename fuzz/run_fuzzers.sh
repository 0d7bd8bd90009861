#!/usr/bin/env bash
# run_fuzzers.sh BUILD_DIR SECONDS [TARGET...]: runs each fuzz target of
# BUILD_DIR (a build configured with BTS_FUZZ=ON, target `fuzzers` built) for
# SECONDS, one after the other, and prints what each did. Every target
# starts from its working corpus in BUILD_DIR/fuzz/corpus/<target> (kept
# between runs) and its seeds: the repository's corpus and the generated
# seeds. Exits non-zero when a target found a crash, a leak, a timeout or
# ran out of memory; the input is saved in BUILD_DIR/fuzz/artifacts/<target>/.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
repo=$(cd "$(dirname "$0")/.." && pwd)
fuzz_dir=$build/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(bencode_fuzzer torrent_parser_fuzzer seed_services_fuzzer text_conversion_fuzzer)
fi

# Seed folders and options of each target.
seeds_of() {
  case $1 in
    text_conversion_fuzzer) echo "$fuzz_dir/seeds/text" ;;
    *) echo "$repo/tests/data/corpus $fuzz_dir/seeds/torrent" ;;
  esac
}
options_of() {
  case $1 in
    text_conversion_fuzzer) echo "-max_len=4096" ;;
    *) echo "-max_len=262144 -malloc_limit_mb=128 -dict=$repo/fuzz/bencode.dict" ;;
  esac
}

failed=0
summary=$(printf '%-24s %8s %12s %8s %6s %16s %8s\n' target seconds executions exec/s cov "corpus (units)" "peak MB")
for target in "${targets[@]}"; do
  exe=$fuzz_dir/$target
  if [ ! -x "$exe" ]; then
    echo "run_fuzzers: no $exe (build the target fuzzers of $build first)" >&2
    exit 1
  fi
  work=$fuzz_dir/corpus/$target
  artifacts=$fuzz_dir/artifacts/$target
  log=$fuzz_dir/$target.log
  mkdir -p "$work" "$artifacts"
  echo "run_fuzzers: $target for ${seconds}s (log: $log)"
  status=0
  # shellcheck disable=SC2046
  "$exe" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" $(options_of "$target") "$work" $(seeds_of "$target") >"$log" 2>&1 || status=$?
  runs=$(awk '/^stat::number_of_executed_units:/ { print $2 }' "$log")
  rate=$(awk '/^stat::average_exec_per_sec:/ { print $2 }' "$log")
  peak=$(awk '/^stat::peak_rss_mb:/ { print $2 }' "$log")
  # The last status line: "#N DONE cov: C ft: F corp: UNITS/SIZE ...".
  cov=$(awk '/ cov: / { for (i = 1; i < NF; ++i) if ($i == "cov:") c = $(i + 1) } END { print c }' "$log")
  corpus=$(awk '/ corp: / { for (i = 1; i < NF; ++i) if ($i == "corp:") c = $(i + 1) } END { print c }' "$log")
  summary+=$(printf '\n%-24s %8s %12s %8s %6s %16s %8s' "$target" "$seconds" "${runs:-?}" "${rate:-?}" "${cov:-?}" \
    "${corpus:-?}" "${peak:-?}")
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "run_fuzzers: $target FAILED (exit status $status); the end of its log:" >&2
    tail -n 40 "$log" >&2
    echo "run_fuzzers: inputs kept in $artifacts:" >&2
    ls -l "$artifacts" >&2
  fi
done
echo "$summary"
if [ "$failed" -ne 0 ]; then
  echo "run_fuzzers: a target failed" >&2
  exit 1
fi
