#!/usr/bin/env bash
# The main job: builds the engine and the command-line host, then runs a
# pipeline scenario with pelmora-run. With no arguments it runs the built-in
# scenario (a day of outlet demand on a 100 km, 0.6 m line fed at 60 bar)
# and writes CSV files, a summary and PNG plots to
# pelmora-output/demand-cycle/. Arguments go to pelmora-run, e.g.
#   bash scripts/run.sh examples/scenarios/blowdown.json
#   bash scripts/run.sh --help
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF > /dev/null
cmake --build build-run --target pelmora-run -j "$(nproc)" > /dev/null
exec build-run/tools/pelmora-run "$@"
