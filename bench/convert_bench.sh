#!/bin/sh
# reelcaster-cli convert of the 60 s 1280x720 file (the settings of a new job item: FLV video at
# 512 kbit/s and 30 fps, MP3 96 kbit/s 44100 Hz stereo, scaled to the source size) against the
# ffmpeg program with the same settings.
#   bench/convert_bench.sh          (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# ffmpeg is given -threads 1 (bench/cores_bench.sh compares both with automatic threads).
# Goal: ours / ffmpeg at most 1.05 in wall time.
set -eu
. "$(dirname "$0")/common.sh"
require_build "$CLI"
input=$(bench_input_720p)
bench_folders

echo "Converting $input ($RUNS runs each, medians; ratios are ours / ffmpeg):"
compare "reelcaster-cli convert (new item)" \
    "REELCASTER_HOME='$home' '$CLI' convert -y -q -o '$out' '$input'" \
    "ffmpeg -nostdin -v error -y -threads 1 -i '$input' -threads 1 -c:v flv -r 30 -b:v 512000 -vf scale=1280:720 \
        -c:a libmp3lame -b:a 96000 -ar 44100 -ac 2 -sn '$out/ffmpeg.flv'"
