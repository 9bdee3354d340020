#!/usr/bin/env bash
# The program in a private tmux server (80 x 50, escape-time 10, SDL's dummy
# audio driver) through what a user's terminal can do to it: signals at random
# moments, a storm of resizes, random typing, the audio server going away, and
# the show simply running to its end. Every run must end without a crash, with
# exit code 0, and leave the terminal as it found it: `stty -a`, the main
# screen, a visible cursor, no mouse reporting and the title.
#
# Usage: tmux_runs.sh SCENARIO PROGRAM WORKDIR [SECONDS]
# Scenarios: sighup, sigterm, sigint (each at a random moment within SECONDS,
# default 8), resize (40 resizes between 10 x 5 and 200 x 80), stuck-output
# (SIGTERM while nothing reads the show's terminal), stop-continue (kill -TSTP
# and fg from an interactive shell), typing (SECONDS
# of random bytes, default 30), audio-killed (a private PulseAudio killed
# mid-show; skipped without pulseaudio), memcheck (SECONDS, default 20, under
# valgrind: no errors, no leaks), end (the whole show, about 142 s).
# RELIABILITY_SEED fixes the random choices; the seed is printed either way.
# Exit code 0 passed, 1 failed, 77 skipped. Every wait is bounded, and every
# process started here is stopped by its PID.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args "$@"
seconds=${4:-}
# shellcheck source=../lib/pulse.sh
. "$here/../lib/pulse.sh"

seed=${RELIABILITY_SEED:-$(( $(od -An -N2 -tu2 /dev/urandom) ))}
RANDOM=$seed
echo "$scenario: seed $seed (RELIABILITY_SEED=$seed repeats it)"
checkContext="$scenario, seed $seed"
checkFiles=("$dir/stderr" "$dir/screen.txt" "$dir/server.log" "$dir/valgrind.log")

tmux_open "shadestrip-rel-$$-$scenario"
cleanup() {
    tmux_close
    pulse_stop
}
trap cleanup EXIT

# random_between LOW HIGH (integers, inclusive)
random_between() { echo $(( $1 + RANDOM % ($2 - $1 + 1) )); }

# --- Random typing ---

# Random bytes, with Escape only at the start of a complete sequence and no
# lone q, Q or Ctrl+C, so that the typing itself never ends the show.
# Templates cover the sequences the decoder knows, garbage in their shape, and
# mouse reports (the mouse is on once a space has been typed).
# The hex codes of a string's characters, for send-keys -H.
ascii_hex() {
    local s=$1 i
    for ((i = 0; i < ${#s}; i++)); do printf '%02x ' "'${s:i:1}"; done
}

random_chunk() {
    local out="" n i b
    n=$(random_between 1 24)
    for ((i = 0; i < n; i++)); do
        case $((RANDOM % 10)) in
        0 | 1 | 2 | 3)
            b=$(printf '%02x' $((RANDOM % 256)))
            # Escape, q, Q and Ctrl+C end the show on their own.
            case $b in 1b | 71 | 51 | 03) b=20 ;; esac
            out+="$b "
            ;;
        4) out+="1b 5b $(printf '3%d ' $((RANDOM % 10)))7e " ;;   # ESC [ n ~
        5) out+="1b 5b $(printf '%02x' $((0x41 + RANDOM % 8))) " ;; # arrows, Home, End
        6) out+="1b 4f $(printf '%02x' $((0x40 + RANDOM % 63))) " ;; # SS3
        7) # SGR mouse: any button and flags, anywhere (even off the frame)
            out+="1b 5b 3c $(ascii_hex $((RANDOM % 100)))3b "
            out+="$(ascii_hex $((RANDOM % 300)))3b $(ascii_hex $((RANDOM % 100)))"
            if ((RANDOM % 2)); then out+="4d "; else out+="6d "; fi
            ;;
        8) # X10 mouse: three raw bytes
            out+="1b 5b 4d $(printf '%02x %02x %02x ' $((32 + RANDOM % 224)) $((32 + RANDOM % 224)) $((32 + RANDOM % 224)))"
            ;;
        9) # CSI garbage: random parameter and intermediate bytes, then a final byte
            out+="1b 5b "
            local k m
            m=$(random_between 0 70)
            for ((k = 0; k < m; k++)); do out+="$(printf '%02x' $((0x20 + RANDOM % 32))) "; done
            out+="$(printf '%02x ' $((0x40 + RANDOM % 63)))"
            ;;
        esac
    done
    echo "$out"
}

