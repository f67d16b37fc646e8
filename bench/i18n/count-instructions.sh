#!/usr/bin/env bash
# Instructions per lookup for each benchmark of tf_i18n_bench, counted by callgrind
# (steadier than time on a busy machine). Usage: count-instructions.sh BENCH_BINARY [N]
set -euo pipefail
bench=${1:?path to tf_i18n_bench}
count=${2:-20000}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%-26s %14s\n' benchmark instructions/op
for case in OursLookup:oursLookup OursTranslate:oursTranslate Gettext:gettextLookup QTranslator:qtTranslate; do
    name=${case%%:*}
    function=${case##*:}
    for hit in 1 0; do
        TF_BENCH_ITERATIONS=$count valgrind --tool=callgrind --callgrind-out-file="$out/cg" \
            --toggle-collect="*${function}*" "$bench" --benchmark_filter="BM_${name}/hit:${hit}/" \
            >/dev/null 2>&1
        total=$(callgrind_annotate "$out/cg" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}' || true)
        calls=$(callgrind_annotate --tree=caller "$out/cg" 2>/dev/null |
            grep -E "\\*  .*${function}" -B1 | grep -oE '\(([0-9,]+)x\)' | tr -d "(),x" | head -1 || true)
        printf '%-26s %14s\n' "BM_${name}/hit:${hit}" "$((total / ${calls:-$count}))"
    done
done
