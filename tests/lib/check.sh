# shellcheck shell=bash
# How a test script says how its checks went: one word, one meaning. Source it
# (bash), then say what a failure names and shows:
#   checkContext="..."         put in the brackets of FAIL lines ("FAIL (sigterm): ...")
#   checkFiles=(FILE...)       files whose last 4000 bytes a failure shows, when not empty
# and use:
#   pass WHAT...               a check passed: "ok: WHAT"
#   fail WHAT...               the run has failed: says so, shows the files, exits 1
#   expect STATUS WHAT -- COMMAND...
#                              runs COMMAND with its output in out.txt and its
#                              standard error in err.txt (in the current folder):
#                              pass when it exits with STATUS, fail otherwise
#   fail_later WHAT...         a check failed, but the run goes on because the
#                              checks after it still tell something; counted
#   end_checks                 the script's last word after fail_later: exit 1
#                              when any check failed, 0 otherwise
#   skip WHY...                the run cannot be made here: says so, exit 77

checkContext=${checkContext:-}
checkFiles=()
failures=0

# WORD and the context in brackets, if any: the start of FAIL and SKIP lines.
check_prefix() {
    if [ -n "$checkContext" ]; then echo "$1 ($checkContext)"; else echo "$1"; fi
}

pass() { echo "ok: $*"; }

fail() {
    local file
    echo "$(check_prefix FAIL): $*" >&2
    for file in "${checkFiles[@]}"; do
        if [ -s "$file" ]; then
            echo "--- $file" >&2
            # Control characters out, so that no escape sequence a program
            # wrote reaches the reader's terminal.
            tail -c 4000 "$file" | tr -d '\000-\010\013\014\016-\037' >&2
            echo >&2
        fi
    done
    exit 1
}

fail_later() {
    echo "$(check_prefix FAIL): $*" >&2
    failures=$((failures + 1))
}

end_checks() {
    [ "$failures" -eq 0 ] || exit 1
    exit 0
}

expect() {
    local want=$1 what=$2
    shift 3
    "$@" > out.txt 2> err.txt
    local got=$?
    if [ "$got" -eq "$want" ]; then
        pass "$what (exit $got)"
    else
        fail "$what: exit $got, not $want: $(head -c 300 err.txt)"
    fi
}

skip() {
    echo "$(check_prefix SKIP): $*"
    exit 77
}
