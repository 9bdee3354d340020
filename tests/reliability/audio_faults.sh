#!/usr/bin/env bash
# The program in a private tmux (80 x 50) against a sound server that fails it
# in the ways a real one can: stopped (kill -STOP) in the middle of the show,
# stopped before the program starts, a socket that accepts and never answers,
# and no sound device at all. Each run must end promptly when asked, with the
# exit code the case calls for, and leave the terminal as it found it:
# `stty -a`, the main screen, a visible cursor, no mouse reporting, the title.
#
# Usage: audio_faults.sh SCENARIO PROGRAM WORKDIR
# Scenarios:
#   stopped-escape    server stopped mid-show: the picture goes on, Escape ends it (exit 0)
#   stopped-sigterm   server stopped mid-show, then SIGTERM (exit 0)
#   stopped-resume    server stopped mid-show, then a pause and a resume (Left, Up):
#                     the picture moves on at once after the resume, then Escape (exit 0)
#   stopped-at-start  server stopped before the start: "Cannot load music." within
#                     a few seconds (exit 1), with a detail line
#   escape-at-start   the same, but Escape during the wait ends it at once (exit 0)
#   sigterm-at-start  the same, but SIGTERM during the wait ends it at once (exit 0)
#   silent-socket     a socket that accepts and never answers: "Cannot load music." (exit 1)
#   no-device         no server and no sound card: "Cannot load music." and one detail
#                     line, nothing from the sound libraries (exit 1)
#   sdlalsa-*         stopped-at-start and escape-at-start with SDL on ALSA
#                     (SDL_AUDIODRIVER=alsa) through ALSA's PulseAudio plugin
#   pipewire-*        stopped-escape, stopped-resume, stopped-at-start and
#                     escape-at-start on a private PipeWire (its own player)
#   sdl-*             stopped-at-start, escape-at-start, sigterm-at-start and
#                     silent-socket with the SDL player (SHADESTRIP_AUDIO=sdl), whose
#                     open must give up within its own 3 s bound too
# Exit code 0 passed, 1 failed, 77 skipped. Every wait is bounded, and every
# process started here is stopped by its PID.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args "$@"
label=$scenario
# shellcheck source=../lib/pulse.sh
. "$here/../lib/pulse.sh"
# shellcheck source=../lib/pipewire.sh
. "$here/../lib/pipewire.sh"

socketPid=""
tmux_open "shadestrip-audio-$$-$scenario"
cleanup() {
    tmux_close
    if [ -n "$socketPid" ]; then kill "$socketPid" 2> /dev/null; wait "$socketPid" 2> /dev/null; fi
    pulse_stop
    pipewire_stop
}
trap cleanup EXIT

checkContext=$label
checkFiles=("$dir/stderr" "$dir/screen.txt" "$dir/server.log")

# Milliseconds on a monotonic clock.
now_ms() { echo $(($(date +%s%N) / 1000000)); }

command -v tmux > /dev/null || fail "tmux is not installed (scripts/install-deps)"

serverPid=""
start_server() {
    if [ "$stack" = pipewire ]; then
        for tool in pipewire wireplumber pw-cli; do
            command -v $tool > /dev/null || { echo "SKIP ($label): $tool is not installed"; exit 77; }
        done
        pipewire_start "$dir" 48000 || { echo "SKIP ($label): PipeWire did not start"; exit 77; }
        serverPid=$pipewirePid
        return
    fi
    if ! command -v pulseaudio > /dev/null; then
        echo "SKIP ($label): pulseaudio is not installed"
        exit 77
    fi
    pulse_start "$dir" || { echo "SKIP ($label): PulseAudio did not start"; exit 77; }
    serverPid=$pulsePid
}

# The program finds its server only through PULSE_SERVER; SDL is left to
# choose its own driver, as for a user.
audio="PULSE_SERVER=unix:$dir/native"
# The SDL cases are the same with SDL's player, on whatever driver SDL picks;
# the PipeWire cases with a private PipeWire, found as a user's would be.
giveUpMs=8000
stack=pulse
case "$scenario" in
sdl-*)
    scenario=${scenario#sdl-}
    audio="SHADESTRIP_AUDIO=sdl $audio"
    giveUpMs=6000
    ;;
sdlalsa-*)
    # SDL on ALSA, whose default device is the server's ALSA plugin.
    scenario=${scenario#sdlalsa-}
    audio="SDL_AUDIODRIVER=alsa $audio"
    mkdir -p "$dir/home"
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$dir/home/.asoundrc"
    giveUpMs=6000
    ;;
pipewire-*)
    scenario=${scenario#pipewire-}
    stack=pipewire
    pipewireDir=$dir
    audio=$(pipewire_env)
    giveUpMs=6000
    ;;
esac
case "$scenario" in
stopped-escape | stopped-sigterm | stopped-resume) start_server ;;
stopped-at-start | escape-at-start | sigterm-at-start)
    start_server
    kill -STOP "$serverPid"
    ;;
silent-socket)
    # Accepts every connection and never says a word.
    perl -MIO::Socket::UNIX -e '
        my $s = IO::Socket::UNIX->new(Type => SOCK_STREAM(), Local => $ARGV[0], Listen => 5) or die;
        my @held; while (my $c = $s->accept) { push @held, $c }' "$dir/native" &
    socketPid=$!
    wait_for 10 test -S "$dir/native" || fail "the silent socket did not start"
    ;;
