#!/usr/bin/env bash
# The show in a real xterm under a virtual X screen (default TERM, the bitmap
# font "fixed", 6 x 13 pixels): a screenshot a few seconds in is compared cell
# by cell with the capture tool's frames around that moment, through the
# terminal's palette; SIGTERM then ends the show, and the terminal must be as
# it was (modes, main screen). The show runs without DISPLAY: it needs no X.
# With "latin1", xterm and the show run in a Latin-1 locale (the C locale
# where none can be made): xterm is then not in UTF-8 mode, and the show draws
# with Latin-1 letters, DEC graphics and ASCII stand-ins.
#
# With EMULATOR "urxvt", rxvt-unicode instead (TERM rxvt-unicode-256color, no
# title stack and no title report: the show leaves the title alone).
#
# Usage: run_terminal.sh PROGRAM CAPTURE SCREEN_MATCH WORKDIR [utf8|latin1] [xterm|urxvt]
# Exit code 0 passed, 1 failed, 77 skipped (no Xvfb, xterm or ImageMagick).
set -u -o pipefail
program=$1
capture=$2
match=$3
dir=$4
mode=${5:-utf8}
emulator=${6:-xterm}
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$dir"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
for tool in Xvfb "$emulator" import convert; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

xvfbPid=""
xtermPid=""
cleanup() {
    rm -f "$dir/keep"
    if [ -f "$dir/pid" ] && [ ! -f "$dir/rc" ]; then kill -KILL "$(cat "$dir/pid")" 2> /dev/null; fi
    if [ -n "$xtermPid" ]; then kill "$xtermPid" 2> /dev/null; wait "$xtermPid" 2> /dev/null; fi
    if [ -n "$xvfbPid" ]; then kill "$xvfbPid" 2> /dev/null; wait "$xvfbPid" 2> /dev/null; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL ($emulator, $mode): $*" >&2
    [ -s "$dir/stderr" ] && { echo "--- stderr" >&2; head -c 2000 "$dir/stderr" >&2; }
    exit 1
}
# wait_for, shared with the tmux runs.
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"

Xvfb -displayfd 3 -screen 0 800x1000x24 -nolisten tcp 3> "$dir/display" 2> "$dir/xvfb.log" &
xvfbPid=$!
wait_for 10 test -s "$dir/display" || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=":$(cat "$dir/display")"

if [ "$mode" = latin1 ]; then
    # A Latin-1 locale of our own where localedef can make one, else plain C.
    locale="LC_ALL=C"
    mkdir -p "$dir/locale"
    if command -v localedef > /dev/null &&
        localedef -i en_US -f ISO-8859-1 "$dir/locale/en_US.ISO-8859-1" 2> /dev/null; then
        locale="LOCPATH=$dir/locale LC_ALL=en_US.ISO-8859-1"
    fi
    echo "latin1: $locale"
else
    locale="LC_ALL=C.UTF-8"
fi
touch "$dir/keep" "$dir/go"
if [ "$emulator" = urxvt ]; then
    terminal=(urxvt -geometry 80x50+0+0 -b 0 -bl +sb -fn fixed -e)
else
    terminal=(xterm -geometry 80x50+0+0 -b 0 -bw 0 +sb -fn fixed -e)
fi
env $locale "${terminal[@]}" \
    sh "$here/../lib/pane.sh" "$dir" env -u DISPLAY SDL_AUDIODRIVER=dummy $locale "$program" \
    2> "$dir/xterm.log" &
xtermPid=$!
wait_for 15 test -f "$dir/pid" || fail "the show did not start"
startedAt=$(date +%s.%N)
sleep 4
import -window root "$dir/running.png" || fail "no screenshot"
shotAt=$(date +%s.%N)
[ -f "$dir/rc" ] && fail "the show ended early (exit code $(cat "$dir/rc"))"

# The frames around the moment of the screenshot (the music starts a little
# after the program).
from=$(awk -v a="$startedAt" -v b="$shotAt" 'BEGIN { e = b - a - 3; printf "%.1f", e < 0 ? 0 : e }')
to=$(awk -v a="$startedAt" -v b="$shotAt" 'BEGIN { printf "%.1f", b - a + 0.5 }')
mkdir -p "$dir/frames"
"$capture" --from "$from" --to "$to" --every 0.1 --format cells --out "$dir/frames/f%03d.cells" \
    > /dev/null || fail "the capture tool failed"
convert "$dir/running.png" "$dir/running.ppm"
"$match" "$dir/running.ppm" 6 13 0.97 "$dir"/frames/*.cells | tee "$dir/match.txt" ||
    fail "the screen does not show the capture's frame: $(cat "$dir/match.txt")"
if command -v xdotool > /dev/null; then
    if [ "$emulator" = urxvt ]; then
        # No title stack, and no report of the title (CSI 21 t): the show
        # leaves the title as it was rather than set one it cannot put back.
        xdotool search --name "alt.enter" > /dev/null && fail "the show set a title it cannot put back"
    else
        xdotool search --name "alt.enter" > /dev/null || fail "the show's title is not on the window"
    fi
fi

kill -TERM "$(cat "$dir/pid")"
wait_for 10 test -f "$dir/rc" || fail "the show did not end on SIGTERM"
[ "$(cat "$dir/rc")" = 0 ] || fail "exit code $(cat "$dir/rc")"
cmp -s "$dir/stty-before" "$dir/stty-after" || fail "stty -a differs"
sleep 0.3
import -window root "$dir/after.png"
# Back on the main screen: the terminal's own (white) background, no picture.
mean=$(convert "$dir/after.png" -crop 480x650+0+0 -format "%[fx:mean]" info:)
awk -v m="$mean" 'BEGIN { exit !(m > 0.9) }' || fail "the picture stays after the end (mean $mean)"
if command -v xdotool > /dev/null; then
    xdotool search --name "alt.enter|Tempus" > /dev/null && fail "the show's title stays on the window"
fi
if [ "$mode" = latin1 ]; then
    grep -q "approximated" "$dir/stderr" || fail "no word on the approximated glyphs"
elif [ -s "$dir/stderr" ]; then
    fail "the show wrote to standard error"
fi
echo "PASS ($emulator, $mode)"
