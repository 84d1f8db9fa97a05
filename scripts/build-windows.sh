#!/usr/bin/env bash
# Cross-compiles pelmora.dll for 64-bit Windows with MinGW-w64 into
# build-windows/ (the "windows" preset of CMakePresets.json). The DLL links
# libgcc, libstdc++ and winpthread statically, so it needs only Windows'
# own system DLLs at run time.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows
cmake --build --preset windows -j "$(nproc)"
echo "built build-windows/pelmora.dll"
