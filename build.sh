#!/usr/bin/env bash
# Tollbrook build script.
#   ./build.sh run    install what is missing, build (Release) and start the game
#   ./build.sh test   install what is missing, build and run every test under Xvfb
# BUILD_DIR (default: build) and BUILD_TYPE (default: Release) may be set in the environment.
set -euo pipefail

cd "$(dirname "$0")"
ROOT="$(pwd)"
BUILD_DIR="${BUILD_DIR:-build}"
BUILD_TYPE="${BUILD_TYPE:-Release}"

PACKAGES=(
    cmake pkg-config g++ make
    libglfw3-dev libglew-dev libgl-dev libassimp-dev libfreetype-dev libstb-dev libglm-dev
    libinih-dev libbullet-dev libgtest-dev libgmock-dev libx11-dev
    xvfb xauth xdotool x11-utils imagemagick libgl1-mesa-dri libglx-mesa0
)

install_packages() {
    local missing=()
    local package
    for package in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y "${missing[@]}"
}

build() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE"
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

case "${1:-}" in
    run)
        install_packages
        build
        exec "$BUILD_DIR/tollbrook"
        ;;
    test)
        install_packages
        build
        xvfb-run -a -s "-screen 0 1280x1024x24" \
            ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
        ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 2
        ;;
esac
