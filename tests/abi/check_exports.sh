#!/usr/bin/env bash
# The dynamic symbol table of LIBRARY must hold the entry points of LIST and
# nothing else (no C++ name, no helper that lost its hidden visibility).
# Entry points the library lacks fail only with --require-all.
#   usage: check_exports.sh LIBRARY LIST [--require-all]
set -euo pipefail
export LC_ALL=C
[ -f "$1" ] || { echo "check_exports: no library at $1" >&2; exit 1; }
wanted=$(sed 's/#.*//' "$2" | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
exported=$(nm -D --defined-only "$1" | awk 'NF >= 3 { sub(/@.*/, "", $3); print $3 }' | sort -u)
[ "$(echo "$wanted" | wc -l)" -eq 45 ] || { echo "check_exports: $2 does not list 45 names" >&2; exit 1; }
extra=$(comm -13 <(echo "$wanted") <(echo "$exported"))
missing=$(comm -23 <(echo "$wanted") <(echo "$exported"))
echo "check_exports: $(echo "$wanted" | wc -l) entry points listed, $(echo "$exported" | wc -l) exported"
[ -z "$extra" ] || { echo "check_exports: exported but not entry points:" $extra; exit 1; }
[ -z "$missing" ] || echo "check_exports: missing:" $missing
[ -z "$missing" ] || [ "${3:-}" != "--require-all" ] || exit 1
