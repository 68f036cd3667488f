#!/bin/sh
# What the engine's own filters cost: the same 720p conversion by reelcaster-cli with
# "nativeeq=20:10" (and "nativehue=-30:50") after the item's chain and without, in turns.
# Reports medians and the ratio with / without.
#   bench/filters_bench.sh          (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goal: "nativeeq=20:10" at most 1.05 × the time without it.
set -eu
. "$(dirname "$0")/common.sh"
require_build "$CLI"
short=$(bench_input_720p_20s)
bench_folders

# convert <folder> [option…]: the 20 s file at its own size into a folder of its own.
convert() {
    folder=$1
    shift
    echo "mkdir -p '$out/$folder' && REELCASTER_HOME='$home' '$CLI' convert -y -q --size 1280x720 \
        -o '$out/$folder' $* '$short'"
}
echo "The 20 s 720p file to FLV, with and without the filters ($RUNS runs each, medians):"
for filter in "nativeeq=20:10" "nativehue=-30:50"; do
    compare "$filter" "$(convert with --output-option "vf=$filter")" "$(convert without)" |
        sed 's/| ffmpeg/| without/; s/ours/with/'
done
