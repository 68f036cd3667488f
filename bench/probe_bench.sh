#!/bin/sh
# Probing 200 small files: reelcaster-cli info against ffprobe on the same files.
#   bench/probe_bench.sh            (RUNS=n for more repetitions, BUILD_DIR=… for another tree)
# Goal: reelcaster-cli needs at most 1.5 × ffprobe's time.
set -eu
. "$(dirname "$0")/common.sh"
require_build "$CLI"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
src="testsrc2=size=320x240:rate=25:duration=1"
tone="sine=frequency=440:sample_rate=44100:duration=1"
ff -f lavfi -i "$src" -f lavfi -i "$tone" -c:v libx264 -preset ultrafast -c:a aac "$work/a.mp4"
ff -f lavfi -i "$src" -f lavfi -i "$tone" -c:v mpeg4 -c:a libmp3lame "$work/b.avi"
ff -f lavfi -i "$src" -f lavfi -i "$tone" -c:v libx264 -preset ultrafast -c:a libmp3lame "$work/c.mkv"
ff -f lavfi -i "$tone" -c:a libmp3lame "$work/d.mp3"
mkdir "$work/files"
n=0
while [ $n -lt 50 ]; do
    for f in a.mp4 b.avi c.mkv d.mp3; do cp "$work/$f" "$work/files/$n-$f"; done
    n=$((n + 1))
done
list="$work/files/*"
each_ffprobe="for f in $list; do ffprobe -v error -show_format -show_streams \"\$f\"; done"

echo "Probing 200 files ($RUNS runs each, medians; ratios are ours / ffprobe):"
compare "one reelcaster-cli for all" "'$CLI' info $list" "$each_ffprobe"
compare "one reelcaster-cli per file" "for f in $list; do '$CLI' info \"\$f\"; done" "$each_ffprobe"
