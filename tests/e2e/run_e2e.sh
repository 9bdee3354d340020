#!/usr/bin/env bash
# End-to-end runs of a terminal program in a private tmux server, 80 x 50: it
# starts, shows its title and picture, ends the given way, and the terminal is
# exactly as before. Every wait is bounded.
#
# Usage: run_e2e.sh SCENARIO PROGRAM WORKDIR
# Scenarios: escape, keys, resize, sighup, sigterm, sigint, hangup, abort, exit,
# redirect (standard output to a file), redirect-plain (no terminal at all).
# Exit code 0 passed, 1 failed, 77 skipped (the show cannot start its music here).
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args "$@"
export SDL_AUDIODRIVER=dummy

case "$(basename "$program")" in
shadestrip) title="Please press alt+enter for full screen mode." ;;
*) title="Terminal driver" ;;
esac

checkContext=$scenario
checkFiles=("$dir/stderr" "$dir/err.txt" "$dir/log" "$dir/screen.txt")

if [ "$scenario" = redirect-plain ]; then
    timeout 20 "$program" > "$dir/out.txt" 2> "$dir/err.txt" < /dev/null
    rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1"
    grep -q "Cannot initialize console\." "$dir/err.txt" || fail "no message on standard error"
    [ ! -s "$dir/out.txt" ] || fail "standard output is not empty"
    echo "PASS ($scenario)"
    exit 0
fi

command -v tmux > /dev/null || fail "tmux is not installed (scripts/install-deps)"
tmux_open "shadestrip-e2e-$$-$scenario"
trap tmux_close EXIT

run="env LC_ALL=C.UTF-8 TERM=tmux-256color COLORTERM=truecolor '$program' '$dir/log'"
if [ "$scenario" = redirect ]; then
    run="sh -c '\"\$0\" > \"\$1/out.txt\"' '$program' '$dir'"
fi
# The log file is the driver's: the show takes no arguments beyond its options.
[ "$(basename "$program")" = shadestrip ] && run=${run% \'"$dir/log"\'}
pane_start "$run"

wait_for 10 test -f "$dir/pid" || fail "the program did not start"
started() { [ -f "$dir/rc" ] || [ "$(show '#{pane_title}')" = "$title" ]; }

if [ "$scenario" = redirect ]; then
    wait_for 20 test -f "$dir/rc" || fail "the program did not end"
    rc=$(cat "$dir/rc")
    [ "$rc" -eq 1 ] || fail "exit code $rc, expected 1"
    grep -q "Cannot initialize console\." "$dir/stderr" || fail "no message on standard error"
    [ ! -s "$dir/out.txt" ] || fail "standard output is not empty"
    cmp -s "$dir/stty-before" "$dir/stty-after" || fail "stty -a differs"
    echo "PASS ($scenario)"
    exit 0
fi

wait_for 10 started || fail "the title never showed: '$(show '#{pane_title}')'"
if [ -f "$dir/rc" ]; then
    if grep -q "Cannot load music\." "$dir/stderr"; then
        echo "SKIP ($scenario): the show cannot start its music here yet"
        exit 77
    fi
    fail "the program ended at start-up with exit code $(cat "$dir/rc")"
fi

# The picture: wait for a few frames, then look at it.
sleep 0.5
[ "$(show '#{alternate_on}')" = 1 ] || fail "not on the alternate screen"
[ "$(show '#{cursor_flag}')" = 0 ] || fail "the cursor is visible"
tm capture-pane -p -e -t test > "$dir/screen.txt"
if [ "$title" = "Terminal driver" ]; then
    grep -q "┼ terminal driver, frame" "$dir/screen.txt" || fail "no frame counter on screen"
    grep -q "░ ▒ ▓ │ ┤" "$dir/screen.txt" || fail "shade glyphs missing"
    grep -q "☺ ☻ ♥ ♦" "$dir/screen.txt" || fail "low glyphs missing"
    # The colour table: row 18 has background 1 (VGA blue), row 21 background 4
    # (VGA red); the fifth pair of each row has foreground 4 (red).
    blueRow=$(sed -n 19p "$dir/screen.txt")
    redRow=$(sed -n 22p "$dir/screen.txt")
    case "$blueRow" in
    *"48;2;0;0;170m"*"38;2;170;0;0m▒█"*) ;;
    *) fail "no red on blue in the colour table" ;;
    esac
    case "$redRow" in
    *"48;2;170;0;0m"*"38;2;0;0;170m▒█"*) ;;
    *) fail "no blue on red in the colour table" ;;
    esac
