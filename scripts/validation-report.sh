#!/usr/bin/env bash
# Regenerates the validation report, docs/validation.md and its plots in
# docs/validation/: builds the engine and the report generator, runs every
# validation case at full size (a few minutes), then plots with gnuplot.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=build-validation-report
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target validation_report

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
revision=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
"$build/tests/validation/validation_report" tests/validation/report.md docs/validation.md \
  "$data" "$revision"
mkdir -p docs/validation
gnuplot -e "data='$data'; out='docs/validation'" tests/validation/report.gp
echo "wrote docs/validation.md and docs/validation/*.png"
