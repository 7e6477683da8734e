#!/usr/bin/env bash
# Sets up a Debian 12 machine for OstrakClient, builds it, and runs it or its tests.
#
#   ./build.sh run        install what is missing, build, start the client
#   ./build.sh test       install what is missing, build, run the whole test suite
#   ./build.sh asan-test  the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   ./build.sh build      install what is missing and build only
#   ./build.sh fuzz [s]   build the libFuzzer targets and run each for s seconds (default 30)
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev zlib1g-dev fonts-dejavu-core
    libgtest-dev libgmock-dev
    xvfb xauth xdotool xclip imagemagick x11-session-utils x11-xserver-utils socat inetutils-telnetd
    liblua5.4-dev libcanberra-dev
    libsystemd-dev dbus-daemon busybox
    clang libclang-rt-14-dev
    libssl-dev openssl
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

# Runs every fuzz target on a fresh copy of its seed corpus for the given seconds; fails when
# one of them finds a crash (its input is kept in build-fuzz/artifacts/).
run_fuzzers() {
    local seconds=$1 failed=()
    rm -rf build-fuzz/corpus build-fuzz/artifacts
    mkdir -p build-fuzz/corpus build-fuzz/artifacts
    for seeds in fuzz/corpus/*/; do
        local name
        name=$(basename "$seeds")
        cp -r "$seeds" "build-fuzz/corpus/$name"
        echo "Fuzzing $name for $seconds s"
        if ! "build-fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 \
            -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$name-" \
            "build-fuzz/corpus/$name" 2>"build-fuzz/$name.log"; then
            tail -n 60 "build-fuzz/$name.log"
            failed+=("$name")
        fi
        grep -E '^#[0-9]+[[:space:]]+DONE|^Done' "build-fuzz/$name.log" || true
    done
    if [ ${#failed[@]} -ne 0 ]; then
        echo "Fuzz targets that found a fault: ${failed[*]}" >&2
        return 1
    fi
}

mode=${1:-build}
install_packages
case "$mode" in
    build)
        build default
        ;;
    run)
        build default
        # The client runs in its run folder, beside the script systems and plug-ins it loads.
        cd build/run
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            echo "No display found: starting the client on a virtual X display."
            exec xvfb-run -a ./OstrakClient
        fi
        exec ./OstrakClient
        ;;
    test)
        build default
        ctest --preset default
        ;;
    asan-test)
        build asan
        ctest --preset asan
        ;;
    fuzz)
        build fuzz
        run_fuzzers "${2:-30}"
        ;;
    *)
        echo "usage: $0 [build|run|test|asan-test|fuzz [seconds]]" >&2
        exit 2
        ;;
esac
