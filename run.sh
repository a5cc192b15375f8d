#!/usr/bin/env bash
# Builds Kelvory (Release, in build/) and starts it: ./run.sh [ARGS...]
# On a fresh Debian 12 machine it first installs the missing build packages.
set -euo pipefail
cd "$(dirname "$0")"
tools/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_WITH_GUI=ON >/dev/null
# Qt's code generator keeps a stamp per target and can miss a class added to a
# folder after the build folder was made; dropping the stamps makes it look again.
find build -path '*_autogen/timestamp' -delete 2>/dev/null || true
cmake --build build --target kelvory kelvory_runtime -- -j"$(nproc)"
exec build/bin/kelvory "$@"
