#!/usr/bin/env bash
# Sets up a Debian 12 machine for OstrakClient, builds it, and runs it or its tests.
#
#   ./build.sh run        install what is missing, build, start the client
#   ./build.sh test       install what is missing, build, run the whole test suite
#   ./build.sh asan-test  the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   ./build.sh build      install what is missing and build only
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev zlib1g-dev fonts-dejavu-core
    libgtest-dev libgmock-dev
    xvfb xauth
)

install_packages() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

mode=${1:-build}
install_packages
case "$mode" in
    build)
        build default
        ;;
    run)
        build default
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            echo "No display found: starting the client on a virtual X display."
            exec xvfb-run -a ./build/OstrakClient
        fi
        exec ./build/OstrakClient
        ;;
    test)
        build default
        ctest --preset default
        ;;
    asan-test)
        build asan
        ctest --preset asan
        ;;
    *)
        echo "usage: $0 [build|run|test|asan-test]" >&2
        exit 2
        ;;
esac
