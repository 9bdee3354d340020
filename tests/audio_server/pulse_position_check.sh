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
# shellcheck source=../lib/pulse.sh
. "$(dirname "$0")/../lib/pulse.sh"
cleanup() {
    pulse_stop
    rm -rf "$dir"
}
trap cleanup EXIT

if ! pulse_start "$dir"; then
    echo "PulseAudio did not start here: skipped"
    cat "$dir/server.log"
    exit 77
fi
export PULSE_SERVER=$pulseSocket

export SHADESTRIP_TEST_SERVER_PID=$pulsePid
SDL_AUDIODRIVER=pulseaudio "$probe" "$@"
