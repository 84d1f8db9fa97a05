#!/usr/bin/env bash
# The shared library of the main build (build/, made by scripts/test.sh)
# exports the 45 entry points with C linkage and no other symbol.
#
# Any other exported symbol fails. A missing entry point is reported as a
# warning while the engine is being completed; with
# PELMORA_REQUIRE_ALL_EXPORTS=1 it fails as well.
set -euo pipefail
cd "$(dirname "$0")/../.."

mode=""
if [ "${PELMORA_REQUIRE_ALL_EXPORTS:-0}" = "1" ]; then
  mode="--require-all"
fi
bash tests/abi/check_exports.sh build/libpelmora.so tests/abi/entrypoints.txt $mode
