#!/usr/bin/env bash
# The engine's results must not depend on the processor. Its hot loops are
# built for several instruction sets (AVX-512, AVX2, baseline), and a
# compiler allowed to contract a * b + c into a fused multiply-add would
# round differently in the wider variants. src/solver/vectorise.h forbids
# the contraction; this check makes sure no fused multiply-add instruction
# reached the shared library of the main build (build/, made by
# scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."

library=build/libpelmora.so
[ -f "$library" ] || { echo "no library at $library" >&2; exit 1; }
count=$(objdump -d --no-show-raw-insn "$library" | grep -c -E '\bv?fn?m(add|sub)[0-9]*(p|s)d\b' || true)
if [ "$count" != "0" ]; then
  echo "$library contains $count fused multiply-add instructions:" >&2
  objdump -d --no-show-raw-insn "$library" | grep -E '\bv?fn?m(add|sub)[0-9]*(p|s)d\b' | head >&2
  exit 1
fi
variants=$(objdump -d "$library" | grep -c -E '^[0-9a-f]+ <.*\.avx512f>:' || true)
echo "no fused multiply-add in $library ($variants AVX-512 variants of hot loops)"
