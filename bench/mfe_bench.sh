#!/usr/bin/env bash
# Multiple-file extraction: the window extracting 50 archives (45 ZIP, 5 RAR) in
# one run, each into a folder of its own, against `kelvory-cli x` run once per
# archive into the same folders. The window runs without a screen through
# mfe_driver (bench/mfe_driver.cpp). Verified first: both leave the same tree,
# and the ZIP part matches the files the archives were made from. hyperfine gives
# mean ± deviation over RUNS runs.
#
# Usage: bench/mfe_bench.sh BIN_FOLDER [RUNS]
#   BIN_FOLDER holds mfe_driver, kelvory-cli and the libraries (a Release build
#   with -DKV_WITH_BENCH=ON, its bin/).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "${1:?usage: $0 BIN_FOLDER [RUNS]}" && pwd)"
runs="${2:-10}"
command -v hyperfine >/dev/null || { echo "missing hyperfine" >&2; exit 2; }
samples="$here/../tests/data/rar"
out="$here/out/mfe"
rm -rf "$out"
mkdir -p "$out/src" "$out/arch"

# The ZIP archives: the headers below /usr/include cut into 45 slices of about the
# same number of files, each slice kept with its folders.
(cd /usr/include && find . -type f -name '*.h' | sort) > "$out/files.txt"
total=$(wc -l < "$out/files.txt")
per=$(( (total + 44) / 45 ))
split -l "$per" -d -a 2 "$out/files.txt" "$out/slice."
i=0
for slice in "$out"/slice.*; do
  name=$(printf 'a%02d' "$i")
  mkdir -p "$out/src/$name"
  (cd /usr/include && xargs -a "$slice" cp --parents -t "$out/src/$name")
  (cd "$out/src/$name" && "$bin/kelvory-cli" a -6 -r "$out/arch/$name.zip" . >/dev/null)
  i=$((i + 1))
done
# The RAR archives: samples made by the real archiver.
j=0
for s in test_read_format_rar5_multiple_files.rar test_read_format_rar5_compressed.rar \
         test_read_format_rar5_solid.rar test_read_format_rar_compress_normal.rar test_read_format_rar.rar; do
  cp "$samples/$s" "$out/arch/$(printf 'r%02d' "$j").rar"
  j=$((j + 1))
done
archives=("$out"/arch/*)
count=${#archives[@]}
bytes=$(du -sb --apparent-size "$out/src" | cut -f1)
echo "archives: $count ($(find "$out/src" -type f | wc -l) files, $bytes bytes in the ZIP part);" \
     "machine: $(nproc) processors; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

one_by_one="$out/one_by_one.sh"
{
  echo "#!/usr/bin/env bash"
  echo "set -e"
  for a in "${archives[@]}"; do
    n=$(basename "$a"); n=${n%.*}
    echo "'$bin/kelvory-cli' x '$a' -d '$out/y/$n' -o >/dev/null"
  done
} > "$one_by_one"
chmod +x "$one_by_one"

echo "== verify"
# The window makes each archive's folder one level deep, below a folder that exists.
mkdir -p "$out/x"
"$bin/mfe_driver" "$out/x" "${archives[@]}" 2>"$out/driver.log" || { cat "$out/driver.log"; exit 1; }
"$one_by_one"
diff -r "$out/x" "$out/y"
for a in "$out"/src/*; do diff -r "$a" "$out/x/$(basename "$a")"; done
rm -rf "$out/x" "$out/y"

echo "== extract $count archives"
hyperfine -N --warmup 1 --runs "$runs" --prepare "bash -c 'rm -rf $out/x $out/y && mkdir -p $out/x'" \
  -n "multiple file extracting (one run)" "$bin/mfe_driver $out/x ${archives[*]}" \
  -n "kelvory-cli x, one by one" "$one_by_one" \
  --export-markdown "$out/extract.md"
cat "$out/extract.md"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
