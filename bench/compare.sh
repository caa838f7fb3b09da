#!/usr/bin/env bash
# The game frame benchmark of this tree side by side with a base, on the same
# machine in the same run (see README.md).
#   bench/compare.sh BASE [rounds] [frames]
# BASE is a commit of this repository (e.g. 14f1ee1) or the folder of a
# checkout. Either way the base's sources are copied into a temporary folder
# (a commit by `git archive`, a folder without its build folders) and built
# there, so neither this tree nor the base's checkout is touched; the folder
# is removed at the end.
# Both sides run this tree's benchmark: a base whose bench_game.cpp is
# missing or differs gets this tree's benchmark sources, built against the
# base's own game sources, and the script says so.
# Each round runs both sides, with LP_NUM_THREADS=8 and then =2, the side
# that runs first taking turns from round to round. The table gives each
# figure's mean over the rounds and each ratio's spread (least to most); the
# pictures of the two sides are compared pixel by pixel (PSNR, ImageMagick's
# compare).
set -euo pipefail
USAGE="usage: bench/compare.sh BASE [rounds] [frames]  (BASE: a commit or a checkout's folder)"
BASE_ARG=${1:?$USAGE}
# A folder is taken from where the script was called.
[ -d "$BASE_ARG" ] && BASE_ARG=$(cd "$BASE_ARG" && pwd)
cd "$(dirname "$0")/.."
ROUNDS=${2:-3}
FRAMES=${3:-40}
OUT="$(pwd)/build/bench/compare"

