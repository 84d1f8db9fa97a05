#!/usr/bin/env bash
# Fuzzes the engine's whole C interface with libFuzzer, under ASan and UBSan.
#
#   scripts/fuzz.sh [SECONDS] [JOBS]
#
# 1. Builds fuzz/ (a project of its own, compiled with clang) in build-fuzz.
# 2. Runs the host-routine fault tests of tests/robustness under the
#    sanitizers.
# 3. Replays the committed corpus fuzz/corpus (every input must still pass).
# 4. Fuzzes for SECONDS (default 60; 0 skips) with JOBS processes (default 1),
#    starting from the committed corpus; new inputs go to build-fuzz/work,
#    crashes, hangs and leaks to build-fuzz/findings.
# A finding stops the script with a non-zero status after printing the call
# sequence that triggers it (pelmora_replay --trace). An input that runs
# longer than PELMORA_FUZZ_TIMEOUT seconds (default 5) is a finding too: no
# call may grind.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${2:-1}
build=${PELMORA_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja \
  -DPELMORA_FUZZ_SANITIZE=address,undefined -DPELMORA_FUZZ_LIBFUZZER=ON >/dev/null
cmake --build "$build"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

ctest --test-dir "$build" --output-on-failure

echo "fuzz: replaying fuzz/corpus"
"$build/pelmora_replay" fuzz/corpus/*

[ "$seconds" -gt 0 ] || exit 0
mkdir -p "$build/work" "$build/findings"
rm -f "$build"/findings/*
echo "fuzz: fuzzing for ${seconds}s with $jobs job(s)"
# Crashes, sanitizer reports, harness findings, memory blow-ups and slow
# inputs stop the run.
status=0
"$build/pelmora_fuzz" -fork="$jobs" -ignore_timeouts=0 -ignore_crashes=0 -ignore_ooms=0 \
  -max_total_time="$seconds" -timeout="${PELMORA_FUZZ_TIMEOUT:-5}" -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$build/findings/" "$build/work" fuzz/corpus || status=$?
for input in "$build"/findings/*; do
  [ -e "$input" ] || continue
  echo "== $input, as calls (last 60 lines):"
  timeout 60 "$build/pelmora_replay" --trace "$input" 2>&1 | grep -v '^    #' | tail -60 || true
done
exit "$status"
