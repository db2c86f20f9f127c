#!/usr/bin/env bash
# Unit tests on the hosted layer (dev preset).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/build dev
ctest --preset dev -j"$(nproc)"
