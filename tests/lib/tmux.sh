# A program in a pane of a private tmux server, 80 x 50, escape-time 10, run
# through pane.sh (which records the terminal's modes, the program's pid,
# standard error and exit code in the work directory, and keeps the pane while
# DIR/keep exists). Its checks say how they went through check.sh, which it
# sources: the caller sets checkContext and checkFiles after sourcing this.
# Every wait is bounded.
#   tmux_run_args SCENARIO PROGRAM WORKDIR
#                              sets scenario, program and dir (WORKDIR made
#                              afresh, absolute: the pane and an audio server's
#                              socket must find it from anywhere)
#   tmux_open NAME             the server's socket name (a unique one per run)
#   tm ARGS...                 a tmux command to that server
#   pane_start COMMAND         the session "test" running COMMAND through pane.sh;
#                              records the title before, then lets it go
#   show FORMAT                a format of the pane (#{pane_title}, ...)
#   pidOf                      the program's pid, once it has started
#   alive                      the program has not ended yet
#   wait_for SECONDS CMD...    true once CMD succeeds, false after SECONDS
#   check_terminal_restored    fail unless the terminal is as it was found
#   tmux_close                 stops the program (if still running) and the server

testLib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=check.sh
. "$testLib/check.sh"
tmuxSocket=""
titleBefore=""

wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge "$deadline" ] && return 1
        sleep 0.05
    done
}

tmux_run_args() {
    scenario=$1
    program=$2
    rm -rf "$3"
    mkdir -p "$3"
    dir=$(cd "$3" && pwd)
}

tmux_open() { tmuxSocket=$1; }
tm() { tmux -L "$tmuxSocket" -f /dev/null "$@"; }
show() { tm display -p -t test "$1"; }
pidOf() { cat "$dir/pid" 2> /dev/null; }
alive() { [ ! -f "$dir/rc" ]; }

pane_start() {
    touch "$dir/keep"
    tm new-session -d -s test -x 80 -y 50 "sh '$testLib/pane.sh' '$dir' $1" ||
        fail "tmux did not start"
    tm set -g escape-time 10
    titleBefore=$(show '#{pane_title}')
    touch "$dir/go"
}

check_terminal_restored() {
    cmp -s "$dir/stty-before" "$dir/stty-after" ||
        fail "stty -a differs: $(diff "$dir/stty-before" "$dir/stty-after")"
    [ "$(show '#{alternate_on}')" = 0 ] || fail "still on the alternate screen"
    [ "$(show '#{cursor_flag}')" = 1 ] || fail "the cursor stays hidden"
    [ "$(show '#{mouse_any_flag}#{mouse_all_flag}#{mouse_sgr_flag}')" = 000 ] ||
        fail "mouse reporting left on"
    [ "$(show '#{pane_title}')" = "$titleBefore" ] ||
        fail "title '$(show '#{pane_title}')' instead of '$titleBefore'"
}

tmux_close() {
    local pid
    rm -f "$dir/keep"
    pid=$(pidOf)
    if [ -n "$pid" ] && [ ! -f "$dir/rc" ]; then
        kill -KILL "$pid" 2> /dev/null
    fi
    [ -n "$tmuxSocket" ] && tm kill-server 2> /dev/null
}
