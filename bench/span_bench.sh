#!/usr/bin/env bash
# Spanned sets: what writing an archive as volume files and reading it back costs
# on top of the plain operation, measured in one run on the same files.
#
#   plain add        kelvory-cli a -6 -r pack.zip tree
#   spanned add      kelvory-cli a -6 -r -s SIZE set.zip tree   (set001.zip, set002.zip...)
#   plain extract    kelvory-cli x pack.zip -d x
#   spanned extract  kelvory-cli x set001.zip -d x             (joined, then extracted)
#
# The corpus (made when missing) is about 200 MB of archive: 180 MiB of
# pseudo-random files (stored, as incompressible data is) from 64 KiB to 24 MiB, so
# that entries run over several volumes, and the Python standard library and the
# C++ headers (deflated). The four commands run in turn RUNS times, so the plain
# and the spanned figures of one round share the machine's load; the best and the
# median wall time of each are printed with the median processor time (user +
# system) and the highest peak resident size (/usr/bin/time). Verified first: the archive
# passes `unzip -t`, the set `7zz t` (under the other naming, set.z01... set.zip;
# `zip -s 0` cannot be used: Zip 3.0 joins stored entries that run over volumes
# wrongly, also in sets it wrote itself), and both extractions match the corpus.
#
# Usage: bench/span_bench.sh [RUNS] [VOLUME_SIZE]      (default 5, 10m)
#   KV_BENCH_BUILD   build folder (default build-bench), configured Release here
#   KV_BENCH_BIN     a folder with a built kelvory-cli and its libraries (no build)
#   KV_BENCH_SPAN    corpus folder (default bench/out/spancorpus)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
runs="${1:-5}"
volume="${2:-10m}"
build="${KV_BENCH_BUILD:-build-bench}"
corpus="${KV_BENCH_SPAN:-$root/bench/out/spancorpus}"
out="$root/bench/out/span"
for tool in unzip 7zz python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool (tools/deps.sh test installs it)" >&2; exit 2; }
done

