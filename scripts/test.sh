#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, built with
# AddressSanitizer and UndefinedBehaviorSanitizer, in the C and in the German locale (the
# users' own); then the threaded parts once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run test

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# build_tree <build folder> <targets, space-separated, or all> [cmake arguments...]
# A suite built only in part runs only the tests of the targets built.
build_tree() {
    local dir=$1 targets
    read -ra targets <<<"$2"
    shift 2
    # Tests and benchmarks on explicitly: scripts/run.sh turns them off in the same folder.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTF_SKIP_TEST_DIRS= \
        -DBUILD_TESTING=ON -DTACHOFLUX_BUILD_BENCH=ON "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j2 --target "${targets[@]}"
}

# run_suite <build folder> <label> <locale> [ctest arguments, e.g. -R regex...]
run_suite() {
    local dir=$1 label=$2 locale=$3
    shift 3
    echo "== tests: $label, $locale"
    LANG=$locale LC_ALL=$locale QT_QPA_PLATFORM=offscreen \
        ctest --test-dir "$dir" --output-on-failure --timeout 300 -j2 "$@"
}

# One tree, built with AddressSanitizer and UndefinedBehaviorSanitizer, runs the whole suite
# in the C and in the German locale: any report fails the test that caused it. Light
# optimisation and line tables only, as the build takes most of the time; the benchmarks are
# built too, so that none of them rots, but not run.
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
build_tree build-asan all \
    "-DCMAKE_C_FLAGS=$sanitizers" "-DCMAKE_CXX_FLAGS=$sanitizers" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" \
    "-DCMAKE_EXE_LINKER_FLAGS=$sanitizers" "-DCMAKE_SHARED_LINKER_FLAGS=$sanitizers"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
run_suite build-asan "address and undefined behaviour sanitizers" C.UTF-8
run_suite build-asan "address and undefined behaviour sanitizers" de_DE.UTF-8
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

# The threads of the serial watcher and of the catalog lookups under ThreadSanitizer: the
# watcher's tests 10 times over, since a lost wake or a race shows only now and then.
tsan="-fsanitize=thread -fno-omit-frame-pointer"
build_tree build-tsan "tf_comm_tests tf_serial_wake_tests tf_serial_device_tests tf_i18n_tests" \
    -DTACHOFLUX_BUILD_BENCH=OFF "-DTF_SKIP_TEST_DIRS=platform;timing;protocol;session;settings;widgets;web;analysis;app;tools" \
    "-DCMAKE_C_FLAGS=$tsan" "-DCMAKE_CXX_FLAGS=$tsan" "-DCMAKE_EXE_LINKER_FLAGS=$tsan" \
    "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1"
export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/comm/tsan.supp"
run_suite build-tsan "thread sanitizer, serial watcher" C.UTF-8 \
    -R "MyCommStatusTest|PortKinds|SerialWake" --repeat until-fail:10
# Each run of these bounces a contact 40 times: 10 runs keep the command within its time.
run_suite build-tsan "thread sanitizer, bouncing contacts" C.UTF-8 -R "ChangeWaits" \
    --repeat until-fail:10
# The real devices' tests start other programs (flock) to hold a port: once is enough.
run_suite build-tsan "thread sanitizer, serial devices" C.UTF-8 -R "SerialDeviceTest"
run_suite build-tsan "thread sanitizer, catalog lookups" C.UTF-8 -R "CatalogSafety"
