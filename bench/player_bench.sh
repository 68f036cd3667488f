#!/bin/sh
# Playing 30 s of the 60 s 1280x720 30 fps H.264/AAC benchmark file into the preview panel's
# 280 × 243 display: the share of one core the player takes (CPU time over wall time of the
# whole process) and the pictures it had to drop.
#   bench/player_bench.sh        (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goal: at most 30 % of one core; no dropped picture on an idle machine. There is no program
# of the same kind to compare with here: the figure stands alone.
set -eu
. "$(dirname "$0")/common.sh"
PLAYER_DRIVER="$BUILD_DIR/bench/bench_player_driver"
require_build "$PLAYER_DRIVER"
input=$(bench_input_720p)

echo "Playing 30 s of $input ($RUNS runs, medians):"
shares="" dropped=""
i=0
while [ $i -lt "$RUNS" ]; do
    out=$(mktemp)
    report=$(QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
        /usr/bin/time -f "%e %U %S" -o "$out" "$PLAYER_DRIVER" 30 "$input")
    set -- $(cat "$out")
    rm -f "$out"
    shares="$shares $(awk -v e="$1" -v u="$2" -v s="$3" 'BEGIN { printf "%.1f", 100 * (u + s) / e }')"
    dropped="$dropped $(echo "$report" | awk '{ print $4 }')"
    echo "  run $((i + 1)): $report, $1 s wall, $2 s user, $3 s system"
    i=$((i + 1))
done
# shellcheck disable=SC2086
echo "CPU share of one core: $(median $shares) % (goal 30 %); dropped pictures: $(median $dropped)"
