# Shared helpers of the benchmarks: timing, medians and the programs under test.
# Sourced by the bench/*.sh scripts; needs only a POSIX shell, awk and the ffmpeg programs.

BUILD_DIR=${BUILD_DIR:-$(cd "$(dirname "$0")/.." && pwd)/build}
CLI="$BUILD_DIR/reelcaster-cli"
RUNS=${RUNS:-5}

now() { date +%s.%N; }

# seconds <command…>: wall-clock seconds one run of the command takes.
seconds() {
    start=$(now)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(now)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

# median <numbers…>
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# alternate <label-a> <label-b> <cmd-a> <cmd-b>: runs the two commands RUNS times each, in
# turns so that both see the same machine, and prints both medians and their ratio a/b.
alternate() {
    label_a=$1 label_b=$2 cmd_a=$3 cmd_b=$4
    times_a="" times_b=""
    i=0
    while [ $i -lt "$RUNS" ]; do
        times_a="$times_a $(seconds sh -c "$cmd_a")"
        times_b="$times_b $(seconds sh -c "$cmd_b")"
        i=$((i + 1))
    done
    # shellcheck disable=SC2086
    a=$(median $times_a)
    # shellcheck disable=SC2086
    b=$(median $times_b)
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f", a / b }')
    printf '%-44s %8ss\n%-44s %8ss\nratio %s / %s = %s\n' "$label_a" "$a" "$label_b" "$b" \
        "$label_a" "$label_b" "$ratio"
}

require_build() {
    [ -x "$CLI" ] || { echo "build first: $CLI is missing (./setup.sh test)" >&2; exit 1; }
    command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null ||
        { echo "the ffmpeg and ffprobe programs are needed" >&2; exit 1; }
}
