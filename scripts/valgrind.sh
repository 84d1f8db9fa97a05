#!/usr/bin/env bash
# valgrind memcheck over full scenarios driven through the C interface: no
# invalid read or write, no use of uninitialised values, no leak.
#
#   scripts/valgrind.sh
#
# 1. Builds fuzz/ with the system compiler, without sanitizers or libFuzzer,
#    in build-valgrind.
# 2. Writes the seed scenarios (a transient, every steady-state mode, the
#    host's property routines pipe by pipe, save and restore, failing host
#    routines, a tour of bad input, repeated loads) and replays each under
#    memcheck.
# 3. Runs the host-routine fault tests under memcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PELMORA_VALGRIND_BUILD:-build-valgrind}

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELMORA_FUZZ_SANITIZE= -DPELMORA_FUZZ_LIBFUZZER=OFF >/dev/null
cmake --build "$build"
mkdir -p "$build/seeds"
"$build/make_corpus" "$build/seeds" >/dev/null

memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full
          --show-leak-kinds=definite,indirect,possible
          --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes --quiet)

for scenario in "$build"/seeds/*; do
  echo "valgrind: $(basename "$scenario")"
  "${memcheck[@]}" "$build/pelmora_replay" "$scenario"
done
echo "valgrind: host-routine fault tests"
"${memcheck[@]}" "$build/robustness/test_robustness" --gtest_brief=1
echo "valgrind: clean"