WORK=$(mktemp -d /tmp/tollbrook-compare.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
BASE="$WORK/base"
mkdir -p "$BASE"
if [ -d "$BASE_ARG" ]; then
    echo "base: the checkout in $BASE_ARG"
    tar -C "$BASE_ARG" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$BASE" -xf -
elif commit=$(git rev-parse --verify --quiet "$BASE_ARG^{commit}"); then
    echo "base: commit $(git log -1 --format='%h %s' "$commit")"
    git archive "$commit" | tar -C "$BASE" -xf -
else
    echo "compare.sh: '$BASE_ARG' is neither a folder nor a commit of this repository" >&2
    echo "$USAGE" >&2
    exit 2
fi
echo "new:  this tree, $(git log -1 --format='%h %s')$(git diff --quiet HEAD -- . || echo ', with changes not committed')"

# The benchmark's sources: this tree's whole bench folder goes into a base
# whose benchmark differs, so that its CMakeLists.txt finds every file it names.
if ! cmp -s bench/bench_game.cpp "$BASE/bench/bench_game.cpp"; then
    mkdir -p "$BASE/bench"
    cp bench/*.cpp bench/*.h bench/CMakeLists.txt "$BASE/bench/"
    grep -q 'add_subdirectory(bench)' "$BASE/CMakeLists.txt" || echo 'add_subdirectory(bench)' >> "$BASE/CMakeLists.txt"
    echo "note: the base's bench_game.cpp is missing or differs from this tree's: both sides run this" \
        "tree's benchmark, built for the base against the base's own game sources"
fi

for tree in . "$BASE"; do
    log="$WORK/build-$(basename "$(cd "$tree" && pwd)").log"
    if ! (cd "$tree" && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release &&
            cmake --build build --target bench_game --parallel 3) > "$log" 2>&1; then
        tail -n 30 "$log" >&2
        echo "compare.sh: building bench_game in $tree failed (log above)" >&2
        exit 1
    fi
done

rm -rf "$OUT"
mkdir -p "$OUT"
echo "before: $(uptime)" | tee "$OUT/load.txt"
run=0
for threads in 8 2; do
    for round in $(seq "$ROUNDS"); do
        # The side that runs first takes turns, so that neither always meets
        # the machine as the other left it.
        order="base new"
        [ $((run % 2)) = 1 ] && order="new base"
        run=$((run + 1))
        echo "round $round, LP_NUM_THREADS=$threads, $order: $(cut -d' ' -f1-3 /proc/loadavg)" >> "$OUT/load.txt"
        for side in $order; do
            tree=.
            [ "$side" = base ] && tree="$BASE"
            # Pictures from the first round only: saving them costs memory
            # that the other rounds' peak RSS leaves out.
            pictures=()
            [ "$round" = 1 ] && [ "$threads" = 8 ] && pictures=("$OUT/pictures-$side")
            result="$OUT/$side-$threads-$round.txt"
            if ! (cd "$tree" && LP_NUM_THREADS=$threads xvfb-run -a -s "-screen 0 1280x1024x24" \
                    build/bench/bench_game "$FRAMES" "${pictures[@]}") > "$result" 2> "${result%.txt}.err"; then
                echo "compare.sh: bench_game of the $side side failed (see $result and ${result%.txt}.err)" >&2
                exit 1
            fi
        done
    done
done
echo "after:  $(uptime)" | tee -a "$OUT/load.txt"
echo "load average (1 min) at the rounds' starts: $(grep '^round' "$OUT/load.txt" |
    awk '{print $(NF-2)}' | sort -n | sed -n '1p;$p' | paste -sd' ' | sed 's/ / to /')"
for side in base new; do
    echo "$side: $(grep -h '^floor:' "$OUT/$side-8-1.txt" || echo 'floor: (no line)')"
done

python3 - "$OUT" <<'EOF'
import glob, os, statistics, sys
out = sys.argv[1]
runs = {}  # (side, threads) -> view -> round -> [game cpu, game wall, floor cpu, floor wall]
for path in glob.glob(os.path.join(out, "*-*-*.txt")):
    side, threads, rnd = os.path.basename(path)[:-4].split("-")
    for line in open(path):
        f = line.split()
        if f[:1] == ["RESULT"] and not (f[1] == "memory" and rnd == "1" and threads == "8"):
            runs.setdefault((side, threads), {}).setdefault(f[1], {})[rnd] = [float(x) for x in f[2:]]
views = ["start", "labyrinth", "poster", "startscreen"]
for key in [(s, t) for s in ["base", "new"] for t in ["8", "2"]]:
    missing = [v for v in views if v not in runs.get(key, {})]
    if missing:
        sys.exit("compare.sh: the %s side at %s threads printed no RESULT line for %s (see %s)"
                 % (key[0], key[1], ", ".join(missing), out))

def mean(rows, i):
    return statistics.mean(r[i] for r in rows.values())

def spread(values, fmt):
    return (fmt + " (%.2f-%.2f)") % (statistics.mean(values), min(values), max(values))

def game_floor(rows):
    if not all(r[2] for r in rows.values()):
        return "-"
    return spread([r[0] / r[2] for r in rows.values()], "x%.2f")

print("\nCPU per frame over all threads, mean over the rounds; ratios: mean (least-most) over the rounds;"
      "\nnew / base pairs each round's two runs.")
print("\n| view | threads | base game | base floor | base game/floor | new game | new floor "
      "| new game/floor | new / base CPU | base wall | new wall |")
print("|---|---|---|---|---|---|---|---|---|---|---|")
for view in views:
    for threads in ["8", "2"]:
        b, n = runs[("base", threads)][view], runs[("new", threads)][view]
        paired = [n[r][0] / b[r][0] for r in sorted(b) if r in n]
        floor = lambda rows: "%.0f ms" % mean(rows, 2) if mean(rows, 2) else ""
        print("| %s | %s | %.0f ms | %s | %s | %.0f ms | %s | %s | %s | %.0f ms | %.0f ms |" % (
            view, threads, mean(b, 0), floor(b), game_floor(b), mean(n, 0), floor(n), game_floor(n),
            spread(paired, "%.2f"), mean(b, 1), mean(n, 1)))
for side in ["base", "new"]:
    peaks = [r[0] for t in ["8", "2"] for r in runs[(side, t)].get("memory", {}).values()]
    if peaks:
        print("peak RSS %s: %.1f to %.1f MB" % (side, min(peaks), max(peaks)))
EOF
for picture in "$OUT"/pictures-new/*.png; do
    name=$(basename "$picture")
    echo "PSNR $name: $(compare -metric PSNR "$OUT/pictures-base/$name" "$picture" null: 2>&1) dB," \
        "differing pixels: $(compare -metric AE "$OUT/pictures-base/$name" "$picture" null: 2>&1)"
done
