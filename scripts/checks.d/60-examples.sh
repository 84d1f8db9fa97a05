#!/usr/bin/env bash
# The main job's path as a user takes it: pelmora-run with no arguments runs
# the built-in scenario to completion and leaves its CSV files, summary and
# plots. (Every example scenario also runs, with sanity checks, under CTest
# in test_pelmora_run.)
set -euo pipefail
cd "$(dirname "$0")/../.."
exe="$PWD/build/tools/pelmora-run"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1. The built-in scenario is the demand-cycle example.
diff <("$exe" --print-default) examples/scenarios/demand_cycle.json > /dev/null \
  || { echo "60-examples: the built-in scenario differs from examples/scenarios/demand_cycle.json"; exit 1; }

# 2. Run it as the README says, from a directory of its own.
(cd "$work" && "$exe" > summary.txt)
out="$work/pelmora-output/demand-cycle"
for f in ends.csv profiles.csv summary.json ends_pressure.png ends_flow.png ends_temperature.png linepack.png profiles_pressure.png; do
  [ -s "$out/$f" ] || { echo "60-examples: $f was not written"; exit 1; }
done
grep -q '"completed": true' "$out/summary.json" || { echo "60-examples: the run did not complete"; exit 1; }
grep -q 'engine codes  none' "$work/summary.txt" || { echo "60-examples: the engine reported codes"; cat "$work/summary.txt"; exit 1; }
rows=$(($(wc -l < "$out/ends.csv") - 1))
[ "$rows" -eq 289 ] || { echo "60-examples: expected 289 rows of end states (every 5 min over 24 h), got $rows"; exit 1; }
echo "60-examples: built-in scenario ran: $(grep 'wall time' "$work/summary.txt" | sed 's/^ *//')"
