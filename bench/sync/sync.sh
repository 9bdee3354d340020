#!/usr/bin/env bash
# Runs sync_bench against a private PulseAudio: a null sink at 44100 Hz behind
# a socket in a temporary directory, recorded through its monitor, once for
# each path to it: the PulseAudio player, the SDL player on SDL's PulseAudio
# driver, and the SDL player on ALSA through ALSA's PulseAudio plugin (where
# that plugin is installed). Everything
# started here is stopped by its PID; skipped (with a message) when PulseAudio
# or parec is not installed or the server does not start.
# Usage: sync.sh SYNC_BENCH [SECONDS]   (SECONDS of music, default 20)
set -u
bench=$1
seconds=${2:-20}

if ! command -v pulseaudio > /dev/null || ! command -v parec > /dev/null; then
    echo "## Sync: skipped (pulseaudio and pulseaudio-utils are not installed)"
    exit 0
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/shadestrip-sync.XXXXXX")
# shellcheck source=../../tests/lib/pulse.sh
. "$(dirname "$0")/../../tests/lib/pulse.sh"
cleanup() {
    pulse_stop
    rm -rf "$dir"
}
trap cleanup EXIT

if ! pulse_start "$dir"; then
    echo "## Sync: skipped (PulseAudio did not start here)"
    exit 0
fi
export PULSE_SERVER=$pulseSocket

run() { timeout $((seconds + 90)) "$bench" "$seconds" shadestrip.monitor "$@"; echo; }
run pulse "PulseAudio player (libpulse)"
SDL_AUDIODRIVER=pulseaudio run sdl "SDL player, SDL's PulseAudio driver"
# ALSA's default device as a client of the same server, in the private home.
if ls /usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so > /dev/null 2>&1; then
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$dir/home/.asoundrc"
    HOME="$dir/home" SDL_AUDIODRIVER=alsa run sdl "SDL player, ALSA through its PulseAudio plugin"
else
    echo "## Sync, SDL over ALSA: skipped (ALSA's PulseAudio plugin, libasound2-plugins, is not installed)"
fi
