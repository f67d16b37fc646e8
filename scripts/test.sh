#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTF_SKIP_TEST_DIRS= >/dev/null
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 300 -j2

# The serial watcher's tests under ThreadSanitizer, 50 times over, and once under
# AddressSanitizer and UndefinedBehaviorSanitizer: its threads, wake and timers.
comm_tests="tf_comm_tests tf_serial_wake_tests tf_serial_device_tests"
comm_regex="MyCommStatusTest|PortKinds|ChangeWaits|SerialWake|SerialDeviceTest"
for san in thread address,undefined; do
    dir="build-${san%%,*}-comm"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTACHOFLUX_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=$san -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=$san" \
        -DTF_SKIP_TEST_DIRS="platform;i18n;timing;widgets;app;tools" >/dev/null
    cmake --build "$dir" --target $comm_tests
    repeat=1; [[ $san == thread ]] && repeat=50
    QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/comm/tsan.supp" \
        ctest --test-dir "$dir" -R "$comm_regex" --output-on-failure --timeout 120 -j2 \
        --repeat until-fail:$repeat
done
