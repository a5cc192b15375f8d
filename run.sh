#!/usr/bin/env bash
# Builds Kelvory (Release, in build/) and starts it: ./run.sh [ARGS...]
# On a fresh Debian 12 machine it first installs the missing build packages.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=ON >/dev/null
cmake --build build --target kelvory kelvory_runtime -- -j"$(nproc)"
exec build/bin/kelvory "$@"
