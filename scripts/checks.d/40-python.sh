#!/usr/bin/env bash
# The Python package as a user gets it: scripts/setup-python.sh installs it
# into .venv/ from the main build (build/, made by scripts/test.sh), then its
# tests run, the example of the README's Python section runs as printed, and
# both scripts of examples/python/ run and draw their figures (no display).
set -euo pipefail
cd "$(dirname "$0")/../.."
PELMORA_BUILD_DIR=build bash scripts/setup-python.sh
.venv/bin/python -m pytest python/tests -q -p no:cacheprovider

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The first python block after the heading "## Python".
awk '/^## Python/ { section = 1; next }
     /^## / { section = 0 }
     section && /^```python/ { block = 1; next }
     block && /^```/ { exit }
     block { print }' README.md >"$work/readme.py"
[ -s "$work/readme.py" ] || { echo "40-python: no python example in README.md"; exit 1; }
python=$PWD/.venv/bin/python
(cd "$work" && MPLBACKEND=Agg "$python" readme.py)
for example in examples/python/*.py; do
  name=$(basename "$example" .py)
  .venv/bin/python "$example" --output "$work/$name"
  ls "$work/$name"/*.png >/dev/null || { echo "40-python: $example drew no figure"; exit 1; }
done
echo "40-python: package tests, README example and examples/python ran"
