#!/usr/bin/env bash
# The scenario suite (tests/scenarios) on the hosted build.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/need-packages python3
scripts/build dev
tests/scenarios/run build/dev
