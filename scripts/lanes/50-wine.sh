#!/usr/bin/env bash
# The Windows builds, and the scenario suite under Wine on the 64-bit build,
# each scenario's result compared with the expected one and with the hosted
# build's. Every wait is bounded; every Wine process is ended on the way out.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/need-packages g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth python3
scripts/build dev mingw-i686 mingw-x64

work=$(mktemp -d /tmp/quillon-wine-lane.XXXXXX)
export WINEPREFIX="$work/none"  # the runner sets its own; this one only scopes the clean-up
xvfb_pid=""
cleanup() {
  # The runner stops the wineserver of each prefix; this catches an abort.
  for prefix in "$work"/quillon-scenarios-*/*/wine/prefix "$work"/quillon-scenarios-*/wine-template; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" timeout 30 wineserver -k 2>/dev/null || true
  done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb on the first free display.
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=""
done
[ -n "${DISPLAY:-}" ] || { echo "wine lane: no free X display" >&2; exit 1; }

TMPDIR="$work" timeout 1200 tests/scenarios/run build/dev --backend both --wine-build build/mingw-x64
