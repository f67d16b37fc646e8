#!/usr/bin/env bash
# Runs the hostile clients against a class view of its own (a made-up session that gains a
# run every 400 ms) and says whether the server answered throughout and kept its memory
# within the bound.
#   hostile-run.sh <folder of tf_classview_demo and tf_classview_hostile> [seconds] [bound in MiB]
set -euo pipefail
bin=$1
seconds=${2:-600}
bound=${3:-64}
log=$(mktemp)
trap 'kill "$server" 2>/dev/null || true; rm -f "$log"' EXIT
"$bin/tf_classview_demo" --port 0 --loopback --every 400 --runs 30 2>"$log" &
server=$!
for _ in $(seq 50); do
    grep -q '^Klassenansicht: ' "$log" && break
    sleep 0.1
done
url=$(sed -n 's/^Klassenansicht: //p' "$log")
[[ -n $url ]] || { echo "hostile-run.sh: the server did not start: $(cat "$log")" >&2; exit 1; }
port=$(sed 's|^http://[^:]*:\([0-9]*\)/.*|\1|' <<<"$url")
code=${url##*k=}
"$bin/tf_classview_hostile" --port "$port" --code "$code" --pid "$server" \
    --seconds "$seconds" --max-rss-mib "$bound"
kill -0 "$server" || { echo "hostile-run.sh: the server died" >&2; exit 1; }
