# Shared by the Windows tests that need more than Wine itself: a scratch
# directory, helpers started in the background and stopped by their PIDs on
# every way out, a virtual X display and a private PulseAudio server.
# Sourced by the test scripts; WINEPREFIX comes from the test's environment.
set -euo pipefail

: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine without any audio driver: no waveOut device at all.
noAudioOverrides="$WINEDLLOVERRIDES;winepulse.drv,winealsa.drv,wineoss.drv=d"

scratch=$(mktemp -d /tmp/shadestrip-wine.XXXXXX)
started=()
ownWineserver=
# shellcheck source=../lib/check.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib/check.sh"

# Stops a background process: TERM, up to five seconds' grace, then KILL.
stopProcess() {
    local pid=$1
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
}

cleanup() {
    local status=$?
    # Wine first, while its display and sound server are still there. Only a
    # test that started its own wineserver (and so runs alone) stops it.
    if [ -n "$ownWineserver" ]; then
        wineserver -k 2>/dev/null || true
        timeout 20 wineserver -w 2>/dev/null || true
    fi
    local i
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        stopProcess "${started[i]}"
    done
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A wineserver that started under another display (or none) must not be
# reused: the next Wine process then starts a fresh one with this environment.
# Tests that do this must run alone.
freshWineserver() {
    ownWineserver=1
    wineserver -k 2>/dev/null || true
    timeout 20 wineserver -w 2>/dev/null || true
}

# A virtual screen of 1280 x 1024 on the first free display number.
startXvfb() {
    local displayFile=$scratch/display
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayFile" \
        >"$scratch/xvfb.log" 2>&1 &
    started+=($!)
    for _ in $(seq 100); do
        [ -s "$displayFile" ] && break
        sleep 0.1
    done
    if [ ! -s "$displayFile" ]; then
        cat "$scratch/xvfb.log" >&2
        echo "Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n 1 "$displayFile")"
}

# shellcheck source=../lib/pulse.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib/pulse.sh"

# A PulseAudio of our own with a null sink at 44100 Hz, reachable only
# through a socket in the scratch directory (tests/lib/pulse.sh), ready once
# the server answers and its keep-alive stream is connected.
startPulse() {
    local dir=$scratch/pulse
    if ! pulse_start "$dir"; then
        [ -n "$pulsePid" ] && started+=("$pulsePid")
        cat "$dir/server.log" >&2
        echo "PulseAudio did not start" >&2
        exit 1
    fi
    started+=("$pulsePid")
    [ -n "$keepAlivePid" ] && started+=("$keepAlivePid")
    export PULSE_SERVER=$pulseSocket
    for _ in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        cat "$dir/server.log" >&2
        echo "PulseAudio did not start" >&2
        exit 1
    fi
    for _ in $(seq 100); do
        [ -n "$(pactl list short sink-inputs 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    echo "pacat did not connect to PulseAudio" >&2
    exit 1
}

# Waits up to $2 seconds for a shown window named exactly $1 and prints its id.
waitForWindow() {
    local seconds=$2 ids pattern
    # xdotool matches names as regular expressions.
    pattern=$(printf '%s' "$1" | sed 's/[][\\.*^$+?(){}|]/\\&/g')
    for _ in $(seq $((seconds * 10))); do
        ids=$(xdotool search --onlyvisible --name "^${pattern}\$" 2>/dev/null || true)
        if [ -n "$ids" ]; then
            echo "$ids" | head -n 1
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Waits up to $2 seconds for background process $1 and sets exitCode to its
# exit code (124 when it was still running and had to be stopped). Not for
# use in a command substitution: only this shell can wait for its children.
waitForExit() {
    local pid=$1 seconds=$2
    for _ in $(seq $((seconds * 10))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            exitCode=0
            wait "$pid" || exitCode=$?
            return 0
        fi
        sleep 0.1
    done
    stopProcess "$pid"
    wait "$pid" 2>/dev/null || true
    exitCode=124
}
