#!/usr/bin/env bash
# The hosted scenarios again, on the programs built with AddressSanitizer and
# UndefinedBehaviorSanitizer: any sanitizer report ends that program with a
# non-zero status, which fails its scenario and the lane.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ ! -x tests/scenarios/run ]; then
  echo "scenarios-asan: tests/scenarios/run is missing" >&2
  exit 1
fi
scripts/build asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:exitcode=99
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
tests/scenarios/run build/asan
