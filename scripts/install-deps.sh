#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, by set:
#   run   what building and running the program needs (the default)
#   test  what the tests, benchmarks and package checks need besides
#   tools what the fuzzers (clang) and the instruction counts (valgrind) need
# TACHOFLUX_SKIP_INSTALL=1 installs nothing and only says what would be installed.
set -euo pipefail

run_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-svg-dev
    qt6-translations-l10n qt6-l10n-tools
    gettext
    # the straight-line fits of the analysis
    libgsl-dev
    librsvg2-bin
    # the start and stop tones (the library is loaded only when a tone plays)
    libasound2-dev
    fonts-liberation libfontconfig-dev
    # the class view's HTTP server and the QR code that leads to it
    libmicrohttpd-dev libqrencode-dev
    # xvfb-run is what the program suggests on a machine without a display.
    xvfb xauth
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    libreoffice-calc-nogui
    stress-ng
    xdotool
    # pdftotext reads the PDF report back; pdftoppm shows its page.
    poppler-utils
    desktop-file-utils appstream lintian
    locales libc-l10n
    # the class view: a real browser loads the page; zbarimg reads the QR code back
    chromium zbar-tools
)
tools_packages=(
    clang libclang-rt-14-dev
    valgrind
)

sets=("$@")
((${#sets[@]})) || sets=(run)
packages=()
for set in "${sets[@]}"; do
    case $set in
    run) packages+=("${run_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    tools) packages+=("${tools_packages[@]}") ;;
    *)
        echo "install-deps.sh: unbekannte Auswahl '$set' (run, test oder tools)" >&2
        exit 2
        ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ -n "${TACHOFLUX_SKIP_INSTALL:-}" ]]; then
    ((${#missing[@]})) && echo "install-deps.sh: installiert nichts; es fehlen: ${missing[*]}" >&2
    exit 0
fi
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if ((${#missing[@]})); then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests run in the users' German locale too.
if [[ " ${sets[*]} " == *" test "* ]] && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen >/dev/null
fi
