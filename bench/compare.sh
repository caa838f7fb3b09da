#!/usr/bin/env bash
# The game frame benchmark of this tree side by side with a base commit, on
# the same machine in the same run (see README.md).
#   bench/compare.sh BASE_TREE [rounds] [frames]
# BASE_TREE is a checkout of the base commit, e.g. from
#   git worktree add ../tollbrook-base <commit>
# A base without bench_game.cpp gets this tree's, so both sides measure
# alike; a base with its own keeps it, since it opens the window the way its
# own game does. Each round runs the base, then this tree, with LP_NUM_THREADS=8 and
# then =2; the table gives the means over the rounds, and the pictures of the
# two sides are compared pixel by pixel (PSNR, ImageMagick's compare).
set -euo pipefail
cd "$(dirname "$0")/.."
BASE=$(cd "${1:?usage: bench/compare.sh BASE_TREE [rounds] [frames]}" && pwd)
ROUNDS=${2:-3}
FRAMES=${3:-40}
OUT="$(pwd)/build/bench/compare"

[ -f "$BASE/bench/bench_game.cpp" ] || cp bench/bench_game.cpp bench/CMakeLists.txt "$BASE/bench/"
for tree in . "$BASE"; do
    (cd "$tree" && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null &&
        cmake --build build --target bench_game --parallel 4 > /dev/null)
done

rm -rf "$OUT"
mkdir -p "$OUT"
echo "before: $(uptime)" | tee "$OUT/load.txt"
for threads in 8 2; do
    for round in $(seq "$ROUNDS"); do
        for side in base new; do
            tree=.
            [ "$side" = base ] && tree="$BASE"
            # Pictures from the first round only: saving them costs memory
            # that the other rounds' peak RSS leaves out.
            pictures=()
            [ "$round" = 1 ] && [ "$threads" = 8 ] && pictures=("$OUT/pictures-$side")
            (cd "$tree" && LP_NUM_THREADS=$threads xvfb-run -a -s "-screen 0 1280x1024x24" \
                build/bench/bench_game "$FRAMES" "${pictures[@]}") \
                > "$OUT/$side-$threads-$round.txt" 2> /dev/null
        done
    done
done
echo "after:  $(uptime)" | tee -a "$OUT/load.txt"

python3 - "$OUT" <<'EOF'
import glob, os, statistics, sys
out = sys.argv[1]
runs = {}  # (side, threads) -> view -> list of (game cpu, game wall, floor cpu, floor wall)
for path in glob.glob(os.path.join(out, "*-*-*.txt")):
    side, threads, round = os.path.basename(path)[:-4].split("-")
    for line in open(path):
        f = line.split()
        if f[:1] == ["RESULT"] and not (f[1] == "memory" and round == "1" and threads == "8"):
            runs.setdefault((side, threads), {}).setdefault(f[1], []).append([float(x) for x in f[2:]])
mean = lambda rows, i: statistics.mean(r[i] for r in rows)
print("\n| view | threads | base game CPU | base floor CPU | base ratio | new game CPU | new floor CPU "
      "| new ratio | new / base CPU | base wall | new wall |")
print("|---|---|---|---|---|---|---|---|---|---|---|")
for view in ["start", "labyrinth", "poster", "startscreen"]:
    for threads in ["8", "2"]:
        b, n = runs[("base", threads)][view], runs[("new", threads)][view]
        ratio = lambda rows: "x%.1f" % (mean(rows, 0) / mean(rows, 2)) if mean(rows, 2) else "-"
        print("| %s | %s | %.0f ms | %.0f ms | %s | %.0f ms | %.0f ms | %s | %.2f | %.0f ms | %.0f ms |" % (
            view, threads, mean(b, 0), mean(b, 2), ratio(b), mean(n, 0), mean(n, 2), ratio(n),
            mean(n, 0) / mean(b, 0), mean(b, 1), mean(n, 1)))
for side in ["base", "new"]:
    peaks = [r[0] for t in ["8", "2"] for r in runs[(side, t)].get("memory", [])]
    print("peak RSS %s: %.1f to %.1f MB" % (side, min(peaks), max(peaks)))
EOF
for picture in "$OUT"/pictures-new/*.png; do
    name=$(basename "$picture")
    echo "PSNR $name: $(compare -metric PSNR "$OUT/pictures-base/$name" "$picture" null: 2>&1) dB," \
        "differing pixels: $(compare -metric AE "$OUT/pictures-base/$name" "$picture" null: 2>&1)"
done
