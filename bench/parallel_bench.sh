#!/bin/sh
# Two conversions of the 60 s 720p file with the settings of a new job item, run by the
# encoder component two at once against one after another.
#   bench/parallel_bench.sh         (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goal: two at once take at most 0.6 × the time of one after another (on two cores).
set -eu
. "$(dirname "$0")/common.sh"
ENCODER_DRIVER="$BUILD_DIR/bench/bench_encoder_driver"
require_build "$ENCODER_DRIVER"
input=$(bench_input_720p)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "Two conversions of $input ($RUNS runs each, medians; cores: $(nproc)):"
compare "StartTask(2) against StartTask(1)" \
    "'$ENCODER_DRIVER' 2 2 '$input' '$out'" "'$ENCODER_DRIVER' 1 2 '$input' '$out'" |
    sed 's/| ffmpeg/| one at a time/; s/ours/two at once/'
