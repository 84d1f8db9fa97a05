#!/usr/bin/env bash
# The Python package: builds the engine library, the natural-gas provider and
# pelmora-run if needed, copies them into the package (python/pelmora/_bin/,
# not tracked), and installs the package into .venv/, a virtual environment
# of Debian's own interpreter that sees Debian's numpy, pandas, matplotlib and
# pytest (installed by scripts/setup.sh). Nothing is fetched from a package
# index. Afterwards:
#   .venv/bin/python -c 'import pelmora'
#   .venv/bin/python -m pytest python/tests
# The build directory is build-python/ unless PELMORA_BUILD_DIR names another,
# already configured one (scripts/checks.d/40-python.sh passes build/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${PELMORA_BUILD_DIR:-build-python}
if [ -n "${PELMORA_BUILD_DIR:-}" ] && [ ! -f "$build/CMakeCache.txt" ]; then
  echo "setup-python: $build is not a configured build directory" >&2
  exit 1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF \
    -DPELMORA_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target pelmora pelmora_realgas pelmora-run >/dev/null

bin=python/pelmora/_bin
rm -rf "$bin"
mkdir -p "$bin"
cp "$build/libpelmora.so" "$build/examples/libpelmora_realgas.so" "$build/tools/pelmora-run" "$bin/"

# Debian's interpreter: the first python3 on the PATH may be another one that
# does not see Debian's packages. A .venv/ made otherwise is made again.
if ! grep -qx 'home = /usr/bin' .venv/pyvenv.cfg 2>/dev/null ||
  ! grep -qx 'include-system-site-packages = true' .venv/pyvenv.cfg; then
  rm -rf .venv
  /usr/bin/python3 -m venv --system-site-packages .venv
fi
.venv/bin/python -m pip install --quiet --no-index --no-build-isolation --no-deps \
  --disable-pip-version-check --root-user-action=ignore \
  --force-reinstall ./python
rm -rf python/build python/*.egg-info
.venv/bin/python -c 'import pelmora, numpy; print("pelmora", pelmora.__version__, "in .venv/ with",
      pelmora.library_path())'
