#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ on their corpora (fuzz/corpus/<name>).
#
#   scripts/fuzz.sh                 regression check: every target runs its
#                                   corpus, then a fixed number of new inputs
#                                   (FUZZ_RUNS, 2000 by default)
#   scripts/fuzz.sh --long [SECS]   fuzzes each target for SECS seconds (600
#                                   by default); new inputs that reach new
#                                   code go to build-asan/fuzz-found/<name>
# fuzz_protocol runs a real port thread per input and waits out silent
# replies (a few per input, 20 ms of real time each): it gets FUZZ_RUNS / 8
# runs in the regression check.
#   scripts/fuzz.sh [--long] NAME.. only the named targets
# A target may have options of its own in fuzz/<name>.options, one a line
# (a dictionary, say).
#
# The targets are built by scripts/test.sh --sanitize (build-asan, Clang,
# VKTCOM_FUZZERS=ON); this script builds them there when they are missing.
# New inputs never go into the repository's corpus: copy the ones worth
# keeping by hand. A crash leaves its input in build-asan/fuzz-crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan
long=0
seconds=600
if [ "${1:-}" = "--long" ]; then
  long=1
  shift
  if [[ "${1:-}" =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_record_decoder fuzz_parameter_reply fuzz_param_get fuzz_start_time fuzz_reply_wait fuzz_protocol fuzz_download)
fi

if [ ! -x "$build/fuzz/${targets[0]}" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DVKTCOM_SANITIZE=ON -DVKTCOM_FUZZERS=ON \
    -DVKTCOM_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target fuzzers
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
crashes="$build/fuzz-crashes"
mkdir -p "$crashes"
status=0
total=0
failed=0
for target in "${targets[@]}"; do
  corpus=fuzz/corpus/$target
  if [ $long -eq 1 ]; then
    found="$build/fuzz-found/$target"
    mkdir -p "$found"
    limit=(-max_total_time="$seconds")
  else
    found=$(mktemp -d)
    runs=${FUZZ_RUNS:-2000}
    [ "$target" = fuzz_protocol ] && runs=$((runs / 8))
    limit=(-runs="$runs")
  fi
  # A target's own libFuzzer options (fuzz/<name>.options, one a line),
  # where it has them.
  options=()
  [ -f "fuzz/$target.options" ] && mapfile -t options < "fuzz/$target.options"
  echo "== $target"
  total=$((total + 1))
  # The first folder takes the new inputs; the corpus is only read.
  if ! "$build/fuzz/$target" "$found" "$corpus" "${limit[@]}" "${options[@]}" -max_len=4096 -timeout=30 \
      -artifact_prefix="$crashes/$target-" -print_final_stats=1 2>"$build/fuzz-$target.log"; then
    status=1
    failed=$((failed + 1))
    tail -40 "$build/fuzz-$target.log"
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz-$target.log" | tr '\n' ' '
    echo
  fi
  [ $long -eq 1 ] || rm -rf "$found"
done
echo "fuzz: $((total - failed)) passed, $failed failed"
exit $status
