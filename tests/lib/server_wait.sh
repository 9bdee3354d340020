# The wait the private sound servers' helpers share. Source it, then:
#   server_wait PID TRIES STEP COMMAND...
#       true once COMMAND succeeds; false when process PID ends first, or
#       after TRIES checks STEP seconds apart.

server_wait() {
    local pid=$1 tries=$2 step=$3
    shift 3
    until "$@"; do
        kill -0 "$pid" 2> /dev/null || return 1
        [ "$tries" -le 0 ] && return 1
        sleep "$step"
        tries=$((tries - 1))
    done
}
