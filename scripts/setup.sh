#!/usr/bin/env bash
# Sets up Ploxen Tasklume on Debian 12 from a clone of this repository.
#
#   scripts/setup.sh run    install what is missing, build, and start the program
#   scripts/setup.sh test   install what is missing, build with the sanitizers, run every test
#
# Needs root or sudo for the package installation; everything else stays in the clone.
set -euo pipefail

cd "$(dirname "$0")/.."
mode=${1:-}

build_packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
                libqt6sql6-sqlite libpugixml-dev zlib1g-dev libsqlite3-dev libcanberra-dev libical-dev
                qtkeychain-qt6-dev libsecret-1-0
                libxcb1-dev xdg-utils fonts-dejavu-core)
test_packages=(xvfb xauth xdotool x11-utils openbox trayer dbus-daemon imagemagick libbenchmark-dev
               poppler-utils python3 appstream desktop-file-utils radicale xandikos
               vdirsyncer todoman python3-caldav python3-dateutil at-spi2-core python3-pyatspi
               weston qt6-wayland lintian dpkg-dev
               gnome-keyring libsecret-tools)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

case "$mode" in
run)
    install_packages "${build_packages[@]}"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTASKLUME_BUILD_TESTS=OFF
    cmake --build build -j"$jobs"
    exec ./build/bin/tasklume
    ;;
test)
    install_packages "${build_packages[@]}" "${test_packages[@]}"
    cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DTASKLUME_SANITIZE=ON \
        -DTASKLUME_WERROR=ON -DTASKLUME_BUILD_BENCH=ON
    cmake --build build-test -j"$jobs"
    cd build-test
    ctest --output-on-failure --timeout 600
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
