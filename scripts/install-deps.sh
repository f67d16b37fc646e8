#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build, run and test Tachoflux.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-svg-dev
    shared-mime-info
    qt6-translations-l10n qt6-l10n-tools
    gettext
    poppler-utils xdotool
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    xvfb xauth
    valgrind
    stress-ng
    fonts-liberation
    librsvg2-bin desktop-file-utils appstream
    locales
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
if ((${#missing[@]})); then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The users run the program in German; the tests run in that locale too.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    if grep -q '^# *de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    elif ! grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen >/dev/null
fi
