# Shared helpers of the benchmarks: timing, medians and the programs under test.
# Sourced by the bench/*.sh scripts; needs a POSIX shell, awk, GNU time and the ffmpeg programs.

BUILD_DIR=${BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}
CLI="$BUILD_DIR/reelcaster-cli"
JOB_DRIVER="$BUILD_DIR/bench/bench_job_driver"
MEDIA_DIR="$BUILD_DIR/bench-media"
RUNS=${RUNS:-5}

# measure <command…>: prints "seconds peak-KiB" of one run (exits when the command fails).
measure() {
    measured=$(mktemp)
    if ! /usr/bin/time -f "%e %M" -o "$measured" "$@" >/dev/null 2>"$measured.err"; then
        echo "failed: $*" >&2
        cat "$measured.err" >&2
        rm -f "$measured" "$measured.err"
        exit 1
    fi
    cat "$measured"
    rm -f "$measured" "$measured.err"
}

# bench_folders: $out for the outputs and $home for the programs' data folder, both new and
# removed when the script ends.
bench_folders() {
    out=$(mktemp -d)
    home=$(mktemp -d)
    trap 'rm -rf "$out" "$home"' EXIT
}

# median <numbers…>
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# compare <label> <ours: shell command> <reference: shell command>: runs the two in turns RUNS
# times, so both see the same machine, and prints medians of time and peak memory, and the
# medians of the per-pair ratios ours/reference.
compare() {
    label=$1 ours=$2 reference=$3
    t_ours="" t_ref="" m_ours="" m_ref="" r_time="" r_mem=""
    i=0
    while [ $i -lt "$RUNS" ]; do
        set -- $(measure sh -c "$ours")
        to=$1 mo=$2
        set -- $(measure sh -c "$reference")
        tr=$1 mr=$2
        t_ours="$t_ours $to" m_ours="$m_ours $mo" t_ref="$t_ref $tr" m_ref="$m_ref $mr"
        r_time="$r_time $(awk -v a="$to" -v b="$tr" 'BEGIN { printf "%.4f", a / b }')"
        r_mem="$r_mem $(awk -v a="$mo" -v b="$mr" 'BEGIN { printf "%.4f", a / b }')"
        i=$((i + 1))
    done
    # shellcheck disable=SC2086
    printf '%-34s ours %7.2fs %6.1f MiB | ffmpeg %7.2fs %6.1f MiB | time %s  memory %s\n' \
        "$label" "$(median $t_ours)" "$(awk -v k="$(median $m_ours)" 'BEGIN { print k / 1024 }')" \
        "$(median $t_ref)" "$(awk -v k="$(median $m_ref)" 'BEGIN { print k / 1024 }')" \
        "$(median $r_time)" "$(median $r_mem)"
}

require_build() {
    for program in "$@"; do
        [ -x "$program" ] || { echo "build first: $program is missing (./setup.sh test)" >&2; exit 1; }
    done
    command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null ||
        { echo "the ffmpeg and ffprobe programs are needed" >&2; exit 1; }
    [ -x /usr/bin/time ] || { echo "GNU time is needed (Debian package: time)" >&2; exit 1; }
}

# The 60 s 1280x720 30 fps H.264/AAC file the conversion benchmarks use, made once.
bench_input_720p() {
    file="$MEDIA_DIR/bench_720p.mp4"
    if [ ! -s "$file" ]; then
        mkdir -p "$MEDIA_DIR"
        ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=30:duration=60 \
            -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" -ac 2 \
            -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest -f mp4 \
            "$file.part" && mv "$file.part" "$file"
    fi
    echo "$file"
}

# Its first 20 s, made once.
bench_input_720p_20s() {
    file="$MEDIA_DIR/bench_720p_20s.mp4"
    [ -s "$file" ] || ffmpeg -nostdin -v error -y -i "$(bench_input_720p)" -t 20 -c copy "$file"
    echo "$file"
}