# --- The show in a pane: its start and its way out ---

title="Please press alt+enter for full screen mode."
endedEarly=""

# Starts the show in the pane with the given audio environment (under
# valgrind for memcheck) and waits for its title.
start_show() {
    local run="env $1 LC_ALL=C.UTF-8 TERM=tmux-256color COLORTERM=truecolor"
    if [ "$scenario" = memcheck ]; then
        # Findings make the exit code 99; the report goes to a file of its own.
        run+=" valgrind --error-exitcode=99 --leak-check=full"
        run+=" --errors-for-leak-kinds=definite,indirect --log-file='$dir/valgrind.log'"
    fi
    pane_start "$run '$program'"
    # Resizes by a client-less server follow the window size set here.
    tm set -g window-size manual 2> /dev/null
    wait_for 10 test -f "$dir/pid" || fail "the program did not start"
    started() { [ -f "$dir/rc" ] || [ "$(show '#{pane_title}')" = "$title" ]; }
    wait_for 15 started || fail "the title never showed: '$(show '#{pane_title}')'"
    [ -f "$dir/rc" ] && fail "the program ended at start-up with exit code $(cat "$dir/rc")"
}

# Sends the Escape key, unless the show has already ended by itself.
finish() {
    if alive; then
        tm send-keys -t test Escape
    else
        endedEarly="yes"
    fi
}

# The end of every run in the pane: exit code 0, the terminal as it was found
# and nothing on standard error.
check_way_out() {
    wait_for 60 test -f "$dir/rc" || fail "the program did not end"
    local rc
    rc=$(cat "$dir/rc")
    [ "$rc" -eq 0 ] || fail "exit code $rc, expected 0"
    check_terminal_restored
    [ -s "$dir/stderr" ] && fail "the program wrote to standard error"
    if [ -n "$endedEarly" ]; then
        echo "PASS ($scenario): the show ended by itself before the last step"
    else
        echo "PASS ($scenario)"
    fi
}

# --- Scenarios in the pane ---

