#!/usr/bin/env bash
# The terminal program as a Unix command: --help and --version answer without a
# terminal, mistakes exit 2 with two lines on standard error, a missing sound
# device is explained with a way out, and --silent plays where there is no
# sound at all. The last two run on a pseudo-terminal made by script(1).
#
# Usage: check_command_line.sh PROGRAM VERSION WORK_DIR
set -u

program=$1
version=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
# shellcheck source=../lib/check.sh
. "$(dirname "$0")/../lib/check.sh"
checkFiles=("$work/out" "$work/err" "$work/pty")

# run ARGS...: rc, standard output and standard error, with no terminal at all.
run() {
    timeout 10 "$program" "$@" < /dev/null > "$work/out" 2> "$work/err"
    rc=$?
}

run --help
[ $rc -eq 0 ] || fail "--help exits $rc"
head -n 1 "$work/out" | grep -q '^usage: shadestrip ' || fail "--help does not print the usage"
[ ! -s "$work/err" ] || fail "--help writes on standard error"

run --silent --version
[ $rc -eq 0 ] || fail "--version exits $rc"
[ "$(head -n 1 "$work/out")" = "shadestrip (Shade Strip) $version" ] || fail "--version is wrong"

timeout 10 "$program" --help > /dev/full 2> "$work/err"
rc=$?
[ $rc -eq 1 ] || fail "--help to a full disk exits $rc, expected 1"
grep -q "cannot write" "$work/err" || fail "--help to a full disk does not say so"

for mistake in --bogus "--at 200"; do
    # shellcheck disable=SC2086 # the mistake is split into its words on purpose
    run $mistake
    [ $rc -eq 2 ] || fail "'$mistake' exits $rc, expected 2"
    [ ! -s "$work/out" ] || fail "'$mistake' writes on standard output"
    [ "$(wc -l < "$work/err")" -eq 2 ] || fail "'$mistake' does not give exactly two lines"
    head -n 1 "$work/err" | grep -q '^shadestrip: ' || fail "'$mistake': no complaint line"
    tail -n 1 "$work/err" | grep -qF -- "--help" || fail "'$mistake': no hint to --help"
done

command -v script > /dev/null || fail "script(1) is not installed (bsdutils)"
# on_pty COMMAND: runs COMMAND on a pseudo-terminal of 80 x 50; its output is in
# $work/pty, its exit code in rc.
on_pty() {
    timeout 30 script -q -e -c "stty cols 80 rows 50; $1" /dev/null < /dev/null > "$work/pty" 2>&1
    rc=$?
}

# A sound driver that does not exist stands for a machine without sound: with
# --sound the show does not start.
on_pty "SDL_AUDIODRIVER=none-such TERM=xterm '$program' --sound"
[ $rc -eq 1 ] || fail "--sound without sound exits $rc, expected 1"
tr -d '\r' < "$work/pty" | grep -A1 -F "Demo error. Cannot load music." > "$work/err"
[ -s "$work/err" ] || fail "no 'Cannot load music.'"
tail -n 1 "$work/err" | grep -qF -- "'shadestrip --silent' plays the show without sound." ||
    fail "the line under 'Cannot load music.' does not offer --silent"

# Without it, the show plays silently and says so in one line at the end.
on_pty "SDL_AUDIODRIVER=none-such TERM=xterm '$program' --at 141.2"
[ $rc -eq 0 ] || fail "without sound the program exits $rc, expected 0"
grep -q "Demo error" "$work/pty" && fail "a show without sound reports an error"
tr -d '\r' < "$work/pty" | grep -q "Played without sound (.*)\.\$" ||
    fail "no note that the show played without sound"

# The last 0.3 s of the show, silent, ends by itself with exit code 0.
on_pty "SDL_AUDIODRIVER=none-such TERM=xterm '$program' --silent --at 141.2"
[ $rc -eq 0 ] || fail "--silent without sound exits $rc"
grep -q "Demo error" "$work/pty" && fail "--silent reports an error"
echo "PASS"
