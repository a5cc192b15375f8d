#!/usr/bin/env bash
# Listing and extracting RAR archives: kelvory-cli (TRAR driving libkvrar.so, as
# the main window does) against bsdtar, measured in one run.
#
# Archives: the corpus of bench/rar_make_corpus.py (made when missing): about
# 200 MB of files as a RAR5 set of four volumes, as one RAR5 archive and as one
# RAR4 archive, all stored; and the compressed RAR4 sample of 1 MB of random data
# and an office file (tests/data/rar; the 20 MB sample of many LZ blocks is
# decoded wrongly by Debian's libarchive 3.6 itself, so it cannot be timed). bsdtar 3.6 cannot follow RAR volumes, so it reads the
# one-file RAR5 archive of the same files where kelvory-cli reads the set.
#
# Each command runs RUNS times; the best wall time is kept with that run's peak
# memory (/usr/bin/time). Verified first: every extraction matches the files.
#
# Usage: bench/rar_bench.sh [RUNS]        (default 5)
#   KV_BENCH_BUILD   build folder (default build-bench), configured Release here
#   KV_BENCH_RAR     corpus folder (default bench/out/rarcorpus)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs="${1:-5}"
build="${KV_BENCH_BUILD:-build-bench}"
corpus="${KV_BENCH_RAR:-$root/bench/out/rarcorpus}"
out="$root/bench/out/rar"
for tool in bsdtar python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (tools/deps.sh test installs it)" >&2; exit 2; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=OFF -DKV_WITH_TESTS=OFF >/dev/null
cmake --build "$build" --target kelvory-cli kvrar -- -j"$(nproc)" >/dev/null
cli="$(cd "$build/bin" && pwd)/kelvory-cli"
[ -f "$corpus/set.part1.rar" ] || python3 bench/rar_make_corpus.py "$corpus" 200
corpus="$(cd "$corpus" && pwd)"
lz="$root/tests/data/rar/test_read_format_rar_binary_data.rar"
rm -rf "$out"
mkdir -p "$out"

# Verification: kelvory-cli and bsdtar both extract exactly the files.
"$cli" x "$corpus/set.part1.rar" -d "$out/check" >/dev/null
diff -r "$corpus/tree" "$out/check"
rm -rf "$out/check"
"$cli" x "$corpus/single4.rar" -d "$out/check" >/dev/null
diff -r "$corpus/tree" "$out/check"
rm -rf "$out/check" && mkdir -p "$out/check"
bsdtar -xf "$corpus/single5.rar" -C "$out/check"
diff -r "$corpus/tree" "$out/check"
rm -rf "$out/check"
mkdir -p "$out/a" "$out/b"
"$cli" x "$lz" -d "$out/a" >/dev/null
bsdtar -xf "$lz" -C "$out/b"
diff -r "$out/a" "$out/b"
rm -rf "$out/a" "$out/b"

bytes=$(du -sb --apparent-size "$corpus/tree" | cut -f1)
files=$(find "$corpus/tree" -type f | wc -l)
echo "corpus: $files files, $bytes bytes; $(nproc) processors; best of $runs;" \
  "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# best NAME COMMAND: runs COMMAND RUNS times (the output folder emptied and dirty
# pages written out before each, untimed) and prints the best wall time with that
# run's processor time (user + system) and peak memory.
best() {
  local name="$1" command="$2" bestT="" bestC="" bestM=""
  for ((i = 0; i < runs; i++)); do
    rm -rf "$out/x" && mkdir -p "$out/x"
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$out/time.txt" bash -c "$command" >/dev/null 2>"$out/err.txt" ||
      { echo "$name failed:" >&2; cat "$out/err.txt" >&2; exit 1; }
    read -r t u s m <"$out/time.txt"
    if [ -z "$bestT" ] || awk "BEGIN {exit !($t < $bestT)}"; then
      bestT=$t
      bestC=$(awk "BEGIN {printf \"%.2f\", $u + $s}")
      bestM=$m
    fi
  done
  printf '| %-38s | %6s s | %6s s | %8s KiB |\n' "$name" "$bestT" "$bestC" "$bestM"
}

echo "| command | best wall | its CPU | peak memory |"
echo "|---|---|---|---|"
best "kelvory-cli l set.part1.rar" "$cli l $corpus/set.part1.rar"
best "kelvory-cli l single5.rar" "$cli l $corpus/single5.rar"
best "bsdtar -tf single5.rar" "bsdtar -tf $corpus/single5.rar"
best "kelvory-cli l single4.rar" "$cli l $corpus/single4.rar"
best "bsdtar -tf single4.rar" "bsdtar -tf $corpus/single4.rar"
best "kelvory-cli x set.part1.rar" "$cli x $corpus/set.part1.rar -d $out/x"
best "kelvory-cli x single5.rar" "$cli x $corpus/single5.rar -d $out/x"
best "bsdtar -xf single5.rar" "bsdtar -xf $corpus/single5.rar -C $out/x"
best "kelvory-cli x single4.rar" "$cli x $corpus/single4.rar -d $out/x"
best "bsdtar -xf single4.rar" "bsdtar -xf $corpus/single4.rar -C $out/x"
best "kelvory-cli x binary_data (RAR4 LZ)" "$cli x $lz -d $out/x"
best "bsdtar -xf binary_data (RAR4 LZ)" "bsdtar -xf $lz -C $out/x"
rm -rf "$out/x"
