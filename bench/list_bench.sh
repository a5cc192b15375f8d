#!/usr/bin/env bash
# Listing speed: `kelvory-cli l` (whole process) against `zipinfo -1` and
# `unzip -l` on archives of 20,000 and 100,000 entries, plus the engine's List in
# process and the heap it holds per entry. Appends nothing by itself: copy the
# figures into bench/RESULTS.md.
#   bench/list_bench.sh            (builds into build-bench/, archives in bench/out/)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${KV_BENCH_BUILD:-build-bench}
OUT=bench/out
mkdir -p "$OUT"

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=OFF -DKV_WITH_TESTS=OFF \
  -DKV_WITH_BENCH=ON >/dev/null
cmake --build "$BUILD" --target kelvory-cli zipengine_list_bench -- -j"$(nproc)" >/dev/null
CLI="$BUILD/bin/kelvory-cli"

# Archives: names like "dir012/file000345.txt" (one folder per 1000 files), a few
# bytes of stored data each, made by python's zipfile (ZIP64 records above 65535).
make_archive() {
  local n=$1 file=$2
  [ -f "$file" ] && return
  python3 - "$n" "$file" <<'PY'
import sys, zipfile
n, path = int(sys.argv[1]), sys.argv[2]
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    for i in range(n):
        z.writestr("dir%03d/file%06d.txt" % (i // 1000, i), "x%d\n" % i)
PY
}

for n in 20000 100000; do
  a="$OUT/list_$n.zip"
  make_archive "$n" "$a"
  # Verify before timing: the same names as zipinfo, in the same order.
  if ! diff <("$CLI" l "$a" | head -n -1 | cut -f1) <(zipinfo -1 "$a") >/dev/null; then
    echo "kelvory-cli and zipinfo disagree on $a" >&2; exit 1
  fi
  echo "== $n entries ($(stat -c %s "$a") bytes)"
  if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 3 --runs 30 --export-markdown "$OUT/list_$n.md" \
      "$CLI l $a" "zipinfo -1 $a" "unzip -l $a"
  else
    for cmd in "$CLI l $a" "zipinfo -1 $a" "unzip -l $a"; do
      best=999999
      for _ in $(seq 10); do
        t=$( { /usr/bin/time -f %e $cmd >/dev/null; } 2>&1 | tail -1)
        best=$(python3 -c "print(min($best, $t))")
      done
      echo "$cmd: best of 10 = ${best}s"
    done
  fi
  echo "-- peak RSS (KiB): kelvory-cli $( { /usr/bin/time -f %M "$CLI" l "$a" >/dev/null; } 2>&1 | tail -1)," \
       "zipinfo -1 $( { /usr/bin/time -f %M zipinfo -1 "$a" >/dev/null; } 2>&1 | tail -1)," \
       "unzip -l $( { /usr/bin/time -f %M unzip -l "$a" >/dev/null; } 2>&1 | tail -1)"
  KV_BENCH_ARCHIVE="$a" "$BUILD/bin/zipengine_list_bench" --benchmark_counters_tabular=true 2>/dev/null |
    grep -E 'BM_|Benchmark|---' || true
done
