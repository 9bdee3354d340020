#!/usr/bin/env bash
# The picture against the sound on a private sound server: sync_bench plays
# the show's track on PLAYER, records the sink, and fails unless t is within
# SYNC_CHECK_MS (3 ms) of the sound played, through the run and after seeks.
# STACK is pulse (a private PulseAudio) or pipewire (a private PipeWire, its
# graph at 44100 Hz, where the path is bit-exact and every seek's sound is
# found, and a quantum of 1024), or jack (a private JACK server on its dummy
# driver, period 256, recorded in the graph by JACK_RECORD, reached through
# ALSA's jack plugin). Exits 77 (skipped) where the server is not installed or
# does not start here; everything started is stopped by PID.
# Usage: sync_check.sh STACK SYNC_BENCH PLAYER [JACK_RECORD]
set -u
stack=$1
bench=$2
player=$3
jackRecord=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
export SYNC_CHECK_MS=${SYNC_CHECK_MS:-3}

dir=$(mktemp -d "${TMPDIR:-/tmp}/shadestrip-sync-check.XXXXXX")
# shellcheck source=../lib/sound_servers.sh
. "$here/../lib/sound_servers.sh"
cleanup() {
    sound_servers_stop
    rm -rf "$dir"
}
trap cleanup EXIT

case "$stack" in
pulse)
    command -v pulseaudio > /dev/null && command -v parec > /dev/null ||
        { echo "pulseaudio is not installed: skipped"; exit 77; }
    pulse_start "$dir" || { echo "PulseAudio did not start here: skipped"; exit 77; }
    # ALSA's default device as a client of the same server (for the ALSA player).
    printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$dir/home/.asoundrc"
    HOME="$dir/home" PULSE_SERVER=$pulseSocket "$bench" 6 shadestrip.monitor "$player"
    ;;
pipewire)
    for tool in pipewire wireplumber pw-record pw-metadata; do
        command -v $tool > /dev/null || { echo "$tool is not installed: skipped"; exit 77; }
    done
    pipewire_start "$dir" 44100 || { echo "PipeWire did not start here: skipped"; exit 77; }
    pipewire_quantum 1024
    # shellcheck disable=SC2046
    env $(pipewire_env) PULSE_SERVER="$pipewirePulse" "$bench" 6 pw:shadestrip "$player"
    ;;
jack)
    command -v jackd > /dev/null || { echo "jackd2 is not installed: skipped"; exit 77; }
    [ -x "$jackRecord" ] || { echo "jack_record is not built (libjack-jackd2-dev): skipped"; exit 77; }
    ls /usr/lib/*/alsa-lib/libasound_module_pcm_jack.so > /dev/null 2>&1 ||
        { echo "ALSA's jack plugin (libasound2-plugins) is not installed: skipped"; exit 77; }
    jack_start "jackcheck$$" 256 || { echo "jackd did not start here: skipped"; exit 77; }
    # The plugin's delay leaves out the period in the graph's cycle (5.8 ms at
    # 256 frames; docs/performance.md): the bound is that period and the usual
    # 3 ms, against the block as the graph hands it to the driver.
    SYNC_CHECK_MS=9 SHADESTRIP_ALSA_DEVICE=plug:jack "$bench" 6 "jack:$jackRecord" "$player"
    ;;
*)
    echo "unknown stack $stack"
    exit 2
    ;;
esac
