#!/usr/bin/env bash
# Installs what building and running Tachoflux needs, builds the program alone (no tests,
# no benchmarks) and starts it. --version and --help are answered without a display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DTACHOFLUX_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build build --target tachoflux
# The program itself answers --version and --help, and without a display says in German
# what to do.
exec build/app/tachoflux "$@"
