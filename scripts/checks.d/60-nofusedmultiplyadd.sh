#!/usr/bin/env bash
# The engine's results must not depend on the processor. Its hot loops are
# built for several instruction sets (AVX-512, AVX2, baseline), and a
# compiler allowed to contract a * b + c into a fused multiply-add would
# round differently in the wider variants. src/solver/vectorise.h forbids
# the contraction; this check makes sure no fused multiply-add instruction
# reached the shared library of the main build (build/, made by
# scripts/test.sh), except in the vector power and logarithm of
# src/vecmath/, which use exactly the fused operations of the C library
# routines they reproduce (and are checked against them bit for bit by
# tests/vecmath/test_vecmath.cpp).
set -euo pipefail
cd "$(dirname "$0")/../.."

library=build/libpelmora.so
[ -f "$library" ] || { echo "no library at $library" >&2; exit 1; }
# Fused instructions per function, the function named on its header line.
report=$(objdump -d --no-show-raw-insn "$library" | awk '
  /^[0-9a-f]+ <.*>:$/ { name = $2; next }
  /(^|[^a-z])v?fn?m(add|sub)[0-9]*(p|s)d([^a-z]|$)/ { count[name]++ }
  END { for (n in count) print count[n], n }')
outside=$(printf '%s\n' "$report" | grep -v -E '7vecmath|^$' || true)
if [ -n "$outside" ]; then
  echo "$library has fused multiply-add instructions outside the vector power and logarithm:" >&2
  printf '%s\n' "$outside" | head >&2
  exit 1
fi
inside=$(printf '%s\n' "$report" | awk 'NF { s += $1 } END { print s + 0 }')
# Built unless the build switched them off (PELMORA_VECMATH).
if grep -q '^PELMORA_VECMATH:BOOL=OFF' build/CMakeCache.txt; then
  [ "$inside" -eq 0 ] || { echo "PELMORA_VECMATH is off, yet the vector power and logarithm are built" >&2; exit 1; }
else
  [ "$inside" -gt 0 ] || { echo "the vector power and logarithm have no fused multiply-add: are they built?" >&2; exit 1; }
fi
variants=$(objdump -d "$library" | grep -c -E '^[0-9a-f]+ <.*\.avx512f>:' || true)
echo "fused multiply-add only in the vector power and logarithm ($inside instructions); $variants AVX-512 variants of hot loops"