fi

expected=0
case "$scenario" in
escape) tm send-keys -t test Escape ;;
keys)
    tm send-keys -t test Home End PPage NPage Up Down Left Right m n C-z T
    sleep 0.2
    tm send-keys -t test Space
    sleep 0.2
    # An SGR left press at terminal column 11, row 21, then a second one.
    tm send-keys -t test -H 1b 5b 3c 30 3b 31 31 3b 32 31 4d
    tm send-keys -t test -H 1b 5b 3c 30 3b 31 31 3b 32 31 6d
    tm send-keys -t test -H 1b 5b 3c 30 3b 31 31 3b 32 31 4d
    sleep 0.3
    tm send-keys -t test Escape
    ;;
resize)
    # Larger: the frame is centred (the counter row 34 lands on row 39);
    # smaller: cropped around the centre with the size needed on top.
    tm resize-window -t test -x 100 -y 60
    sleep 0.5
    tm capture-pane -p -t test > "$dir/screen-large.txt"
    sed -n 40p "$dir/screen-large.txt" | grep -q "^          ┼ terminal driver" ||
        fail "not centred: $(sed -n 40p "$dir/screen-large.txt")"
    tm resize-window -t test -x 60 -y 30
    sleep 0.5
    tm capture-pane -p -t test > "$dir/screen-small.txt"
    head -n 1 "$dir/screen-small.txt" | grep -q "needs 80 x 50" || fail "no size notice"
    sed -n 25p "$dir/screen-small.txt" | grep -q "^ driver, frame" ||
        fail "not cropped around the centre: $(sed -n 25p "$dir/screen-small.txt")"
    tm resize-window -t test -x 80 -y 50
    sleep 0.3
    tm send-keys -t test Escape
    ;;
sighup) kill -HUP "$(pidOf)" ;;
sigterm) kill -TERM "$(pidOf)" ;;
sigint) kill -INT "$(pidOf)" ;;
hangup) tm kill-pane -t test ;;
abort)
    tm send-keys -t test a
    expected=134
    ;;
exit)
    tm send-keys -t test x
    expected=3
    ;;
*) fail "unknown scenario" ;;
esac

wait_for 20 test -f "$dir/rc" || fail "the program did not end"
rc=$(cat "$dir/rc")
[ "$rc" -eq "$expected" ] || fail "exit code $rc, expected $expected"

if [ "$scenario" != hangup ]; then
    check_terminal_restored
fi

if [ "$scenario" = keys ]; then
    downs=$(grep "down$" "$dir/log" | cut -d' ' -f2 | tr '\n' ' ')
    [ "$downs" = "36 35 33 34 38 40 37 39 77 78 90 84 32 27 " ] || fail "keys decoded as: $downs"
    # The driver ends on the Escape key-down, before its key-up.
    [ "$(grep -c "up$" "$dir/log")" = 13 ] || fail "not every press has its key-up"
    grep -q "^mouse 10 20 1 0$" "$dir/log" || fail "no left press at frame cell 10, 20"
    grep -q "^mouse 10 20 1 2$" "$dir/log" || fail "no double click"
    [ "$(show '#{pane_title}')" = "$titleBefore" ] || fail "title not restored after a change"
fi
echo "PASS ($scenario)"