# SIGHUP, SIGTERM or SIGINT at a random moment within SECONDS (default 8).
run_signal() {
    local signal=${scenario#sig} limit=${seconds:-8} delay
    delay=$(random_between 0 $((limit * 1000)))
    delay="$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    echo "sending SIG${signal^^} $delay s into the show"
    sleep "$delay"
    alive || endedEarly="yes"
    kill "-${signal^^}" "$(pidOf)" 2> /dev/null
}

# 40 resizes between 10 x 5 and 200 x 80, then back to 80 x 50: the picture
# comes back whole.
run_resize() {
    local i w h
    for ((i = 0; i < 40; i++)); do
        w=$(random_between 10 200)
        h=$(random_between 5 80)
        tm resize-window -t test -x "$w" -y "$h" || fail "tmux could not resize to $w x $h"
        sleep "0.0$(random_between 0 9)"
        alive || fail "the show ended during the resizes"
    done
    tm resize-window -t test -x 80 -y 50
    # The size notice stays 2.5 s; then the whole picture is back.
    sleep 3
    alive || fail "the show ended after the resizes"
    [ "$(show '#{alternate_on}')" = 1 ] || fail "not on the alternate screen after the resizes"
    tm capture-pane -p -t test > "$dir/screen.txt"
    grep -q "needs 80 x 50" "$dir/screen.txt" && fail "the size notice stays at 80 x 50"
    # The opening shows at least 29 rows with something on them from 1 s on.
    [ "$(grep -c '[^[:space:]]' "$dir/screen.txt")" -ge 25 ] || fail "the picture did not come back"
    finish
}

# SECONDS (default 30) of random bytes.
run_typing() {
    local chunks=0 end=$((SECONDS + ${seconds:-30}))
    while [ $SECONDS -lt $end ] && alive; do
        # shellcheck disable=SC2046
        tm send-keys -t test -H $(random_chunk) 2> /dev/null
        chunks=$((chunks + 1))
        sleep "0.0$(random_between 0 5)"
    done
    echo "typed $chunks random chunks"
    finish
}

# The private audio server killed mid-show: the show goes on, its picture moves.
run_audio_killed() {
    sleep "$(random_between 1 4)"
    alive || fail "the show ended before the audio server was killed"
    kill -KILL "$pulsePid"
    wait "$pulsePid" 2> /dev/null
    pulsePid=""
    sleep 2
    alive || fail "the show ended when the audio server went away (exit code $(cat "$dir/rc"))"
    tm capture-pane -p -e -t test > "$dir/screen-before.txt"
    sleep 1.5
    tm capture-pane -p -e -t test > "$dir/screen.txt"
    cmp -s "$dir/screen-before.txt" "$dir/screen.txt" &&
        fail "the picture stands still without the audio server"
    finish
}

# Under valgrind the show runs many times slower; keep it going for SECONDS
# (default 20) of wall time, with a few keys, then end it.
run_memcheck() {
    local limit=${seconds:-20}
    sleep 2
    tm send-keys -t test Space PPage Up
    sleep $((limit - 2))
    finish
}

# The whole show, ending by itself at the end of the music.
run_end() {
    local startedAt=$SECONDS elapsed
    wait_for 180 test -f "$dir/rc" || fail "the show did not end by itself"
    elapsed=$((SECONDS - startedAt))
    [ $elapsed -ge 135 ] || fail "the show ended after $elapsed s, not at the end of the music"
}

# --- Scenarios of their own ---

# The show's terminal is a pty whose reader is stuck (script's output goes into
# a pipe that `sleep` never reads): a close must still work at once. No tmux.
run_stuck_output() {
    command -v script > /dev/null || skip "script is not installed"
    # Nothing ever reads the pipe: sleep holds its reading end open.
    mkfifo "$dir/pipe"
    sleep 60 < "$dir/pipe" &
    local sleepPid=$! scriptPid showPid
    printf '%s\n' "echo \$\$ > '$dir/pid.tmp' && mv '$dir/pid.tmp' '$dir/pid'" \
        "exec env SDL_AUDIODRIVER=dummy TERM=xterm-256color COLORTERM=truecolor LC_ALL=C.UTF-8 '$program'" \
        > "$dir/run.sh"
    script -qfc "sh '$dir/run.sh'" /dev/null < /dev/null > "$dir/pipe" 2> "$dir/stderr" &
    scriptPid=$!
    wait_for 10 test -f "$dir/pid" || fail "the show did not start"
    showPid=$(cat "$dir/pid")
    sleep "$(random_between 3 5)"
    kill -0 "$showPid" 2> /dev/null || fail "the show ended before the output got stuck"
    kill -TERM "$showPid"
    # Ended, or a zombie that script (stuck itself) cannot reap yet.
    ended() {
        local state
        state=$(awk '{ print $3 }' "/proc/$showPid/stat" 2> /dev/null)
        [ -z "$state" ] || [ "$state" = Z ]
    }
    if ! wait_for 2 ended; then
        kill -KILL "$showPid" "$scriptPid" "$sleepPid" 2> /dev/null
        fail "SIGTERM did not end the show within 2 s with its output stuck"
    fi
    # script itself waits to hand on what it holds: it is not under test.
    kill -KILL "$scriptPid" "$sleepPid" 2> /dev/null
    wait "$scriptPid" "$sleepPid" 2> /dev/null
    touch "$dir/rc"
    echo "PASS ($scenario)"
}

# From an interactive shell: kill -TSTP gives the shell its screen back; fg
# gives the show the terminal again (raw mode, alternate screen, the whole
# picture); q then ends it, and the terminal is as the shell had it.
run_stop_continue() {
    local shellPid showPid
    tm new-session -d -s test -x 80 -y 50 \
        "env -i PATH=/usr/bin:/bin HOME='$dir' TERM=tmux-256color LC_ALL=C.UTF-8 \
        SDL_AUDIODRIVER=dummy bash --norc --noprofile -i" || fail "tmux did not start"
    tm set -g escape-time 10
    sleep 0.5
    titleBefore=$(show '#{pane_title}')
    tm send-keys -t test "stty -a > '$dir/stty-before'; echo \$\$ > '$dir/shell'; '$program'" Enter
    wait_for 10 test -s "$dir/shell" || fail "the shell did not start"
    shellPid=$(cat "$dir/shell")
    wait_for 10 sh -c "pgrep -P $shellPid > '$dir/pid'" || fail "the show did not start"
    showPid=$(head -n 1 "$dir/pid")
    onAlternate() { [ "$(show '#{alternate_on}')" = 1 ]; }
    wait_for 10 onAlternate || fail "the show did not take the screen"
    sleep 1
    kill -TSTP "$showPid"
    sleep 0.5
    [ "$(show '#{alternate_on}')" = 0 ] || fail "stopped, the show keeps the alternate screen"
    [ "$(show '#{cursor_flag}')" = 1 ] || fail "stopped, the cursor stays hidden"
    tm capture-pane -p -t test > "$dir/screen.txt"
    grep -q "Stopped" "$dir/screen.txt" || fail "the shell did not see the show stop"
    tm send-keys -t test "fg" Enter
    sleep 1
    onAlternate || fail "continued, the show did not take the screen again"
    tm send-keys -t test "zz"
    sleep 0.5
    tm capture-pane -p -t test > "$dir/screen.txt"
    grep -q "zz" "$dir/screen.txt" && fail "continued, typed keys are echoed (cooked mode)"
    [ "$(grep -c '[^[:space:]]' "$dir/screen.txt")" -ge 25 ] || fail "continued, no picture"
    tm send-keys -t test q
    ended() { ! kill -0 "$showPid" 2> /dev/null; }
    wait_for 10 ended || fail "q did not end the show"
    tm send-keys -t test "stty -a > '$dir/stty-after'" Enter
    wait_for 10 test -s "$dir/stty-after" || fail "the shell took no command after the show"
    check_terminal_restored
    echo "PASS ($scenario)"
}

# --- Which scenario ---

case "$scenario" in
stuck-output)
    run_stuck_output
    exit 0
    ;;
sighup | sigterm | sigint | resize | typing | audio-killed | memcheck | end | stop-continue) ;;
*) fail "unknown scenario" ;;
esac
command -v tmux > /dev/null || fail "tmux is not installed (scripts/install-deps)"
if [ "$scenario" = stop-continue ]; then
    run_stop_continue
    exit 0
fi

audio="SDL_AUDIODRIVER=dummy"
if [ "$scenario" = audio-killed ]; then
    command -v pulseaudio > /dev/null || skip "pulseaudio is not installed"
    pulse_start "$dir" || skip "PulseAudio did not start"
    audio="SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=$pulseSocket"
fi
if [ "$scenario" = memcheck ]; then
    command -v valgrind > /dev/null || skip "valgrind is not installed"
fi
start_show "$audio"
case "$scenario" in
sighup | sigterm | sigint) run_signal ;;
*) "run_${scenario//-/_}" ;;
esac
check_way_out
