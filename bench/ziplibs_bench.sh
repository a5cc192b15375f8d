#!/usr/bin/env bash
# Compression, extraction and test speed of the compressor and extractor libraries
# against zip, unzip, 7zz and bsdtar, measured in one run on the same corpus
# (bench/ziplibs_make_corpus.sh). Each command runs RUNS times; the best wall time
# is kept with that run's peak memory (/usr/bin/time). Results are verified first:
# every archive passes `unzip -t`, every extraction matches the corpus.
#
# Usage: bench/ziplibs_bench.sh BIN_FOLDER [CORPUS] [RUNS]
#   BIN_FOLDER holds kvziplib, libkvzip.so and libkvunzip.so (a Release build's bin/)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "${1:?usage: $0 BIN_FOLDER [CORPUS] [RUNS]}" && pwd)"
corpus="$(cd "${2:-$here/corpus}" && pwd)"
runs="${3:-3}"
out="$here/out/ziplibs"
rm -rf "$out"
mkdir -p "$out"
kv="$bin/kvziplib"
for tool in zip unzip 7zz bsdtar /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

bytes=$(du -sb --apparent-size "$corpus/tree" "$corpus/large" | awk '{s += $1} END {print s}')
files=$(find "$corpus/tree" "$corpus/large" -type f | wc -l)
echo "corpus: $files files, $bytes bytes; machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# best NAME PREPARE COMMAND: runs COMMAND (after PREPARE, untimed) RUNS times in
# the corpus folder and prints "NAME seconds peak-KiB".
best() {
  local name="$1" prepare="$2" command="$3" bestT="" bestM=""
  for ((i = 0; i < runs; i++)); do
    (cd "$corpus" && eval "$prepare")
    (cd "$corpus" && /usr/bin/time -f "%e %M" -o "$out/time.txt" bash -c "$command" >/dev/null 2>"$out/err.txt") ||
      { echo "$name failed:" >&2; cat "$out/err.txt" >&2; exit 1; }
    read -r t m <"$out/time.txt"
    if [ -z "$bestT" ] || awk "BEGIN {exit !($t < $bestT)}"; then bestT=$t; bestM=$m; fi
  done
  echo "$name $bestT $bestM"
}

size() { stat -c %s "$1"; }

echo "== compress"
results=()
results+=("$(best kv-6 "rm -f $out/kv6.zip" "$kv add -6 -r $out/kv6.zip tree large")")
results+=("$(best kv-9 "rm -f $out/kv9.zip" "$kv add -9 -r $out/kv9.zip tree large")")
results+=("$(best zip-6 "rm -f $out/zip6.zip" "zip -q -r -6 $out/zip6.zip tree large")")
results+=("$(best zip-9 "rm -f $out/zip9.zip" "zip -q -r -9 $out/zip9.zip tree large")")
results+=("$(best bsdtar "rm -f $out/bsdtar.zip" "bsdtar --format zip -cf $out/bsdtar.zip tree large")")
results+=("$(best 7zz-mx5 "rm -f $out/7zz5.zip" "7zz a -tzip -mx=5 $out/7zz5.zip tree large")")
declare -A archive=([kv-6]=kv6 [kv-9]=kv9 [zip-6]=zip6 [zip-9]=zip9 [bsdtar]=bsdtar [7zz-mx5]=7zz5)
printf '| %-8s | %8s | %12s | %9s | %10s |\n' tool seconds "archive B" ratio "peak KiB"
for r in "${results[@]}"; do
  read -r name t m <<<"$r"
  s=$(size "$out/${archive[$name]}.zip")
  printf '| %-8s | %8s | %12s | %8.2f%% | %10s |\n' "$name" "$t" "$s" "$(awk "BEGIN {print 100 * $s / $bytes}")" "$m"
done

echo "== verify"
for a in kv6 kv9; do unzip -tq "$out/$a.zip" >/dev/null; 7zz t "$out/$a.zip" >/dev/null; done
mkdir -p "$out/check" && (cd "$out/check" && "$kv" extract "$out/zip6.zip" . >/dev/null)
diff -r "$corpus/tree" "$out/check/tree" >/dev/null && diff -r "$corpus/large" "$out/check/large" >/dev/null
rm -rf "$out/check"
echo "all archives test clean; extraction matches the corpus"

for input in zip6 kv9; do
  a="$out/$input.zip"
  echo "== extract $input.zip"
  best kv "rm -rf $out/x" "mkdir $out/x && $kv extract $a $out/x"
  best unzip "rm -rf $out/x" "unzip -q $a -d $out/x"
  best 7zz "rm -rf $out/x" "7zz x -y -o$out/x $a"
  best bsdtar "rm -rf $out/x" "mkdir $out/x && bsdtar -xf $a -C $out/x"
  rm -rf "$out/x"
  echo "== test $input.zip"
  best kv ":" "$kv test $a"
  best unzip ":" "unzip -tq $a"
  best 7zz ":" "7zz t $a"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
