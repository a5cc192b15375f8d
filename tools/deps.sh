#!/usr/bin/env bash
# Installs the Debian packages Kelvory needs that are missing, and only those.
#   tools/deps.sh build   what building and running the program needs
#   tools/deps.sh test    that, plus the test peers, tools and benchmark peers
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev zlib1g-dev libdeflate-dev libjpeg-dev libarchive-dev
            libgl-dev libssl-dev)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang clang-format libclang-rt-14-dev zip unzip 7zip libarchive-tools hyperfine time
           python3 python3-aiosmtpd openssl xvfb xauth)
# Peers that only the benchmarks link; nothing in the program or its tests uses them.
bench_pkgs=(libgif-dev)

want=("${build_pkgs[@]}")
if [ "${1:-build}" = test ]; then want+=("${test_pkgs[@]}" "${bench_pkgs[@]}"); fi

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "These Debian packages are missing and I am not root: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q || true
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
