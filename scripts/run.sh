#!/usr/bin/env bash
# Installs what is missing, builds Tachoflux and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

# First what is missing, so that the xvfb-run suggested below is there when it is needed.
scripts/install-deps.sh

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "Tachoflux is a desktop program and needs a graphical display, but neither DISPLAY" >&2
    echo "nor WAYLAND_DISPLAY is set. Start it from a desktop session, or without a screen:" >&2
    echo "    xvfb-run -a scripts/run.sh" >&2
    exit 1
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tachoflux
exec build/app/tachoflux "$@"
