# A private JACK server for tests and benches: jackd with its dummy driver (no
# card needed) at 44100 Hz, under a server name of the caller's, so that no
# other JACK client or server on the machine is touched. Clients reach it
# through JACK_DEFAULT_SERVER (ALSA's jack plugin too).
# Source it, then:
#   jack_start NAME PERIOD   true once the server answers; sets jackPid and
#                            exports JACK_DEFAULT_SERVER=NAME
#   jack_stop                stops it by its PID
#   jack_playback_ms         the latency the server reports from its graph to
#                            the driver's playback (system:playback_1), in ms
# The caller checks for jackd itself (its skip message is its own).

# shellcheck source=server_wait.sh
. "$(dirname "${BASH_SOURCE[0]}")/server_wait.sh"

jackPid=""

jack_start() {
    local name=$1 period=$2
    JACK_NO_AUDIO_RESERVATION=1 jackd -n "$name" -d dummy -r 44100 -p "$period" \
        > "${TMPDIR:-/tmp}/$name.log" 2>&1 &
    jackPid=$!
    export JACK_DEFAULT_SERVER=$name
    server_wait "$jackPid" 100 0.05 jack_running "$name"
}

jack_running() { [ "$(jack_wait -s "$1" -c 2> /dev/null)" = running ]; }

jack_stop() {
    if [ -n "$jackPid" ]; then
        kill "$jackPid" 2> /dev/null
        wait "$jackPid" 2> /dev/null
        jackPid=""
        rm -f "${TMPDIR:-/tmp}/$JACK_DEFAULT_SERVER.log"
    fi
    unset JACK_DEFAULT_SERVER
}

jack_playback_ms() {
    jack_lsp -l system:playback_1 2> /dev/null |
        awk '/port playback latency/ { gsub(/[][]/, ""); printf "%.3f\n", $5 * 1000 / 44100; exit }'
}
