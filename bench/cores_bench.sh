#!/bin/sh
# One file converted by reelcaster-cli with no thread options against the ffmpeg program with
# its own default threads, same settings, in turns; then two conversions at once against one
# after another in the encoder component. Reports medians, ratios ours / ffmpeg and the CPU
# utilisation ((user + sys) / wall) of our runs.
#   bench/cores_bench.sh            (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goals: FLV default on the 60 s 720p file at most 0.80 × ffmpeg's wall time, H.264 (profile 4)
# on 20 s of it at most 1.00 ×, memory at most 1.3 × in both; two at once at most 0.6.
set -eu
. "$(dirname "$0")/common.sh"
ENCODER_DRIVER="$BUILD_DIR/bench/bench_encoder_driver"
require_build "$CLI" "$ENCODER_DRIVER"
input=$(bench_input_720p)
short=$(bench_input_720p_20s)
bench_folders

# utilisation <shell command>: (user + sys) / wall of one run.
utilisation() {
    report=$(mktemp)
    /usr/bin/time -f "%e %U %S" -o "$report" sh -c "$1" >/dev/null 2>&1
    awk '{ if ($1 > 0) printf "%.2f", ($2 + $3) / $1; else print "n/a" }' "$report"
    rm -f "$report"
}

ours_flv="REELCASTER_HOME='$home' '$CLI' convert -y -q -o '$out' '$input'"
ours_h264="REELCASTER_HOME='$home' '$CLI' convert -y -q -p 4 -o '$out' '$short'"
echo "Converting with automatic threads ($RUNS runs each, medians; cores: $(nproc)):"
compare "FLV default, 60 s 720p" "$ours_flv" \
    "ffmpeg -nostdin -v error -y -i '$input' -c:v flv -r 30 -b:v 512000 -vf scale=1280:720 \
        -c:a libmp3lame -b:a 96000 -ar 44100 -ac 2 -sn '$out/ffmpeg.flv'"
compare "profile 4 (H.264/AAC FLV), 20 s" "$ours_h264" \
    "ffmpeg -nostdin -v error -y -i '$short' -c:v libx264 -b:v 1500000 -vf scale=1280:720 \
        -c:a aac -b:a 128000 -ar 44100 -ac 2 -sn '$out/ffmpeg_h264.flv'"
echo "CPU utilisation of our runs: FLV $(utilisation "$ours_flv"), H.264 $(utilisation "$ours_h264")"
# Each run writes into a folder of its own, emptied first (the tasks do not replace files).
mkdir -p "$out/two" "$out/one"
compare "StartTask(2) against StartTask(1)" \
    "rm -f '$out'/two/*; '$ENCODER_DRIVER' 2 2 '$input' '$out/two'" \
    "rm -f '$out'/one/*; '$ENCODER_DRIVER' 1 2 '$input' '$out/one'" |
    sed 's/| ffmpeg/| one at a time/; s/ours/two at once/'
