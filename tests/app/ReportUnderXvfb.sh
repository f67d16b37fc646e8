#!/usr/bin/env bash
# The real program on a virtual display, driven by keys as a user drives it: five runs by
# F5 and F6, then Export to a name ending in .pdf. The report must hold "Mittelwert" and
# the mean of the times that the program's own journal recorded, in German format.
# Usage: ReportUnderXvfb.sh PROGRAM
set -euo pipefail
program=$1
for tool in xvfb-run xdotool pdftotext; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/data" "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 QT_QPA_PLATFORM=xcb
unset DISPLAY WAYLAND_DISPLAY
report="$work/bericht.pdf"

# Each run searches for a free display from a number of its own: two that start together
# could otherwise take the same.
xvfb-run -a -n $((100 + $$ % 30000)) -s "-screen 0 1280x1024x24" bash -s "$program" "$report" <<'INNER'
set -euo pipefail
program=$1 report=$2
"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
window=$(timeout 60 xdotool search --sync --onlyvisible --name "Velox" | head -n 1)
xdotool windowfocus --sync "$window"
sleep 0.5
for i in 1 2 3 4 5; do
    xdotool key F5
    sleep 0.$((2 + i))
    xdotool key F6
    sleep 0.3
done
xdotool key alt+e
dialog=""
for _ in $(seq 100); do
    dialog=$(xdotool search --onlyvisible --name "" 2>/dev/null | grep -vx "$window" | tail -n 1 || true)
    [[ -n $dialog ]] && break
    sleep 0.1
done
sleep 1
xdotool type --delay 5 "$report"
xdotool key Return
for _ in $(seq 200); do
    [[ -s $report ]] && break
    sleep 0.1
done
sleep 0.5
kill "$pid"
wait "$pid" 2>/dev/null || true
INNER

[[ -s $report ]] || { echo "the program wrote no report" >&2; exit 1; }
journal=$(ls "$XDG_DATA_HOME"/tachoflux/Messungen-*.csv)
# The journal's times in ticks (seconds with four decimals, "," as the separator); their mean,
# rounded half away from zero to four decimals. Five runs never give a tie.
mean=$(awk -F';' 'NR > 1 && $2 != "" { gsub(",", "", $2); sum += $2; n++ }
    END { if (n != 5) exit 1; t = int((sum * 10 + n * 5) / (n * 10)); printf "%d,%04d", t / 10000, t % 10000 }' "$journal")
text=$(pdftotext -layout "$report" -)
grep -q "Mittelwert" <<<"$text" || { echo "no Mittelwert in the report" >&2; echo "$text" >&2; exit 1; }
grep -q "Alle *5 *$mean" <<<"$text" || { echo "no mean $mean in the report" >&2; echo "$text" >&2; exit 1; }
echo "report holds Mittelwert and the mean time $mean"
