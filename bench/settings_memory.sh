#!/usr/bin/env bash
# Peak memory of the real game started on a huge settings file, against a
# normal start (see README.md, "Settings file size").
#   bench/settings_memory.sh [MB] [game] [rounds]
# MB: size of the huge files (default 400); game: the executable (default
# build/tollbrook, built first); rounds: how often each case runs (default 2).
# Each case runs the game in a folder of its own, the assets linked in and
# its own settings.ini, under Xvfb; Escape is held on the start screen, so
# the game loads and sets up the level and ends before its first frame. The
# figure is /usr/bin/time's maximum resident set size, kB / 1000.
# Cases: the settings alone; the same followed by MB of comment lines (about
# 80 characters); of over-long lines (1000 characters, each skipped with a
# warning); of one line without an end.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
MB=${1:-400}
ROUNDS=${3:-2}
if [ -z "${2:-}" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
    cmake --build build --target tollbrook --parallel "$(nproc)" > /dev/null
fi
GAME=$(realpath "${2:-build/tollbrook}")
TITLE="Settings Size Check"
WORK=$(mktemp -d /tmp/tollbrook-settings.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

SETTINGS="[window]
width = 640
height = 360
title = $TITLE
fullscreen = false
[camera]
fov = 60.0
"

# The folder of a case: every asset but the settings file linked in.
prepare() {
    mkdir -p "$WORK/$1/assets"
    for entry in assets/*; do
        [ "$(basename "$entry")" = settings.ini ] || ln -s "$ROOT/$entry" "$WORK/$1/assets/"
    done
    printf '%s' "$SETTINGS" > "$WORK/$1/assets/settings.ini"
}

prepare normal
prepare comments
(yes "; a comment, one of many that make this settings file as large as it is" || true) | head -c "${MB}M" \
    >> "$WORK/comments/assets/settings.ini"
prepare long_lines
(yes "$(head -c 999 /dev/zero | tr '\0' 'x')" || true) | head -c "${MB}M" >> "$WORK/long_lines/assets/settings.ini"
prepare one_line
head -c "${MB}M" /dev/zero | tr '\0' 'x' >> "$WORK/one_line/assets/settings.ini"

# Runs the game of a case with Escape held once its window shows; prints the
# peak in MB, the wall time and the exit status.
run() {
    (cd "$WORK/$1" && xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        /usr/bin/time -v -o time.txt "$0" > out.txt 2> err.txt &
        game=$!
        window=$(timeout 300 xdotool search --sync --name "$1" | head -n 1)
        [ -n "$window" ] && xdotool windowfocus --sync "$window" keydown Escape
        wait "$game" || true
        xdotool keyup Escape || true
    ' "$GAME" "$TITLE")
    awk -v name="$1" -F': ' '
        /Maximum resident set size/ { peak = $2 / 1000 }
        /Elapsed \(wall clock\)/ { wall = $2 }
        /Exit status/ { status = $2 }
        END { printf "%-11s %8.1f MB   wall %s   exit %s\n", name, peak, wall, status }' "$WORK/$1/time.txt"
}

echo "game: $GAME; huge files: $MB MB"
for round in $(seq "$ROUNDS"); do
    for name in normal comments long_lines one_line; do run "$name"; done
done