if [ -z "${KV_BENCH_BIN:-}" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=OFF -DKV_WITH_TESTS=OFF >/dev/null
  cmake --build "$build" --target kelvory-cli kvzip kvunzip -- -j"$(nproc)" >/dev/null
fi
cli="$(cd "${KV_BENCH_BIN:-$build/bin}" && pwd)/kelvory-cli"

if [ ! -d "$corpus/tree" ]; then
  mkdir -p "$corpus/tree"
  cp -a /usr/include/c++ "$corpus/tree/include-cxx"
  cp -a /usr/lib/python3.11 "$corpus/tree/python3.11"
  rm -rf "$corpus/tree/python3.11/site-packages" "$corpus/tree/python3.11/dist-packages"
  python3 - "$corpus/tree/random" <<'PY'
import os, random, sys
folder = sys.argv[1]
os.makedirs(folder, exist_ok=True)
rng = random.Random(18)
sizes = [24 << 20, 20 << 20, 16 << 20, 12 << 20, 9 << 20, 7 << 20] + [rng.randint(64 << 10, 2 << 20) for _ in range(60)]
total, target, i = 0, 180 << 20, 0
while total < target:
    size = min(sizes[i] if i < len(sizes) else 1 << 20, target - total)
    with open(os.path.join(folder, "r%03d.bin" % i), "wb") as f:
        f.write(rng.randbytes(size))
    total += size
    i += 1
PY
  find "$corpus" -type l -delete
  find "$corpus" -type f ! -readable -delete
  chmod -R u+rwX "$corpus"
fi
corpus="$(cd "$corpus" && pwd)"
rm -rf "$out"
mkdir -p "$out"

# The archives, once, for checking and for the extraction rounds.
(cd "$corpus" && "$cli" a -6 -r "$out/pack.zip" tree >/dev/null)
(cd "$corpus" && "$cli" a -6 -r -s "$volume" "$out/set.zip" tree >/dev/null)
volumes=$(find "$out" -name 'set[0-9][0-9][0-9].zip' | wc -l)
last=$(printf '%s/set%03d.zip' "$out" "$volumes")
unzip -tqq "$out/pack.zip"
mkdir -p "$out/split"
for ((n = 1; n < volumes; n++)); do
  ln -s "$(printf '%s/set%03d.zip' "$out" "$n")" "$(printf '%s/split/set.z%02d' "$out" "$n")"
done
ln -s "$last" "$out/split/set.zip"
7zz t "$out/split/set.zip" >/dev/null
rm -rf "$out/split"
for archive in "$out/pack.zip" "$out/set001.zip"; do
  rm -rf "$out/x"
  "$cli" x "$archive" -d "$out/x" >/dev/null
  diff -r "$corpus/tree" "$out/x/tree"
done
rm -rf "$out/x"

bytes=$(du -sb --apparent-size "$corpus/tree" | cut -f1)
files=$(find "$corpus/tree" -type f | wc -l)
echo "corpus: $files files, $bytes bytes; archive $(stat -c %s "$out/pack.zip") bytes;" \
  "set: $volumes volumes of $volume; $(nproc) processors; $runs rounds;" \
  "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# run NAME PREPARE COMMAND: one timed run of COMMAND in the corpus folder, after
# PREPARE and sync (untimed: dirty pages of the run before otherwise land in this
# one); appends "seconds cpu-seconds peak-KiB" to $out/NAME.times.
run() {
  local name="$1" prepare="$2" command="$3"
  (cd "$corpus" && eval "$prepare")
  sync
  (cd "$corpus" && /usr/bin/time -f "%e %U %S %M" -o "$out/time.txt" bash -c "$command" >/dev/null 2>"$out/err.txt") ||
    { echo "$name failed:" >&2; cat "$out/err.txt" >&2; exit 1; }
  read -r t u s m <"$out/time.txt"
  echo "$t $(awk "BEGIN {printf \"%.2f\", $u + $s}") $m" >>"$out/$name.times"
}

clean_add="rm -f $out/a.zip $out/s[0-9][0-9][0-9].zip"
clean_x="rm -rf $out/x"
for ((i = 0; i < runs; i++)); do
  run plain-add "$clean_add" "$cli a -6 -r $out/a.zip tree"
  run spanned-add "$clean_add" "$cli a -6 -r -s $volume $out/s.zip tree"
  run plain-extract "$clean_x" "$cli x $out/pack.zip -d $out/x"
  run spanned-extract "$clean_x" "$cli x $last -d $out/x"
done
eval "$clean_add; $clean_x"

# median COLUMN NAME: the median of one column (1 wall, 2 CPU, 3 peak KiB) of NAME's runs.
median() {
  awk -v c="$1" '{print $c}' "$out/$2.times" | sort -n |
    awk '{v[NR] = $1} END {printf "%.2f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
best() { sort -n "$out/$1.times" | head -1 | awk '{print $1}'; }
peak() { awk -v m=0 '$3 > m {m = $3} END {printf "%.1f\n", m / 1024}' "$out/$1.times"; }
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "| command | best wall | median wall | median CPU | highest peak memory |"
echo "|---|---|---|---|---|"
for name in plain-add spanned-add plain-extract spanned-extract; do
  printf '| %-16s | %6s s | %6s s | %6s s | %6s MiB |\n' "$name" "$(best "$name")" "$(median 1 "$name")" \
    "$(median 2 "$name")" "$(peak "$name")"
done
for op in add extract; do
  awk -v op="$op" -v pb="$(best "plain-$op")" -v sb="$(best "spanned-$op")" -v pm="$(median 1 "plain-$op")" \
    -v sm="$(median 1 "spanned-$op")" -v pc="$(median 2 "plain-$op")" -v sc="$(median 2 "spanned-$op")" 'BEGIN {
    printf "spanned %s over plain: wall %+.0f %% (best), %+.0f %% (median); CPU %+.0f %% (median)\n",
      op, (sb / pb - 1) * 100, (sm / pm - 1) * 100, (sc / pc - 1) * 100}'
done
