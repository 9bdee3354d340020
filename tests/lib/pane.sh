#!/bin/sh
# Runs inside the pane of a test run (tmux or a terminal emulator): records the
# terminal's modes before and after the program, its pid, its standard error
# and its exit code.
# Usage: pane.sh DIR PROGRAM [ARGS...]
dir=$1
shift
# Survive a hang-up of the pane long enough to write down the exit code.
trap '' HUP
# Wait (at most 10 s) until the runner has seen the pane as it was.
tries=0
while [ ! -f "$dir/go" ] && [ $tries -lt 200 ]; do
    sleep 0.05
    tries=$((tries + 1))
done
stty -a > "$dir/stty-before"
sh -c 'echo $$ > "$0/pid.tmp" && mv "$0/pid.tmp" "$0/pid" && exec "$@"' "$dir" "$@" 2> "$dir/stderr"
echo $? > "$dir/rc.tmp"
stty -a > "$dir/stty-after" 2> /dev/null
mv "$dir/rc.tmp" "$dir/rc"
# Keep the pane (and its screen state) for the checks that follow, until the
# runner removes the keep file (at most 120 s).
tries=0
while [ -f "$dir/keep" ] && [ $tries -lt 1200 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
