#!/usr/bin/env bash
# Compares the dynamic symbol table of the shared library with the list of
# entry points.
#
#   usage: check_exports.sh LIBRARY ENTRYPOINTS [--require-all]
#
# Fails when the library exports any symbol that is not on the list (a C++
# name, a helper that lost its hidden visibility, a misspelt entry point).
# Entry points on the list that the library lacks are reported; they fail
# the check only with --require-all.
set -euo pipefail
export LC_ALL=C

library=$1
list=$2
mode=${3:-}

[ -f "$library" ] || { echo "check_exports: no library at $library" >&2; exit 1; }

wanted=$(sed 's/#.*//' "$list" | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
# "address type name", possibly "name@@version"; keep the name.
exported=$(nm -D --defined-only "$library" | awk 'NF >= 3 { sub(/@.*/, "", $3); print $3 }' | sort -u)

extra=$(comm -13 <(echo "$wanted") <(echo "$exported"))
missing=$(comm -23 <(echo "$wanted") <(echo "$exported"))
nwanted=$(echo "$wanted" | sed '/^$/d' | wc -l)
nfound=$(comm -12 <(echo "$wanted") <(echo "$exported") | sed '/^$/d' | wc -l)

status=0
if [ -n "$extra" ]; then
  echo "check_exports: $library exports symbols that are not entry points:"
  echo "$extra" | sed 's/^/  /'
  status=1
fi
if [ -n "$missing" ]; then
  if [ "$mode" = "--require-all" ]; then
    echo "check_exports: $nfound of $nwanted entry points exported; missing:"
    status=1
  else
    echo "check_exports: warning: $nfound of $nwanted entry points exported; missing:"
  fi
  echo "$missing" | sed 's/^/  /'
else
  echo "check_exports: all $nwanted entry points exported"
fi
if [ -z "$extra" ]; then
  echo "check_exports: no other symbol exported"
fi
exit $status
