#!/usr/bin/env bash
# The quick start as a new user meets it: `make run` in a fresh clone of the
# source, in a private tmux server (80 x 50), on a machine without a sound
# device (a sound driver that does not exist, no sound server). The picture
# must appear, Escape must end the show with exit code 0, a line must say the
# show played without sound, and the terminal must be as it was. Prints how
# long the first frame took (a figure, not a limit: the build is most of it).
#
# Usage: make_run.sh SOURCE_DIR WORKDIR
# Exit code 0 passed, 1 failed, 77 skipped (no git checkout, no tmux, or the
# packages that make run needs are not installed and cannot be here).
set -u

here=$(cd "$(dirname "$0")" && pwd)
source=$1
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args make-run make "$2"
title="Please press alt+enter for full screen mode."

fail() {
    echo "FAIL (make run): $*" >&2
    [ -s "$dir/stderr" ] && { echo "--- stderr" >&2; tail -c 3000 "$dir/stderr" >&2; }
    [ -s "$dir/screen.txt" ] && { echo "--- screen" >&2; grep -v '^$' "$dir/screen.txt" >&2; }
    exit 1
}
skip() {
    echo "SKIP (make run): $*"
    exit 77
}

for tool in git tmux make; do
    command -v $tool > /dev/null || skip "$tool is not installed"
done
git -C "$source" rev-parse --git-dir > /dev/null 2>&1 || skip "$source is not a git checkout"
git clone --quiet "$source" "$dir/clone" || fail "git clone failed"

# make run installs what is missing; here nothing may be installed, so an
# apt-get or sudo that always fails shows whether anything would have to be.
mkdir -p "$dir/no-install"
for tool in apt-get sudo; do
    printf '#!/bin/sh\nexit 1\n' > "$dir/no-install/$tool"
    chmod +x "$dir/no-install/$tool"
done
(cd "$dir/clone" && PATH="$dir/no-install:$PATH" scripts/install-deps play > /dev/null 2>&1) ||
    skip "the packages of 'scripts/install-deps play' are not all installed"

tmux_open "shadestrip-make-run-$$"
trap tmux_close EXIT
startedAt=$SECONDS
pane_start "env -u MAKEFLAGS -u MAKELEVEL -u MFLAGS SDL_AUDIODRIVER=none-such \
PULSE_SERVER=unix:$dir/no-server TERM=tmux-256color LC_ALL=C.UTF-8 \
make -C '$dir/clone' run JOBS=2"

shows() { [ -f "$dir/rc" ] || [ "$(show '#{pane_title}')" = "$title" ]; }
wait_for 1500 shows || fail "no picture within 25 minutes"
[ -f "$dir/rc" ] && fail "make run ended before the picture (exit code $(cat "$dir/rc"))"
echo "first frame after $((SECONDS - startedAt)) s"
# The show's first picture is made of shades and blocks.
glyphs=0
drawn() {
    tm capture-pane -p -t test > "$dir/screen.txt"
    glyphs=$(grep -o -F -e '░' -e '▒' -e '▓' -e '█' -e '▀' -e '▄' "$dir/screen.txt" | wc -l)
    [ "$glyphs" -gt 100 ]
}
wait_for 10 drawn || fail "the screen does not show the picture ($glyphs shade glyphs)"

tm send-keys -t test Escape
wait_for 20 test -f "$dir/rc" || fail "the show did not end on Escape"
[ "$(cat "$dir/rc")" = 0 ] || fail "make run exited $(cat "$dir/rc")"
grep -q "^Played without sound (" "$dir/stderr" || fail "no line saying it played without sound"
grep -q "Cannot load music" "$dir/stderr" && fail "the show reported a music error"
check_terminal_restored
echo "PASS (make run)"