no-device)
    # No server to be found, and ALSA looking for cards that are not there.
    audio="PULSE_SERVER=unix:$dir/nothing-here ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf"
    ;;
*) fail "unknown scenario" ;;
esac

# Where the start-up is to fail, sound is asked for (--sound): otherwise a show
# whose device does not answer plays silently.
soundFlag=""
case "$scenario" in
stopped-at-start | silent-socket | no-device) soundFlag="--sound" ;;
esac
title="Please press alt+enter for full screen mode."
run="env $audio HOME='$dir/home' TERM=tmux-256color COLORTERM=truecolor '$program' $soundFlag"
pane_start "$run"
wait_for 10 test -f "$dir/pid" || fail "the program did not start"
startedAt=$(now_ms)
titled() { [ "$(show '#{pane_title}')" = "$title" ]; }

# Asks the program to end as the scenario says (Escape, or SIGTERM) and
# prints how many milliseconds it took; false when it has not ended in 10 s.
ask_to_end() {
    local askedAt
    askedAt=$(now_ms)
    case "$scenario" in
    *escape* | *resume*) tm send-keys -t test Escape ;;
    *) kill -TERM "$(pidOf)" ;;
    esac
    wait_for 10 test -f "$dir/rc" || return 1
    echo $(($(now_ms) - askedAt))
}

# The picture changes over `seconds` while the sound stands (`when` says when,
# for the message), and the show is still running.
expect_picture_moves() {
    local seconds=$1 when=$2
    tm capture-pane -p -e -t test > "$dir/screen-before.txt"
    sleep "$seconds"
    tm capture-pane -p -e -t test > "$dir/screen.txt"
    alive || fail "the show ended $when (exit code $(cat "$dir/rc"))"
    cmp -s "$dir/screen-before.txt" "$dir/screen.txt" && fail "the picture stands still $when"
}

# Asked to end, the program does within 4 s: the device gets a bounded time
# to let go, then is left behind.
expect_prompt_end() {
    local took
    took=$(ask_to_end) || fail "the program did not end within 10 s of being asked"
    [ "$took" -lt 4000 ] || fail "the program took $took ms to end"
}

case "$scenario" in
stopped-resume)
    wait_for 15 titled || fail "the title never showed"
    sleep 2
    kill -STOP "$serverPid"
    sleep 1.5
    # A pause a little way back, then a resume: t must run on the timer at
    # once, not stand for the wait a starting device is given.
    tm send-keys -t test Left
    sleep 0.3
    tm send-keys -t test Up
    sleep 0.3
    expect_picture_moves 0.7 "after the resume"
    expect_prompt_end
    expected=0
    ;;
stopped-escape | stopped-sigterm)
    wait_for 15 titled || fail "the title never showed"
    sleep 2
    alive || fail "the show ended before the server was stopped"
    kill -STOP "$serverPid"
    # The picture goes on on the timer once the sound stops moving.
    sleep 1.5
    expect_picture_moves 1.5 "with the server stopped"
    expect_prompt_end
    expected=0
    ;;
stopped-at-start | silent-socket)
    wait_for 20 test -f "$dir/rc" || fail "the start-up did not give up within 20 s"
    took=$(($(now_ms) - startedAt))
    [ "$took" -lt "$giveUpMs" ] || fail "the start-up took $took ms to give up"
    grep -q "Cannot load music." "$dir/stderr" || fail "no \"Cannot load music.\" on standard error"
    [ "$(wc -l < "$dir/stderr")" -ge 2 ] || fail "no line saying what failed"
    expected=1
    ;;
escape-at-start | sigterm-at-start)
    sleep 1
    alive || fail "the start-up ended before it was asked to (exit code $(cat "$dir/rc"))"
    took=$(ask_to_end) || fail "the start-up did not end when asked"
    [ "$took" -lt 1000 ] || fail "the start-up took $took ms to end when asked"
    [ -s "$dir/stderr" ] && fail "an error was reported for a user's quit"
    expected=0
    ;;
no-device)
    wait_for 20 test -f "$dir/rc" || fail "the start-up did not give up"
    grep -q "Cannot load music." "$dir/stderr" || fail "no \"Cannot load music.\" on standard error"
    # Ours only: the fixed text, what failed, perhaps a hint; nothing from ALSA or SDL.
    grep -qi "alsa lib\|pcm\.c\|confmisc\|cannot find card" "$dir/stderr" &&
        fail "the sound library's own messages reached the terminal"
    [ "$(wc -l < "$dir/stderr")" -le 3 ] || fail "more than the error and its detail on standard error"
    tm capture-pane -p -t test > "$dir/screen.txt"
    grep -qi "alsa lib\|cannot find card" "$dir/screen.txt" && fail "ALSA's messages are on the screen"
    expected=1
    ;;
esac

rc=$(cat "$dir/rc")
[ "$rc" -eq "$expected" ] || fail "exit code $rc, expected $expected"
check_terminal_restored
if [ "$expected" -eq 0 ] && [ -s "$dir/stderr" ]; then
    fail "the program wrote to standard error"
fi
echo "PASS ($label)"
