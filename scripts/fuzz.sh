#!/usr/bin/env bash
# Builds the fuzz targets with clang in a build folder of their own and runs each for the
# given number of seconds (default 60), starting from real catalogs, a real store and
# settings files. An input that takes longer than TIMEOUT seconds (default 5) or more than
# RSS_MB megabytes (default 1024) counts as a failure, so that quadratic or exponential work
# is caught as well as crashes.
#   scripts/fuzz.sh [SECONDS] [BUILD_FOLDER] [TARGET...]
# TARGET is one of catalog, store, hive, settings, runs; all five if none is given.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${2:-$root/build-fuzz}")
shift $(($# > 2 ? 2 : $#))
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(catalog store hive settings runs)
timeout=${TIMEOUT:-5}
rss_mb=${RSS_MB:-1024}

"$root/scripts/install-deps.sh" run tools
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DTACHOFLUX_BUILD_FUZZ=ON -DBUILD_TESTING=OFF -DTACHOFLUX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_mo_catalog fuzz_store_scan fuzz_hive_parse \
    fuzz_settings_file fuzz_run_reader tf_append_store tf_catalogs

seeds=$build/fuzz/seeds
mkdir -p "$seeds/catalog" "$seeds/store" "$seeds/hive"
catalogs=("$build"/assets/locale/de/LC_MESSAGES/*.mo)
cp "${catalogs[@]}" "$seeds/catalog/"
for po in "$root"/tests/i18n/catalogs/*.po; do
    name=$(basename "$po" .po)
    msgfmt -o "$seeds/catalog/$name.mo" "$po"
    msgfmt --endianness=big -o "$seeds/catalog/$name-be.mo" "$po"
done
# A small stand-in executable with the marker, given a store by the real tool.
marker=$(sed -n 's/.*Text = "\([0-9A-F-]*\)";.*/\1/p' "$root/i18n/StoreMarker.h")
printf 'image\0\0\0%s\0\0\0\0\0\0\0\0tail of the image' "$marker" \
    >"$seeds/store/program"
"$build/tools/tf_append_store" "$seeds/store/program" \
    "locale/de/LC_MESSAGES/default.mo=${catalogs[0]}" "locale/de/LC_MESSAGES/toolkit.mo=$seeds/catalog/regional.mo"

# Settings files: the hand-written ones, one in UTF-16, deep keys and many values.
cp "$root"/fuzz/seeds/hive/* "$seeds/hive/"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/fuzz/seeds/hive/kinds.reg"; } \
    >"$seeds/hive/kinds-utf16.reg"
header='Windows Registry Editor Version 5.00\r\n\r\n'
for levels in 300 3000 32000; do
    { printf "$header[HKEY_CURRENT_USER"; printf '\\k%.0s' $(seq "$levels"); printf ']\r\n"v"="1"\r\n'; } \
        >"$seeds/hive/deep-$levels.reg"
done
title=$(sed -n 's/^#define TACHOFLUX_TITLE "\(.*\)"$/\1/p' "$build/generated/Version.h")
for count in 100 5000; do
    { printf "$header[HKEY_CURRENT_USER\\\\%s\\\\Settings]\r\n" "$title"
      seq "$count" | sed 's/.*/"v&"="&"\r/'; } >"$seeds/hive/values-$count.reg"
done

# Files of runs: the program's journal and export in both conventions, a spreadsheet's
# re-save, a hand-edited one with a column added, junk lines and values out of range.
mkdir -p "$seeds/runs"
cp "$root"/fuzz/seeds/runs/* "$seeds/runs/"

# The settings file is written and renamed for every input: keep it in memory.
fuzz_tmp=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && fuzz_tmp=/dev/shm

status=0
for kind in "${kinds[@]}"; do
    case $kind in
    catalog) program=fuzz_mo_catalog seed=catalog dict= ;;
    store) program=fuzz_store_scan seed=store dict= ;;
    hive) program=fuzz_hive_parse seed=hive dict=$root/fuzz/hive.dict ;;
    settings) program=fuzz_settings_file seed=hive dict=$root/fuzz/hive.dict ;;
    runs) program=fuzz_run_reader seed=runs dict=$root/fuzz/runs.dict ;;
    *) echo "unknown target $kind" >&2; exit 2 ;;
    esac
    corpus=$build/fuzz/corpus-$kind
    mkdir -p "$corpus"
    echo "== $program for ${seconds}s"
    (cd "$build/fuzz" && TMPDIR=$fuzz_tmp "./$program" -max_total_time="$seconds" -max_len=262144 \
        -timeout="$timeout" -rss_limit_mb="$rss_mb" -print_final_stats=1 ${dict:+-dict="$dict"} \
        "$corpus" "$seeds/$seed") || status=$?
done
exit $status
