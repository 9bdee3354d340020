#!/usr/bin/env bash
# The whole program over one complete show, as a user runs it: an 80 x 50 tmux
# (a private server), SDL's dummy audio driver, 24-bit colour. measured_run
# starts the program on a pseudo-terminal of its own inside the pane and passes
# the output on to tmux, so it sees the program's output bytes the moment they
# are written. Prints CPU time, peak memory, the time to the first frame and
# the output rate. Every wait is bounded; tmux is stopped at the end.
#
# Usage: whole_show.sh PROGRAM MEASURED_RUN WORKDIR [RUNS]   (RUNS default 1)
set -u
program=$1
measured=$2
dir=$3
runs=${4:-1}

if ! command -v tmux > /dev/null; then
    echo "## Whole program: skipped (tmux is not installed)"
    exit 0
fi
rm -rf "$dir"
mkdir -p "$dir"
socket="shadestrip-bench-$$"
tm() { tmux -L "$socket" -f /dev/null "$@"; }
trap 'tm kill-server 2> /dev/null' EXIT

echo "## Whole program (one complete show in an 80 x 50 tmux, SDL dummy audio driver)"
echo
echo "| run | wall s | CPU s | % of one core | peak RSS MB | first output ms | first frame ms | output KB/s |"
echo "|-----|--------|-------|---------------|-------------|-----------------|----------------|-------------|"
for ((run = 1; run <= runs; run++)); do
    result="$dir/result-$run"
    tm new-session -d -s bench -x 80 -y 50 \
        "'$measured' --timeout 200 '$result' -- env SDL_AUDIODRIVER=dummy TERM=tmux-256color COLORTERM=truecolor '$program'; sleep 30" ||
        { echo "tmux did not start"; exit 1; }
    tm set -g escape-time 10
    deadline=$((SECONDS + 220))
    while [ ! -s "$result" ] && [ $SECONDS -lt $deadline ]; do sleep 1; done
    tm kill-server 2> /dev/null
    if [ ! -s "$result" ]; then
        echo "| $run | the show did not end in time |"
        continue
    fi
    value() { awk -v k="$1" '$1 == k { print $2 }' "$result"; }
    if [ "$(value exit)" != 0 ]; then
        echo "| $run | the program ended with exit code $(value exit) |"
        continue
    fi
    awk -v run="$run" '{ v[$1] = $2 } END {
        printf "| %d | %.1f | %.2f | %.2f | %.1f | %.1f | %.1f | %.1f |\n", run, v["wall_s"],
            v["user_s"] + v["system_s"], v["cpu_percent_of_one_core"], v["peak_rss_kb"] / 1024,
            v["first_output_ms"], v["first_frame_ms"], v["output_bytes"] / 1024 / v["wall_s"] }' "$result"
done
echo
echo "First output: the program takes the terminal over (alternate screen, title);"
echo "first frame: the first frame's bytes reach the pseudo-terminal. Both from the"
echo "fork of the program. The dummy audio driver opens at once (no device start-up)."
