#!/bin/sh
# Sets up a Debian 12 machine for Reelcaster, builds it, and starts it or runs its tests.
#
#   ./setup.sh run              build and start Reelcaster
#   ./setup.sh test             build and run every test
#   ./setup.sh test --sanitize  the same with the address and undefined-behaviour sanitizers
#
# Missing Debian packages are installed with apt-get (as root, or through sudo); nothing is
# printed about them when all are present.
set -eu
cd "$(dirname "$0")"

PACKAGES="cmake ninja-build g++ pkg-config clang-format
qt6-base-dev qt6-svg-dev libgl-dev
libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev
libavdevice-dev libsdl2-dev
libgtest-dev libgmock-dev ffmpeg xvfb xauth time dbus openbox xdotool"

install_missing_packages() {
    missing=""
    for package in $PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
            missing="$missing $package"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root="sudo"
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

build() { # build <folder> [cmake options…]
    folder=$1
    shift
    cmake -S . -B "$folder" -G Ninja "$@" >/dev/null
    cmake --build "$folder"
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
run)
    install_missing_packages
    build build
    exec ./build/reelcaster
    ;;
test)
    install_missing_packages
    folder=build
    options=""
    if [ "${1:-}" = "--sanitize" ]; then
        folder=build-sanitize
        options="-DREELCASTER_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"
    fi
    # shellcheck disable=SC2086
    build "$folder" $options
    ctest --test-dir "$folder" --output-on-failure -j "$(nproc)"
    ;;
*)
    echo "usage: ./setup.sh run | test [--sanitize]" >&2
    exit 2
    ;;
esac
