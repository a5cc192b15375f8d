#!/usr/bin/env bash
# Opening 20,000- and 100,000-entry archives in the main window (engine read plus
# grid fill and totals), in process.
#   bench/app_open_bench.sh       (builds into build-bench-gui/, archives in bench/out/)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${KV_BENCH_BUILD:-build-bench-gui}
OUT=bench/out
mkdir -p "$OUT" /tmp/kv-bench-home
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=ON -DKV_WITH_TESTS=OFF \
  -DKV_WITH_BENCH=ON >/dev/null
cmake --build "$BUILD" --target app_open_bench -- -j"$(nproc)" >/dev/null
for n in 20000 100000; do
  a="$OUT/list_$n.zip"
  [ -f "$a" ] || python3 - "$n" "$a" <<'PY'
import sys, zipfile
n, path = int(sys.argv[1]), sys.argv[2]
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    for i in range(n):
        z.writestr("dir%03d/file%06d.txt" % (i // 1000, i), "x%d\n" % i)
PY
  echo "== $n entries"
  KELVORY_HOME=/tmp/kv-bench-home KV_BENCH_ARCHIVE="$a" QT_QPA_PLATFORM=offscreen \
    "$BUILD/bin/app_open_bench" --benchmark_counters_tabular=true 2>/dev/null | grep -E 'BM_|Benchmark|---'
done
