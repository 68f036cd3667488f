#!/bin/sh
# Makes the small media files the tests use, in the folder given as the only argument.
# Needs the ffmpeg program; deterministic apart from the encoders' own versions.
set -eu

out=$1
mkdir -p "$out"
cd "$out"
rm -f .complete

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

video_320x240_30="testsrc2=size=320x240:rate=30:duration=5"
stereo_tone="aevalsrc=0.4*sin(440*2*PI*t)|0.4*sin(660*2*PI*t):sample_rate=44100:channel_layout=stereo:duration=5"

# 5 s 320x240 30 fps H.264/AAC in MP4.
ff -f lavfi -i "$video_320x240_30" -f lavfi -i "$stereo_tone" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 30 -c:a aac -b:a 96k -shortest h264_aac.mp4

# 5 s MPEG-4 Part 2 video with MP3 sound in AVI (25 fps).
ff -f lavfi -i "testsrc2=size=320x240:rate=25:duration=5" -f lavfi -i "$stereo_tone" \
   -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -shortest mpeg4_mp3.avi

# Sound only.
ff -f lavfi -i "$stereo_tone" -c:a libmp3lame -b:a 128k audio_only.mp3

# Picture only.
ff -f lavfi -i "$video_320x240_30" -c:v libx264 -preset veryfast -pix_fmt yuv420p -an video_only.mp4

# Six channels (5.1) of sound with a picture.
ff -f lavfi -i "$video_320x240_30" \
   -f lavfi -i "aevalsrc=0.3*sin(300*2*PI*t)|0.3*sin(400*2*PI*t)|0.3*sin(500*2*PI*t)|0.3*sin(600*2*PI*t)|0.3*sin(700*2*PI*t)|0.3*sin(800*2*PI*t):sample_rate=48000:channel_layout=5.1:duration=5" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 192k -shortest six_channels.mp4

# Several streams of a kind: two sound tracks that differ, and subtitles.
printf '1\n00:00:00,500 --> 00:00:02,000\nHello\n\n2\n00:00:02,500 --> 00:00:04,000\nWorld\n' > subtitles.srt
ff -f lavfi -i "testsrc2=size=160x120:rate=25:duration=3" -f lavfi -i "$stereo_tone" \
   -f lavfi -i "sine=frequency=300:sample_rate=22050:duration=3" -i subtitles.srt \
   -map 0:v -map 1:a -map 2:a -map 3:s -c:v mpeg4 -q:v 5 -c:a:0 aac -b:a:0 96k \
   -c:a:1 libmp3lame -b:a:1 64k -c:s srt -shortest several_streams.mkv
rm subtitles.srt

# A name with blanks and letters outside ASCII.
cp h264_aac.mp4 "Sommerfest – Café Zürich.mp4"

# Nothing at all, and noise.
: > empty.mp4
LC_ALL=C awk 'BEGIN { s = 20261209; for (i = 0; i < 65536; i++) {
    s = (s * 1103515245 + 12345) % 2147483648; printf "%c", 1 + int(s / 65536) % 255 } }' > random_bytes.mp4

# Variable frame rate: 30 fps for 1 s, a 0.5 s gap, then 60 pictures a second for 1 s.
ff -f lavfi -i "testsrc2=size=320x240:rate=30:duration=3" \
   -vf "setpts='if(lt(N,30),N/30,1.5+(N-30)/60)/TB'" -fps_mode vfr -enc_time_base 1:1000 \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -an variable_rate.mkv

# A damaged middle: 4 KiB of noise over the AVI's data halfway through.
cp mpeg4_mp3.avi damaged_middle.avi
size=$(wc -c < damaged_middle.avi)
dd if=random_bytes.mp4 of=damaged_middle.avi bs=1 count=4096 seek=$((size / 2)) conv=notrunc 2>/dev/null

# Cut short: the MP4 index sits at the end, so the first part alone cannot be opened.
size=$(wc -c < h264_aac.mp4)
head -c $((size / 3)) h264_aac.mp4 > truncated.mp4

# A phone's way: the picture stored landscape, its display rotation on the stream (set on a
# copy, as cameras do). This muxer reads the old "rotate" tag counter-clockwise: the picture to
# be turned 90 degrees clockwise gets "rotate=270".
ff -f lavfi -i "testsrc2=size=640x360:rate=25:duration=2" \
   -f lavfi -i "sine=frequency=500:sample_rate=44100:duration=2" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 64k -shortest stored_landscape.mp4
for turn in 90 180 270; do
    ff -i stored_landscape.mp4 -c copy -metadata:s:v:0 rotate=$(( (360 - turn) % 360 )) rotated_$turn.mp4
done
rm stored_landscape.mp4

# A 16:9 PAL DVD: 720x576 stored, pixels 64:45 wide.
ff -f lavfi -i "testsrc2=size=720x576:rate=25:duration=2" \
   -f lavfi -i "sine=frequency=500:sample_rate=48000:duration=2" \
   -vf setsar=64/45 -c:v mpeg2video -b:v 3M -c:a mp2 -shortest -f dvd anamorphic.mpg

# 20 s with a white flash and a beep at every whole second: what keeps time shows.
ff -f lavfi -i "color=c=black:size=160x120:rate=25:duration=20" \
   -f lavfi -i "aevalsrc='if(lt(mod(t\,1)\,0.04)\,0.8*sin(2*PI*1000*t)\,0)':s=44100:d=20" \
   -vf "drawbox=c=white:t=fill:enable='lt(mod(t\,1)\,0.04)'" \
   -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 96k -shortest flash_beep.mkv

# One still picture.
ff -f lavfi -i "testsrc2=size=320x240" -frames:v 1 still.png

# A minute: long enough to be interrupted mid-way.
ff -f lavfi -i "testsrc2=size=320x240:rate=30:duration=60" \
   -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" \
   -c:v mpeg4 -q:v 8 -c:a libmp3lame -b:a 64k -shortest one_minute.avi

# Its end cut off but readable: Matroska states the length in its header, the clusters after
# the first 40 % are gone.
ff -i h264_aac.mp4 -c copy cut_off_copy.mkv
size=$(wc -c < cut_off_copy.mkv)
head -c $((size * 2 / 5)) cut_off_copy.mkv > cut_off.mkv
rm cut_off_copy.mkv

touch .complete
