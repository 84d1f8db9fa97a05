#!/usr/bin/env bash
# valgrind memcheck, no leaks, over full scenarios through the C interface.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/valgrind.sh
