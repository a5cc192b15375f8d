#!/usr/bin/env bash
# Self-extracting programs: how fast a program made by `kelvory-cli sfx` extracts
# itself, against unzip, 7zz and bsdtar extracting the same archive, and how fast
# `kelvory-cli sfx` makes the program against the peers' way (concatenating the
# stub and the archive, then `zip -A` to adjust the offsets). Everything is
# verified first: the program's output matches the corpus and `unzip -t` accepts
# the program. hyperfine gives mean ± deviation over RUNS runs.
#
# Usage: bench/sfx_bench.sh BIN_FOLDER [CORPUS] [RUNS]
#   BIN_FOLDER holds kelvory-cli, kvsfx and the libraries (a Release build's bin/);
#   CORPUS is bench/ziplibs_make_corpus.sh's folder (made when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "${1:?usage: $0 BIN_FOLDER [CORPUS] [RUNS]}" && pwd)"
corpus="${2:-$here/corpus}"
runs="${3:-10}"
for tool in zip unzip 7zz bsdtar hyperfine; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done
[ -d "$corpus/tree" ] || "$here/ziplibs_make_corpus.sh" "$corpus"
corpus="$(cd "$corpus" && pwd)"
out="$here/out/sfx"
rm -rf "$out"
mkdir -p "$out"
export XDG_DATA_HOME="$out/data"  # the converted .zip goes to a trash in here

bytes=$(du -sb --apparent-size "$corpus/tree" "$corpus/large" | awk '{s += $1} END {print s}')
files=$(find "$corpus/tree" "$corpus/large" -type f | wc -l)
echo "corpus: $files files, $bytes bytes; machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

(cd "$corpus" && "$bin/kelvory-cli" a -6 -r "$out/pack.zip" tree large >/dev/null)
cp "$out/pack.zip" "$out/keep.zip"
"$bin/kelvory-cli" sfx "$out/pack.zip" >/dev/null
prog="$out/pack.exe"
echo "program: $(stat -c %s "$prog") bytes, stub $(stat -c %s "$bin/kvsfx") bytes"

echo "== verify"
unzip -tqq "$prog"
"$prog" --dest "$out/x" --yes >/dev/null
diff -r "$corpus/tree" "$out/x/tree" && diff -r "$corpus/large" "$out/x/large"
rm -rf "$out/x"

echo "== extract (the program itself against the peers on the same archive)"
hyperfine -N --warmup 1 --runs "$runs" --prepare "rm -rf $out/x" \
  -n program "$prog --dest $out/x --yes" \
  -n unzip "unzip -qo $out/keep.zip -d $out/x" \
  -n 7zz "7zz x -y -bd -o$out/x $out/keep.zip" \
  -n bsdtar "bash -c 'mkdir -p $out/x && bsdtar -xf $out/keep.zip -C $out/x'" \
  --export-markdown "$out/extract.md"

echo "== make the program"
hyperfine -N --warmup 1 --runs "$runs" --prepare "bash -c 'rm -f $out/m.exe; cp $out/keep.zip $out/m.zip'" \
  -n "kelvory-cli sfx" "$bin/kelvory-cli sfx $out/m.zip" \
  -n "cat + zip -A" "bash -c 'cat $bin/kvsfx $out/keep.zip > $out/m.exe && zip -qA $out/m.exe'" \
  --export-markdown "$out/make.md"
cat "$out/extract.md" "$out/make.md"
