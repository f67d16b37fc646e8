#!/usr/bin/env bash
# Builds the fuzz targets with clang in a build folder of their own and runs each for the
# given number of seconds (default 60), starting from real catalogs and a real store.
#   scripts/fuzz.sh [SECONDS] [BUILD_FOLDER]
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DTACHOFLUX_BUILD_FUZZ=ON -DTACHOFLUX_BUILD_TESTS=OFF -DTACHOFLUX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_mo_catalog fuzz_store_scan tf_append_store tf_catalogs

seeds=$build/fuzz/seeds
mkdir -p "$seeds/catalog" "$seeds/store"
catalogs=("$build"/assets/locale/de/LC_MESSAGES/*.mo)
cp "${catalogs[@]}" "$seeds/catalog/"
for po in "$root"/tests/i18n/catalogs/*.po; do
    name=$(basename "$po" .po)
    msgfmt -o "$seeds/catalog/$name.mo" "$po"
    msgfmt --endianness=big -o "$seeds/catalog/$name-be.mo" "$po"
done
# A small stand-in executable with the marker, given a store by the real tool.
printf 'image\0\0\0%s\0\0\0\0\0\0\0\0tail of the image' '3C142149-3BC7-47C3-9FA4-2E52359BFE6E' \
    >"$seeds/store/program"
"$build/tools/tf_append_store" "$seeds/store/program" \
    "locale/de/LC_MESSAGES/default.mo=${catalogs[0]}" "locale/de/LC_MESSAGES/toolkit.mo=$seeds/catalog/regional.mo"

status=0
for target in catalog:fuzz_mo_catalog store:fuzz_store_scan; do
    kind=${target%%:*}
    program=$build/fuzz/${target##*:}
    corpus=$build/fuzz/corpus-$kind
    mkdir -p "$corpus"
    echo "== ${target##*:} for ${seconds}s"
    (cd "$build/fuzz" && "$program" -max_total_time="$seconds" -max_len=262144 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$corpus" "$seeds/$kind") || status=$?
done
exit $status
