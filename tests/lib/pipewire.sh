# A private PipeWire for tests and benches: a null sink "shadestrip" driving a
# graph at RATE (44100 or 48000), PipeWire's own PulseAudio protocol on a
# socket in the caller's directory (no pipewire-pulse package needed: it would
# replace PulseAudio), and WirePlumber to link streams to the sink. Everything
# the servers keep lives inside that directory.
# Source it, then:
#   pipewire_start DIR [RATE]   true once the graph and its session manager
#                               answer; sets pipewirePid, wireplumberPid,
#                               pipewireRemote (the socket's full path) and
#                               pipewirePulse (unix:DIR/pw-native)
#   pipewire_quantum N          forces the graph's quantum (0: its own choice)
#   pipewire_stop               stops both by their PID (a stopped one is continued)
#   pipewire_env                the environment a client needs, for `env`
# The caller checks for pipewire itself (its skip message is its own).

# shellcheck source=server_wait.sh
. "$(dirname "${BASH_SOURCE[0]}")/server_wait.sh"

pipewirePid=""
wireplumberPid=""
pipewireRemote=""
pipewirePulse=""
pipewireDir=""

pipewire_env() {
    echo "XDG_RUNTIME_DIR=$pipewireDir/pw-run PIPEWIRE_RUNTIME_DIR=$pipewireDir/pw-run" \
        "PIPEWIRE_REMOTE=shadestrip-pw HOME=$pipewireDir/pw-home" \
        "XDG_CONFIG_HOME=$pipewireDir/pw-home/.config XDG_STATE_HOME=$pipewireDir/pw-home/.state"
}

pipewire_start() {
    local dir=$1 rate=${2:-48000}
    pipewireDir=$dir
    mkdir -p "$dir/pw-run" "$dir/pw-home/.config" "$dir/pw-home/.state"
    chmod 700 "$dir/pw-run"
    cat > "$dir/pw.conf" << CONF
context.properties = {
    core.daemon = true
    core.name = shadestrip-pw
    support.dbus = false
    link.max-buffers = 16
    default.clock.rate = $rate
    default.clock.allowed-rates = [ $rate ]
    default.clock.quantum = 1024
    default.clock.min-quantum = 16
    default.clock.max-quantum = 8192
    settings.check-quantum = true
    settings.check-rate = true
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.* = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-rt args = { nice.level = -11 } flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-access args = { } }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-session-manager }
    { name = libpipewire-module-protocol-pulse
        args = { server.address = [ "unix:$dir/pw-native" ] pulse.min.quantum = 16/$rate } }
]
context.objects = [
    { factory = metadata args = { metadata.name = default } }
    { factory = spa-node-factory
        args = { factory.name = support.node.driver node.name = Dummy-Driver
                 node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = adapter
        args = { factory.name = support.null-audio-sink node.name = shadestrip
                 node.description = shadestrip media.class = Audio/Sink
                 audio.position = [ FL FR ] audio.rate = $rate object.linger = true
                 node.driver = true priority.driver = 30000 priority.session = 30000
                 monitor.channel-volumes = true } }
]
CONF
    # shellcheck disable=SC2046
    env $(pipewire_env) pipewire -c "$dir/pw.conf" > "$dir/pipewire.log" 2>&1 &
    pipewirePid=$!
    server_wait "$pipewirePid" 200 0.05 pipewire_listening "$dir" || return 1
    pipewireRemote="$dir/pw-run/shadestrip-pw"
    pipewirePulse="unix:$dir/pw-native"
    if command -v wireplumber > /dev/null; then
        # Its own configuration, without D-Bus and what needs it (Bluetooth,
        # device reservation, the portal): each ends it where there is no bus.
        mkdir -p "$dir/pw-home/.config/wireplumber/main.lua.d"
        printf '%s\n' 'alsa_monitor.enabled = false' 'alsa_monitor.properties["alsa.reserve"] = false' \
            'default_access.properties["enable-flatpak-portal"] = false' \
            > "$dir/pw-home/.config/wireplumber/main.lua.d/51-shadestrip.lua"
        sed -e 's/^ *#* *support.dbus *=.*/  support.dbus = false/' -e '/bluetooth.lua/d' \
            /usr/share/wireplumber/wireplumber.conf > "$dir/pw-home/.config/wireplumber/wireplumber.conf"
        # shellcheck disable=SC2046
        env $(pipewire_env) wireplumber > "$dir/wireplumber.log" 2>&1 &
        wireplumberPid=$!
    fi
    # The session manager is up once it has a client of its own on the graph.
    server_wait "$pipewirePid" 100 0.1 wireplumber_joined
}

# Both of the daemon's sockets are in DIR.
pipewire_listening() { [ -S "$1/pw-run/shadestrip-pw" ] && [ -S "$1/pw-native" ]; }
wireplumber_joined() {
    # shellcheck disable=SC2046
    env $(pipewire_env) timeout 5 pw-cli ls Client 2> /dev/null | grep -q WirePlumber
}

pipewire_quantum() {
    # shellcheck disable=SC2046
    env $(pipewire_env) pw-metadata -n settings 0 clock.force-quantum "$1" > /dev/null 2>&1
}

pipewire_stop() {
    local pid
    for pid in "$wireplumberPid" "$pipewirePid"; do
        [ -n "$pid" ] || continue
        kill -CONT "$pid" 2> /dev/null
        kill -TERM "$pid" 2> /dev/null
        wait "$pid" 2> /dev/null
    done
    wireplumberPid=""
    # shellcheck source=server_wait.sh
. "$(dirname "${BASH_SOURCE[0]}")/server_wait.sh"

pipewirePid=""
}
