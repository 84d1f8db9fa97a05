#!/usr/bin/env bash
# Builds the engine and its tests once more with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test there. The build directory
# is build-sanitize/ unless PELMORA_SANITIZE_DIR names another.
# Any out-of-bounds access, use after free, leak or undefined behaviour
# stops the offending test and fails this check.
set -euo pipefail
cd "$(dirname "$0")/../.."

dir=${PELMORA_SANITIZE_DIR:-build-sanitize}
jobs=$(nproc)
cmake -S . -B "$dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELMORA_SANITIZE=address,undefined \
  -DPELMORA_BENCH=OFF -DPELMORA_TOOLS=OFF
cmake --build "$dir" -j "$jobs"

# A refused oversized network load asks the heap for a block it cannot get;
# the sanitizer's allocator must report that as a null pointer, as the
# ordinary one does, instead of stopping the process.
export ASAN_OPTIONS="allocator_may_return_null=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
