#!/usr/bin/env bash
# Add, extract and test through kelvory-cli (TZipEngine driving its two libraries,
# as the windows do) against zip, unzip, 7zz and bsdtar, all measured in one run
# on the compression corpus of bench/ziplibs_make_corpus.sh (made when missing).
# kvziplib, the libraries' own driver, runs too: the difference to kelvory-cli is
# what the engine adds (parameter block, callbacks, events, re-reading the
# directory after an add).
#
# Each command runs RUNS times; the best wall time is kept with that run's peak
# memory (/usr/bin/time). Verified before the figures count: every archive passes
# `unzip -t`, and what kelvory-cli extracts matches the corpus.
#
# Usage: bench/engine_bench.sh [RUNS]      (default 3)
#   KV_BENCH_BUILD   build folder (default build-bench), configured Release here
#   KV_BENCH_CORPUS  corpus folder (default bench/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs="${1:-3}"
build="${KV_BENCH_BUILD:-build-bench}"
corpus="${KV_BENCH_CORPUS:-$root/bench/corpus}"
out="$root/bench/out/engine"
for tool in zip unzip 7zz bsdtar /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (tools/deps.sh test installs it)" >&2; exit 2; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=OFF -DKV_WITH_TESTS=OFF \
  -DKV_WITH_BENCH=ON >/dev/null
cmake --build "$build" --target kelvory-cli kvzip kvunzip kvziplib -- -j"$(nproc)" >/dev/null
bin="$(cd "$build/bin" && pwd)"
cli="$bin/kelvory-cli"
kv="$bin/kvziplib"
[ -d "$corpus/tree" ] || bench/ziplibs_make_corpus.sh "$corpus"
corpus="$(cd "$corpus" && pwd)"
rm -rf "$out"
mkdir -p "$out"

bytes=$(du -sb --apparent-size "$corpus/tree" "$corpus/large" | awk '{s += $1} END {print s}')
files=$(find "$corpus/tree" "$corpus/large" -type f | wc -l)
echo "corpus: $files files, $bytes bytes; $(nproc) processors; best of $runs;" \
     "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# best NAME PREPARE COMMAND: runs COMMAND (after PREPARE, untimed) RUNS times in
# the corpus folder and prints "NAME seconds peak-KiB". Dirty pages of earlier
# runs are written out before each run (sync, untimed): on this machine their
# write-back otherwise lands in whichever run comes next and swings extraction
# times by a factor of three.
best() {
  local name="$1" prepare="$2" command="$3" bestT="" bestM=""
  for ((i = 0; i < runs; i++)); do
    (cd "$corpus" && eval "$prepare")
    sync
    (cd "$corpus" && /usr/bin/time -f "%e %M" -o "$out/time.txt" bash -c "$command" >/dev/null 2>"$out/err.txt") ||
      { echo "$name failed:" >&2; cat "$out/err.txt" >&2; exit 1; }
    read -r t m <"$out/time.txt"
    if [ -z "$bestT" ] || awk "BEGIN {exit !($t < $bestT)}"; then bestT=$t; bestM=$m; fi
  done
  echo "$name $bestT $bestM"
}

row() {  # name seconds peak [archive]
  if [ -n "${4:-}" ]; then
    local s; s=$(stat -c %s "$4")
    printf '| %-14s | %7s | %12s | %7.2f%% | %9s |\n' "$1" "$2" "$s" "$(awk "BEGIN {print 100 * $s / $bytes}")" "$3"
  else
    printf '| %-14s | %7s | %9s |\n' "$1" "$2" "$3"
  fi
}

echo "== compress (tree and large, recursive)"
declare -A archive=([kelvory-cli-6]=cli6 [kelvory-cli-9]=cli9 [kvziplib-6]=kv6 [zip-6]=zip6 [zip-9]=zip9
                    [bsdtar]=bsdtar [7zz-mx5]=7zz5)
results=()
results+=("$(best kelvory-cli-6 "rm -f $out/cli6.zip" "$cli a $out/cli6.zip -6 -r tree large")")
results+=("$(best kelvory-cli-9 "rm -f $out/cli9.zip" "$cli a $out/cli9.zip -9 -r tree large")")
results+=("$(best kvziplib-6 "rm -f $out/kv6.zip" "$kv add -6 -r $out/kv6.zip tree large")")
results+=("$(best zip-6 "rm -f $out/zip6.zip" "zip -q -r -6 $out/zip6.zip tree large")")
results+=("$(best zip-9 "rm -f $out/zip9.zip" "zip -q -r -9 $out/zip9.zip tree large")")
results+=("$(best bsdtar "rm -f $out/bsdtar.zip" "bsdtar --format zip -cf $out/bsdtar.zip tree large")")
results+=("$(best 7zz-mx5 "rm -f $out/7zz5.zip" "7zz a -tzip -mx=5 $out/7zz5.zip tree large")")
printf '| %-14s | %7s | %12s | %8s | %9s |\n' tool seconds "archive B" ratio "peak KiB"
for r in "${results[@]}"; do
  read -r name t m <<<"$r"
  row "$name" "$t" "$m" "$out/${archive[$name]}.zip"
done

echo "== verify"
for a in cli6 cli9; do unzip -tqq "$out/$a.zip"; done
mkdir -p "$out/check"
"$cli" x "$out/zip6.zip" -d "$out/check" >/dev/null
diff -r "$corpus/tree" "$out/check/tree" >/dev/null && diff -r "$corpus/large" "$out/check/large" >/dev/null
rm -rf "$out/check"
echo "kelvory-cli archives test clean with unzip; its extraction of zip-6.zip matches the corpus"

for input in zip6 cli9; do
  a="$out/$input.zip"
  echo "== extract $input.zip"
  printf '| %-14s | %7s | %9s |\n' tool seconds "peak KiB"
  for r in "$(best kelvory-cli "rm -rf $out/x" "$cli x $a -d $out/x")" \
           "$(best kvziplib "rm -rf $out/x" "mkdir $out/x && $kv extract $a $out/x")" \
           "$(best unzip "rm -rf $out/x" "unzip -q $a -d $out/x")" \
           "$(best 7zz "rm -rf $out/x" "7zz x -y -o$out/x $a")" \
           "$(best bsdtar "rm -rf $out/x" "mkdir $out/x && bsdtar -xf $a -C $out/x")"; do
    read -r name t m <<<"$r"
    row "$name" "$t" "$m"
  done
  rm -rf "$out/x"
  echo "== test $input.zip"
  printf '| %-14s | %7s | %9s |\n' tool seconds "peak KiB"
  for r in "$(best kelvory-cli ":" "$cli t $a")" "$(best kvziplib ":" "$kv test $a")" \
           "$(best unzip ":" "unzip -tq $a")" "$(best 7zz ":" "7zz t $a")"; do
    read -r name t m <<<"$r"
    row "$name" "$t" "$m"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
