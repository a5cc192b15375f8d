#!/usr/bin/env bash
# Builds the compression benchmark's corpus in bench/corpus/ (git-ignored): a mixed
# tree of real files from this machine (C++ and kernel headers, the Python standard
# library, Perl modules, locale sources, time zones, a few shared libraries) and a
# few large files (a compiler binary, a big text table, a big shared library).
# Symbolic links are dropped so that every tool archives the same bytes.
# Usage: bench/ziplibs_make_corpus.sh [target-folder]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/corpus}"
rm -rf "$out"
mkdir -p "$out/tree" "$out/large"

copy_tree() {  # source folder -> tree/<name>
  local src="$1" name="$2"
  if [ -d "$src" ]; then
    mkdir -p "$out/tree/$name"
    cp -a "$src/." "$out/tree/$name/" 2>/dev/null || true
  fi
}
copy_tree /usr/include/c++ include-cxx
copy_tree /usr/include/linux include-linux
copy_tree /usr/include/x86_64-linux-gnu include-arch
copy_tree /usr/lib/python3.11 python3.11
copy_tree /usr/share/perl perl
copy_tree /usr/share/i18n i18n
copy_tree /usr/share/zoneinfo zoneinfo
copy_tree /usr/lib/x86_64-linux-gnu/perl perl-lib
rm -rf "$out/tree/python3.11/site-packages" "$out/tree/python3.11/dist-packages"

for f in /usr/lib/gcc/x86_64-linux-gnu/12/cc1plus /usr/share/package-lists/npm.tsv \
         /usr/lib/x86_64-linux-gnu/libz3.so.4; do
  [ -f "$f" ] && cp "$f" "$out/large/"
done

find "$out" -type l -delete
find "$out" -type f ! -readable -delete
chmod -R u+rwX "$out"
echo "corpus: $(find "$out" -type f | wc -l) files, $(find "$out" -type d | wc -l) folders," \
     "$(du -sb "$out" | cut -f1) bytes ($(du -sh --apparent-size "$out" | cut -f1))"
