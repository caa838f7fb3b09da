#!/usr/bin/env bash
# Builds and runs the frame benchmark under Xvfb at 1280x720 (see README.md).
#   bench/run.sh [frames]      BUILD_DIR (default: build) may be set
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$BUILD_DIR" --target bench_frame --parallel "$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/bench/bench_frame" "$@"
