# Every private sound server's helpers (pulse.sh, pipewire.sh, jack.sh), for
# the scripts that may start any of them. Source it, then:
#   sound_servers_stop   stops whichever of them were started

# shellcheck source=pulse.sh
. "$(dirname "${BASH_SOURCE[0]}")/pulse.sh"
# shellcheck source=pipewire.sh
. "$(dirname "${BASH_SOURCE[0]}")/pipewire.sh"
# shellcheck source=jack.sh
. "$(dirname "${BASH_SOURCE[0]}")/jack.sh"

sound_servers_stop() {
    pulse_stop
    pipewire_stop
    jack_stop
}
