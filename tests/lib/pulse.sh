# A private PulseAudio for tests and benches: a null sink "shadestrip" at
# 44100 Hz behind a socket in a directory of the caller's, with everything the
# server keeps (cookie, runtime files) inside that directory. A second stream
# of zeros keeps the idle sink from stalling a new stream's first requests.
# Source it, then:
#   pulse_start DIR   true once the server listens on DIR/native; sets
#                     pulsePid, keepAlivePid and pulseSocket (unix:DIR/native)
#   pulse_stop        stops both by their PID (a stopped server is continued)
# The caller checks for pulseaudio itself (its skip message is its own).

# shellcheck source=server_wait.sh
. "$(dirname "${BASH_SOURCE[0]}")/server_wait.sh"

pulsePid=""
keepAlivePid=""
pulseSocket=""

pulse_start() {
    local dir=$1
    mkdir -p "$dir/home" "$dir/run"
    HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/home/.config" \
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        -L "module-null-sink sink_name=shadestrip rate=44100" > "$dir/server.log" 2>&1 &
    pulsePid=$!
    server_wait "$pulsePid" 200 0.05 test -S "$dir/native" || return 1
    pulseSocket="unix:$dir/native"
    if command -v pacat > /dev/null; then
        PULSE_SERVER=$pulseSocket pacat --latency-msec=20 /dev/zero 2> /dev/null &
        keepAlivePid=$!
    fi
}

pulse_stop() {
    if [ -n "$keepAlivePid" ]; then
        kill "$keepAlivePid" 2> /dev/null
        wait "$keepAlivePid" 2> /dev/null
        keepAlivePid=""
    fi
    if [ -n "$pulsePid" ]; then
        kill -CONT "$pulsePid" 2> /dev/null
        kill -KILL "$pulsePid" 2> /dev/null
        wait "$pulsePid" 2> /dev/null
        # shellcheck source=server_wait.sh
. "$(dirname "${BASH_SOURCE[0]}")/server_wait.sh"

pulsePid=""
    fi
}
