#!/usr/bin/env bash
# End-to-end runs of a terminal program in a private tmux server, 80 x 50: it
# starts, shows its title and picture, ends the given way, and the terminal is
# exactly as before. Every wait is bounded.
#
# The program is the show (shadestrip) or the terminal driver, which puts the
# terminal console through its paces alone and logs what it decodes. What any
# program must do is checked for both; the driver's own picture, keys, resizes
# and exit codes are checked apart, in the section that says so.
#
# Usage: run_e2e.sh SCENARIO PROGRAM WORKDIR
# Scenarios for both: escape, sighup, sigterm, sigint, hangup, redirect
# (standard output to a file), redirect-plain (no terminal at all); for the
# driver only: keys, resize, abort, exit.
# Exit code 0 passed, 1 failed, 77 skipped (the show cannot start its music here).
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args "$@"
export SDL_AUDIODRIVER=dummy
checkContext=$scenario
checkFiles=("$dir/stderr" "$dir/err.txt" "$dir/log" "$dir/screen.txt")

if [ "$(basename "$program")" = shadestrip ]; then
    kind=show
    title="Please press alt+enter for full screen mode."
else
    kind=driver
    title="Terminal driver"
fi

# --- The terminal driver's own checks ---

# Its frame counter, its glyph rows and its colour table.
check_driver_picture() {
    grep -q "┼ terminal driver, frame" "$dir/screen.txt" || fail "no frame counter on screen"
    grep -q "░ ▒ ▓ │ ┤" "$dir/screen.txt" || fail "shade glyphs missing"
    grep -q "☺ ☻ ♥ ♦" "$dir/screen.txt" || fail "low glyphs missing"
    # The colour table: row 18 has background 1 (VGA blue), row 21 background 4
    # (VGA red); the fifth pair of each row has foreground 4 (red).
    case "$(sed -n 19p "$dir/screen.txt")" in
    *"48;2;0;0;170m"*"38;2;170;0;0m▒█"*) ;;
    *) fail "no red on blue in the colour table" ;;
    esac
    case "$(sed -n 22p "$dir/screen.txt")" in
    *"48;2;170;0;0m"*"38;2;0;0;170m▒█"*) ;;
    *) fail "no blue on red in the colour table" ;;
    esac
}

send_driver_keys() {
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
}

# What the driver logged of those keys, and its title put back after a change.
check_driver_keys_log() {
    local downs
    downs=$(grep "down$" "$dir/log" | cut -d' ' -f2 | tr '\n' ' ')
    [ "$downs" = "36 35 33 34 38 40 37 39 77 78 90 84 32 27 " ] || fail "keys decoded as: $downs"
    # The driver ends on the Escape key-down, before its key-up.
    [ "$(grep -c "up$" "$dir/log")" = 13 ] || fail "not every press has its key-up"
    grep -q "^mouse 10 20 1 0$" "$dir/log" || fail "no left press at frame cell 10, 20"
    grep -q "^mouse 10 20 1 2$" "$dir/log" || fail "no double click"
    [ "$(show '#{pane_title}')" = "$titleBefore" ] || fail "title not restored after a change"
}

# Larger: the frame is centred (the counter row 34 lands on row 39); smaller:
# cropped around the centre with the size needed on top.
resize_driver() {
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
}

# --- Without a terminal ---

# No terminal at all: "Cannot initialize console." and exit code 1, nothing
# on standard output.
if [ "$scenario" = redirect-plain ]; then
    timeout 20 "$program" > "$dir/out.txt" 2> "$dir/err.txt" < /dev/null
    rc=$?
    [ $rc -eq 1 ] || fail "exit code $rc, expected 1"
    grep -q "Cannot initialize console\." "$dir/err.txt" || fail "no message on standard error"
    [ ! -s "$dir/out.txt" ] || fail "standard output is not empty"
    echo "PASS ($scenario)"
    exit 0
fi

case "$scenario" in
escape | sighup | sigterm | sigint | hangup | redirect) ;;
keys | resize | abort | exit) [ $kind = driver ] || fail "only the terminal driver has this scenario" ;;
*) fail "unknown scenario" ;;
esac

# --- In the pane ---

command -v tmux > /dev/null || fail "tmux is not installed (scripts/install-deps)"
tmux_open "shadestrip-e2e-$$-$scenario"
trap tmux_close EXIT

# The log file is the driver's: the show takes no arguments beyond its options.
run="env LC_ALL=C.UTF-8 TERM=tmux-256color COLORTERM=truecolor '$program'"
[ $kind = driver ] && run+=" '$dir/log'"
if [ "$scenario" = redirect ]; then
    run="sh -c '\"\$0\" > \"\$1/out.txt\"' '$program' '$dir'"
fi
pane_start "$run"
wait_for 10 test -f "$dir/pid" || fail "the program did not start"

# Standard output to a file, standard input still the terminal: refused like
# no terminal at all, and the terminal untouched.
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

started() { [ -f "$dir/rc" ] || [ "$(show '#{pane_title}')" = "$title" ]; }
wait_for 10 started || fail "the title never showed: '$(show '#{pane_title}')'"
if [ -f "$dir/rc" ]; then
    grep -q "Cannot load music\." "$dir/stderr" && skip "the show cannot start its music here"
    fail "the program ended at start-up with exit code $(cat "$dir/rc")"
fi

# The picture: wait for a few frames, then look at it.
sleep 0.5
[ "$(show '#{alternate_on}')" = 1 ] || fail "not on the alternate screen"
[ "$(show '#{cursor_flag}')" = 0 ] || fail "the cursor is visible"
tm capture-pane -p -e -t test > "$dir/screen.txt"
[ $kind = driver ] && check_driver_picture

expected=0
case "$scenario" in
escape) tm send-keys -t test Escape ;;
sighup) kill -HUP "$(pidOf)" ;;
sigterm) kill -TERM "$(pidOf)" ;;
sigint) kill -INT "$(pidOf)" ;;
hangup) tm kill-pane -t test ;;
keys) send_driver_keys ;;
resize) resize_driver ;;
abort)
    tm send-keys -t test a
    expected=134
    ;;
exit)
    tm send-keys -t test x
    expected=3
    ;;
esac

# --- The way out ---

wait_for 20 test -f "$dir/rc" || fail "the program did not end"
rc=$(cat "$dir/rc")
[ "$rc" -eq "$expected" ] || fail "exit code $rc, expected $expected"
# A killed pane has no terminal left to look at.
[ "$scenario" = hangup ] || check_terminal_restored
[ "$scenario" = keys ] && check_driver_keys_log
echo "PASS ($scenario)"
