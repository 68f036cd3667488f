#!/bin/sh
# Converting a 60 s 1280x720 30 fps H.264/AAC file with the engine's transcoding job against
# the ffmpeg program with the same settings, with one thread and with automatic threads.
#   bench/transcode_bench.sh        (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goals: ours / ffmpeg at most 1.05 in wall time and 1.3 in peak memory.
set -eu
. "$(dirname "$0")/common.sh"
require_build "$JOB_DRIVER"
input=$(bench_input_720p)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "Converting $input ($RUNS runs each, medians; ratios are ours / ffmpeg):"
for threads in 1 0; do
    compare "default FLV, threads $threads" \
        "'$JOB_DRIVER' -threads $threads -i '$input' -vcodec flv -r 30 -vb 512000 \
            -vf scale=1280:720 -acodec libmp3lame -ab 96000 -ar 44100 -ac 2 -sn 1 \
            -threads $threads '$out/ours.flv'" \
        "ffmpeg -nostdin -v error -y -threads $threads -i '$input' -c:v flv -r 30 -b:v 512000 \
            -vf scale=1280:720 -c:a libmp3lame -b:a 96000 -ar 44100 -ac 2 -sn \
            -threads $threads '$out/ffmpeg.flv'"
    compare "H.264/AAC MP4, threads $threads" \
        "'$JOB_DRIVER' -threads $threads -i '$input' -vcodec libx264 -r 30 -vb 1500000 \
            -vf scale=1280:720 -acodec aac -ab 128000 -ar 44100 -ac 2 -sn 1 \
            -threads $threads '$out/ours.mp4'" \
        "ffmpeg -nostdin -v error -y -threads $threads -i '$input' -c:v libx264 -r 30 \
            -b:v 1500000 -vf scale=1280:720 -c:a aac -b:a 128000 -ar 44100 -ac 2 -sn \
            -threads $threads '$out/ffmpeg.mp4'"
done
