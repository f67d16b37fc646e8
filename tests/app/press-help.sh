#!/usr/bin/env bash
# Run under xvfb-run: starts the program given as a user's desktop would, with no browser
# and no opener on its path and a GNOME desktop named, presses its "Hilfe" button and
# prints the title of the help window that appears. Exit 1 if none appears.
set -euo pipefail
program=$1

env -u QT_QPA_PLATFORM PATH=/nonexistent BROWSER= XDG_CURRENT_DESKTOP=GNOME "$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

main=$(timeout 60 xdotool search --sync --onlyvisible --name '^Kelvaro / Software / Velox' | head -n1)
# The button sits at 84,8 (73 x 38) in the window. A press before the window handles its
# first events may be lost, so press again until the help shows or the time is up.
for _ in $(seq 30); do
    xdotool mousemove --window "$main" 120 27 click 1
    if help=$(timeout 2 xdotool search --sync --onlyvisible --name 'Tachoflux.*Hilfe' | head -n1); then
        xdotool getwindowname "$help"
        exit 0
    fi
done
echo "no help window appeared" >&2
exit 1
