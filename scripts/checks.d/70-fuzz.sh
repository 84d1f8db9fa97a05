#!/usr/bin/env bash
# Sanitizer build of the fuzzing harness: fault tests, the committed corpus,
# then about a minute of fuzzing.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/fuzz.sh "${PELMORA_FUZZ_SECONDS:-60}" 1
