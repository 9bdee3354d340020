#!/usr/bin/env bash
# Runs the audio-server probe against a private PulseAudio: a null sink at
# 44100 Hz behind a socket in a temporary directory, stopped by its PID at the
# end. Exits 77 (skipped) when PulseAudio is not installed or cannot start here.
# The probe finds the server's pid in SHADESTRIP_TEST_SERVER_PID (to stop it
# for a while). Usage: pulse_position_check.sh PROBE [ARGS...]
set -u
probe=$1
shift

if ! command -v pulseaudio >/dev/null; then
    echo "pulseaudio is not installed: skipped"
    exit 77
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/shadestrip-pulse.XXXXXX")
serverPid=""
keepAlivePid=""
cleanup() {
    if [ -n "$keepAlivePid" ]; then kill "$keepAlivePid" 2>/dev/null; wait "$keepAlivePid" 2>/dev/null; fi
    if [ -n "$serverPid" ]; then kill "$serverPid" 2>/dev/null; wait "$serverPid" 2>/dev/null; fi
    rm -rf "$dir"
}
trap cleanup EXIT

# Everything the server would keep (cookie, runtime files) stays in the
# temporary directory; -n loads no default configuration, only these modules.
mkdir -p "$dir/home" "$dir/run"
HOME="$dir/home" XDG_RUNTIME_DIR="$dir/run" XDG_CONFIG_HOME="$dir/home/.config" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=shadestrip rate=44100" >"$dir/server.log" 2>&1 &
serverPid=$!

for _ in $(seq 100); do
    [ -S "$dir/native" ] && break
    if ! kill -0 "$serverPid" 2>/dev/null; then break; fi
    sleep 0.1
done
if [ ! -S "$dir/native" ]; then
    echo "PulseAudio did not start here: skipped"
    cat "$dir/server.log"
    exit 77
fi
export PULSE_SERVER="unix:$dir/native"

# An idle null sink can stall a new stream's first requests for up to two
# seconds; a second stream that keeps it busy avoids that.
if command -v pacat >/dev/null; then
    pacat --latency-msec=20 /dev/zero &
    keepAlivePid=$!
fi

export SHADESTRIP_TEST_SERVER_PID=$serverPid
SDL_AUDIODRIVER=pulseaudio "$probe" "$@"
