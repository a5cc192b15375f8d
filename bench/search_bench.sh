#!/usr/bin/env bash
# The search walk against find: a recursive search of a tree of 200,000 files in
# 20,000 folders (one file in ten matches), TDirNavigator (search_walk, printing
# each match as find does) against `find START -name PATTERN`, both on a warm page
# cache, measured in the same run. Verified first: the same matches.
#
# Usage: bench/search_bench.sh [RUNS]      (builds into build-bench/, tree in bench/out/)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-10}"
BUILD=${KV_BENCH_BUILD:-build-bench}
tree="$(pwd)/bench/out/search_tree"  # absolute: the walk prints full paths
command -v hyperfine >/dev/null || { echo "missing hyperfine" >&2; exit 2; }

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=OFF -DKV_WITH_TESTS=OFF \
  -DKV_WITH_BENCH=ON >/dev/null
cmake --build "$BUILD" --target search_walk -- -j2 >/dev/null
walk="$BUILD/bin/search_walk"

# 200 folders of 100 folders of 10 files: "d012/e034/f5.zip" for one file in ten.
if [ ! -f "$tree/.complete" ]; then
  rm -rf "$tree"
  python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(200):
    for e in range(100):
        folder = os.path.join(root, "d%03d" % d, "e%03d" % e)
        os.makedirs(folder)
        for f in range(10):
            name = "f%d.zip" % f if f == 5 else "f%d.txt" % f
            with open(os.path.join(folder, name), "wb") as out:
                out.write(b"x")
open(os.path.join(root, ".complete"), "w").close()
PY
fi
folders=$(find "$tree" -type d | wc -l)
files=$(find "$tree" -type f ! -name .complete | wc -l)
echo "tree: $files files in $folders folders; machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== verify"
diff <("$walk" "$tree" '*.zip' 2>/dev/null | sort) <(find "$tree" -name '*.zip' | sort)
"$walk" "$tree" '*.zip' >/dev/null

echo "== time (best of $runs, warm cache)"
hyperfine -N --warmup 2 --runs "$runs" --export-markdown bench/out/search.md \
  "$walk $tree *.zip" "find $tree -name *.zip"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
