#!/bin/bash
# The terminal always given back, in a private tmux with an interactive shell:
#   background  the show started in the background stops before taking the
#               terminal (the shell keeps its screen and modes); with SIGTTOU
#               ignored it does not start at all, and says why
#   paste       20 pastes of 30 KB while the show runs: none reaches the shell, Escape
#               after them ends the show at once, and the title comes back
# Usage: terminal_give_back.sh SCENARIO PROGRAM WORKDIR
# Exit code 0 passed, 1 failed, 77 skipped. Every wait is bounded, and every
# process started here is stopped by its PID.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/tmux.sh
. "$here/../lib/tmux.sh"
tmux_run_args "$@"

command -v tmux > /dev/null || { echo "SKIP ($scenario): tmux is not installed"; exit 77; }
tmux_open "shadestrip-giveback-$$-$scenario"
trap tmux_close EXIT

fail() {
    echo "FAIL ($scenario): $*" >&2
    tm capture-pane -p -t test > "$dir/screen.txt" 2> /dev/null
    [ -s "$dir/screen.txt" ] && { echo "--- screen" >&2; cat "$dir/screen.txt" >&2; }
    exit 1
}

# An interactive shell in the pane, its pid in $shellPid.
start_shell() {
    tm new-session -d -s test -x 80 -y 50 \
        "env -i PATH=/usr/bin:/bin HOME='$dir' TERM=tmux-256color LC_ALL=C.UTF-8 \
        SDL_AUDIODRIVER=dummy PS1='prompt\$ ' bash --norc --noprofile -i" || fail "tmux did not start"
    tm set -g escape-time 10
    tm send-keys -t test "echo \$\$ > '$dir/shell'; stty -a > '$dir/stty-before'" Enter
    wait_for 10 test -s "$dir/stty-before" || fail "the shell did not start"
    shellPid=$(cat "$dir/shell")
    titleBefore=$(show '#{pane_title}')
}

shell_modes_unchanged() {
    rm -f "$dir/stty-after"
    tm send-keys -t test "stty -a > '$dir/stty-after'" Enter
    wait_for 10 test -s "$dir/stty-after" || fail "the shell does not take commands"
    cmp -s "$dir/stty-before" "$dir/stty-after" ||
        fail "the terminal's modes changed: $(diff "$dir/stty-before" "$dir/stty-after")"
}

show_pid() { pgrep -P "$shellPid" -n; }

if [ "$scenario" = background ]; then
    start_shell
    tm send-keys -t test "'$program' --silent & echo \$! > '$dir/pid'" Enter
    wait_for 10 test -s "$dir/pid" || fail "the show did not start"
    showPid=$(cat "$dir/pid")
    stopped() { [ "$(ps -o state= -p "$showPid" | tr -d ' ')" = T ]; }
    wait_for 10 stopped || fail "the show in the background did not stop"
    sleep 0.5
    [ "$(show '#{alternate_on}')" = 0 ] || fail "the background show took the screen"
    [ "$(show '#{pane_title}')" = "$titleBefore" ] || fail "the background show set the title"
    shell_modes_unchanged
    kill -KILL "$showPid"
    # With SIGTTOU ignored the job control stop cannot happen: no start at all.
    tm send-keys -t test "(trap '' TTOU TTIN; exec '$program' --silent) 2> '$dir/stderr' & " \
        "echo \$! > '$dir/pid2'" Enter
    wait_for 10 test -s "$dir/pid2" || fail "the second show did not start"
    ended() { ! kill -0 "$(cat "$dir/pid2")" 2> /dev/null; }
    wait_for 10 ended || fail "with SIGTTOU ignored the background show runs on"
    grep -q "background" "$dir/stderr" || fail "no reason given: $(cat "$dir/stderr")"
    [ "$(show '#{alternate_on}')" = 0 ] || fail "the background show took the screen"
    shell_modes_unchanged
    echo "PASS ($scenario)"
    exit 0
fi

if [ "$scenario" = paste ]; then
    start_shell
    tm send-keys -t test "'$program' --silent" Enter
    taken() { [ "$(show '#{alternate_on}')" = 1 ]; }
    wait_for 10 taken || fail "the show did not take the screen"
    showPid=$(show_pid)
    sleep 0.5
    for i in $(seq 1 20); do
        printf 'echo PASTED-%s\r%s\r' "$i" "$(head -c 30000 /dev/zero | tr '\0' 'x')" |
            tm load-buffer -b paste -
        # -p: bracketed, as the show asked for it.
        tm paste-buffer -p -b paste -t test
        sleep 0.05
    done
    tm send-keys -t test Escape
    ended() { ! kill -0 "$showPid" 2> /dev/null; }
    wait_for 3 ended || fail "Escape after the pastes did not end the show within 3 s"
    sleep 0.5
    [ "$(show '#{alternate_on}')" = 0 ] || fail "still on the alternate screen"
    [ "$(show '#{cursor_flag}')" = 1 ] || fail "the cursor stays hidden"
    [ "$(show '#{pane_title}')" = "$titleBefore" ] ||
        fail "title '$(show '#{pane_title}')' instead of '$titleBefore'"
    shell_modes_unchanged
    tm capture-pane -p -t test > "$dir/screen.txt"
    grep -q "PASTED" "$dir/screen.txt" && fail "pasted text reached the shell"
    echo "PASS ($scenario)"
    exit 0
fi

echo "unknown scenario $scenario" >&2
exit 2
