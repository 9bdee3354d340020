#!/usr/bin/env bash
# Runs sync_bench on every sound stack this machine can start privately, a run
# per stack and path:
#   - a private PulseAudio (a null sink at 44100 Hz, recorded through its
#     monitor with parec): the PulseAudio player, the ALSA player and SDL on
#     ALSA through ALSA's PulseAudio plugin, SDL's own PulseAudio driver;
#   - a private PipeWire (a null sink driving the graph, recorded with
#     pw-record, unbuffered), at 44100 and 48000 Hz and quanta 128 to 2048 for
#     the PipeWire player, and at 48000 Hz, quantum 1024 for the players that
#     reach it through its PulseAudio protocol (PulseAudio, ALSA's plugin, SDL);
#   - a private JACK server on its dummy driver at periods 256 and 1024,
#     recorded inside the graph with jack_record (built where libjack is
#     installed): the ALSA player on ALSA's jack plugin (plug:jack), and SDL
#     on ALSA whose default device is that plugin.
# Everything started here is stopped by its PID; a stack whose server is not
# installed or does not start is skipped with a message.
# Usage: sync.sh SYNC_BENCH [SECONDS [JACK_RECORD]]
#   (SECONDS of music per run, default 8; JACK_RECORD: the JACK recorder)
set -u
bench=$1
seconds=${2:-8}
jackRecord=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d "${TMPDIR:-/tmp}/shadestrip-sync.XXXXXX")
# shellcheck source=../../tests/lib/sound_servers.sh
. "$here/../../tests/lib/sound_servers.sh"
cleanup() {
    sound_servers_stop
    rm -rf "$dir"
}
trap cleanup EXIT

run() { timeout $((seconds + 90)) "$bench" "$seconds" "$@"; echo; }
have_alsa_pulse() { ls /usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so > /dev/null 2>&1; }

# ALSA's default device as a client of the PulseAudio server PULSE_SERVER names.
alsa_to_pulse() {
    mkdir -p "$1"
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$1/.asoundrc"
}

pulse_stack() {
    if ! command -v pulseaudio > /dev/null || ! command -v parec > /dev/null; then
        echo "## Sync, PulseAudio: skipped (pulseaudio and pulseaudio-utils are not installed)"
        return
    fi
    pulse_start "$dir/pulse" || { echo "## Sync, PulseAudio: skipped (it did not start)"; return; }
    export PULSE_SERVER=$pulseSocket
    run shadestrip.monitor pulse "PulseAudio 16: PulseAudio player"
    SDL_AUDIODRIVER=pulseaudio run shadestrip.monitor sdl "PulseAudio 16: SDL, its PulseAudio driver"
    if have_alsa_pulse; then
        alsa_to_pulse "$dir/pulse/home"
        HOME="$dir/pulse/home" run shadestrip.monitor alsa "PulseAudio 16: ALSA player, pulse plugin"
        HOME="$dir/pulse/home" SDL_AUDIODRIVER=alsa run shadestrip.monitor sdl \
            "PulseAudio 16: SDL on ALSA, pulse plugin"
    else
        echo "## Sync, ALSA on PulseAudio: skipped (libasound2-plugins is not installed)"
    fi
    pulse_stop
    unset PULSE_SERVER
}

# One PipeWire graph at RATE: the PipeWire player at each quantum, then (at
# 48000 Hz) the other paths at quantum 1024.
pipewire_graph() {
    local rate=$1 quantum
    rm -rf "$dir/pw"
    mkdir -p "$dir/pw"
    pipewire_start "$dir/pw" "$rate" || { echo "## Sync, PipeWire $rate Hz: skipped (it did not start)"; return; }
    # shellcheck disable=SC2046
    local client="env $(pipewire_env) PULSE_SERVER=$pipewirePulse"
    for quantum in 128 256 1024 2048; do
        pipewire_quantum "$quantum"
        $client "$bench" "$seconds" pw:shadestrip pipewire \
            "PipeWire $rate Hz, quantum $quantum: PipeWire player"
        echo
    done
    if [ "$rate" = 48000 ]; then
        pipewire_quantum 1024
        local path
        for path in "pulse:PulseAudio player, pulse protocol" "sdl:SDL, its own driver"; do
            $client SDL_AUDIODRIVER=pipewire "$bench" "$seconds" pw:shadestrip "${path%%:*}" \
                "PipeWire 48000 Hz, quantum 1024: ${path#*:}"
            echo
        done
        $client SDL_AUDIODRIVER=pulseaudio "$bench" "$seconds" pw:shadestrip sdl \
            "PipeWire 48000 Hz, quantum 1024: SDL, its PulseAudio driver"
        echo
        if have_alsa_pulse; then
            alsa_to_pulse "$dir/pw/alsa-home"
            $client HOME="$dir/pw/alsa-home" "$bench" "$seconds" pw:shadestrip alsa \
                "PipeWire 48000 Hz, quantum 1024: ALSA player, pulse plugin"
            echo
            $client HOME="$dir/pw/alsa-home" SDL_AUDIODRIVER=alsa "$bench" "$seconds" \
                pw:shadestrip sdl "PipeWire 48000 Hz, quantum 1024: SDL on ALSA, pulse plugin"
            echo
        fi
    fi
    pipewire_quantum 0
    pipewire_stop
}

pipewire_stack() {
    local tool
    for tool in pipewire wireplumber pw-record pw-metadata; do
        if ! command -v $tool > /dev/null; then
            echo "## Sync, PipeWire: skipped ($tool is not installed: scripts/install-deps)"
            return
        fi
    done
    pipewire_graph 48000
    pipewire_graph 44100
}

# The JACK graph at each period: the offsets are taken against the block as
# the graph hands it to the driver, and against when the driver plays it (the
# playback latency the server reports for system:playback_1).
jack_stack() {
    if ! command -v jackd > /dev/null; then
        echo "## Sync, JACK: skipped (jackd2 is not installed)"
        return
    fi
    if [ -z "$jackRecord" ] || [ ! -x "$jackRecord" ]; then
        echo "## Sync, JACK: skipped (no jack_record: libjack-jackd2-dev is not installed)"
        return
    fi
    if ! ls /usr/lib/*/alsa-lib/libasound_module_pcm_jack.so > /dev/null 2>&1; then
        echo "## Sync, JACK: skipped (ALSA's jack plugin, libasound2-plugins, is not installed)"
        return
    fi
    local period home="$dir/jack-home"
    mkdir -p "$home"
    # The plugin takes only float samples in whole JACK periods: plug converts.
    printf 'pcm.!default { type plug slave.pcm "jack" }\n' > "$home/.asoundrc"
    for period in 256 1024; do
        jack_start "jacksync$$" "$period" || {
            echo "## Sync, JACK period $period: skipped (jackd did not start)"
            continue
        }
        local latency
        latency=$(jack_playback_ms)
        SYNC_SINK_LATENCY_MS=$latency SHADESTRIP_ALSA_DEVICE=plug:jack run "jack:$jackRecord" \
            alsa "JACK dummy, period $period: ALSA player, jack plugin"
        SYNC_SINK_LATENCY_MS=$latency HOME=$home SDL_AUDIODRIVER=alsa run "jack:$jackRecord" \
            sdl "JACK dummy, period $period: SDL on ALSA, jack plugin"
        jack_stop
    done
}

pulse_stack
pipewire_stack
jack_stack
