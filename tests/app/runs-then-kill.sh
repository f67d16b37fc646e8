#!/bin/bash
# Under an X server: starts the program, times three runs with F5/F6, exports the protocol
# as CSV through the Export dialog, then kills the program with SIGKILL.
# Usage: runs-then-kill.sh PROGRAM EXPORT.csv   (XDG_* folders come from the caller)
set -eu
program=$1
export_file=$2
QT_QPA_PLATFORM=xcb "$program" &
pid=$!
trap 'kill -9 $pid 2>/dev/null || true' EXIT
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Kelvaro' | head -n1)
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
journal="$XDG_DATA_HOME/tachoflux/Messungen-$(date +%F).csv"
lines_of() { if [ -f "$1" ]; then wc -l < "$1"; else echo 0; fi; }
for run in 1 2 3; do
    xdotool key F5
    sleep 0.$((run + 1))
    xdotool key F6
    # The run is journaled before it is shown: wait for its line.
    for _ in $(seq 100); do
        [ "$(lines_of "$journal")" -gt "$run" ] && break
        sleep 0.1
    done
done
xdotool key alt+e
dialog=$(timeout 30 xdotool search --sync --onlyvisible --name 'Speichern|Save' | head -n1)
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 20 "$export_file"
xdotool key Return
for _ in $(seq 100); do
    [ -s "$export_file" ] && break
    sleep 0.1
done
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
trap - EXIT
