#!/usr/bin/env bash
# Smoke runs of every libFuzzer target: a short bounded run each, seeded from
# tests/fuzz/corpus/<name>. Any crash or sanitizer report fails the lane.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/need-packages clang libclang-rt-dev cmake make libsqlite3-dev libgtest-dev
seconds="${FUZZ_SECONDS:-15}"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build build/fuzz -j"$(nproc)" --target $targets
status=0
for t in $targets; do
  name=${t#fuzz_}
  work=$(mktemp -d)
  [ -d "tests/fuzz/corpus/$name" ] && cp -r "tests/fuzz/corpus/$name/." "$work/"
  bin=$(find build/fuzz -type f -name "$t" -perm -u+x | head -1)
  if (cd "$work" && "$OLDPWD/$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" >"$work.log" 2>&1); then
    echo "fuzz $name: ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$') runs)"
  else
    echo "fuzz $name: FAILED"; tail -40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
