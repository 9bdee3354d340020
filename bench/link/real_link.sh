#!/usr/bin/env bash
# The show over real links: for each link, two network namespaces
# (reallink-a, the viewer's; reallink-b, the server's) joined by tun_link (a
# round trip, a rate, a bounded queue, loss), a private sshd in b, and the
# show watched from a through real ssh, ssh -C and mosh by real_link_bench.
#
# Usage: real_link.sh SHOW BENCH_DIR [SECONDS [TRANSPORTS [LINKS]]]
#   SECONDS     of the show per run (60)
#   TRANSPORTS  space-separated, of: ssh ssh-C mosh (all three)
#   LINKS       space-separated link numbers 1-5 (all), or one custom link
#               as RTT_MS:KBIT:LOSS%
# Needs root, /dev/net/tun, sshd and (for mosh) mosh; exits 77 without them.
# Everything started is stopped on exit, Ctrl-C included.
# REAL_LINK_AT=S starts the show at that music time. REAL_LINK_MIN_FPS=N makes
# it a check: exits 1 when a run shows fewer frames a second, leaves a byte
# for a shell at either end, or does not end when q is pressed.
set -u

# Absolute: the server's end runs them from its own home.
show=$(realpath "$1")
bench_dir=$(realpath "$2")
seconds=${3:-60}
transports=${4:-"ssh ssh-C mosh"}
links=${5:-"1 2 3 4 5"}
at=${REAL_LINK_AT:-0}
view_opts=(--at "$at")
[ -n "${REAL_LINK_MIN_FPS:-}" ] && view_opts+=(--min-fps "$REAL_LINK_MIN_FPS")
bench=$bench_dir/real_link_bench
forwarder=$bench_dir/tun_link

skip() { echo "real_link: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (network namespaces)"
[ -c /dev/net/tun ] || skip "no /dev/net/tun"
command -v ip >/dev/null || skip "no ip (iproute2)"
[ -x /usr/sbin/sshd ] && command -v ssh >/dev/null ||
    skip "no sshd or ssh (scripts/install-deps link)"
case " $transports " in *" mosh "*)
    command -v mosh >/dev/null || skip "no mosh (scripts/install-deps link)" ;;
esac

ns_a=reallink-a
ns_b=reallink-b
addr_a=10.77.0.1
addr_b=10.77.0.2
port=2277
tmp=$(mktemp -d /tmp/reallink.XXXXXX)
forwarder_pid=""
sshd_pid=""
created=0 # the namespaces are ours: another run's are left alone

# Stops what one link started: the server's processes (sshd, mosh-server,
# the show: whatever runs in our namespace b), the forwarder, the namespaces.
stop_link() {
    local pid
    [ "$created" = 1 ] || return 0
    created=0
    for ns in $ns_a $ns_b; do
        for pid in $(ip netns pids $ns 2>/dev/null); do kill "$pid" 2>/dev/null; done
    done
    if [ -n "$forwarder_pid" ] && kill "$forwarder_pid" 2>/dev/null; then
        wait "$forwarder_pid" 2>/dev/null
        grep -v ready "$tmp/forwarder.out" | sed 's/^/    tun_link, /'
    fi
    forwarder_pid=""
    sshd_pid=""
    sleep 0.2
    for ns in $ns_a $ns_b; do
        for pid in $(ip netns pids $ns 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
        ip netns del $ns 2>/dev/null
    done
}
cleanup() {
    stop_link
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Keys and the server's configuration, all in the temp dir.
ssh-keygen -q -t ed25519 -N '' -f "$tmp/host_key" || exit 1
ssh-keygen -q -t ed25519 -N '' -f "$tmp/client_key" || exit 1
cp "$tmp/client_key.pub" "$tmp/authorized_keys"
cat >"$tmp/sshd_config" <<EOF
HostKey $tmp/host_key
AuthorizedKeysFile $tmp/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PidFile $tmp/sshd.pid
AcceptEnv LANG LC_*
PrintMotd no
PrintLastLog no
EOF
mkdir -p /run/sshd
ssh_opts=(-i "$tmp/client_key" -p $port -o StrictHostKeyChecking=no
    -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR -o BatchMode=yes)

# Starts link RTT_MS KBIT LOSS%: namespaces, the forwarder, sshd.
start_link() {
    ip netns add $ns_a || skip "cannot create network namespace $ns_a (in use?)"
    ip netns add $ns_b || { ip netns del $ns_a; skip "cannot create network namespace $ns_b"; }
    created=1
    ip -n $ns_a link set lo up && ip -n $ns_b link set lo up
    "$forwarder" rla0 rlb0 "$1" "$2" "$3" >"$tmp/forwarder.out" 2>&1 &
    forwarder_pid=$!
    for _ in $(seq 50); do grep -q ready "$tmp/forwarder.out" && break; sleep 0.1; done
    grep -q ready "$tmp/forwarder.out" || skip "$(cat "$tmp/forwarder.out")"
    ip link set rla0 netns $ns_a && ip link set rlb0 netns $ns_b || return 1
    ip -n $ns_a addr add $addr_a peer $addr_b dev rla0
    ip -n $ns_b addr add $addr_b peer $addr_a dev rlb0
    ip -n $ns_a link set rla0 mtu 1500 up && ip -n $ns_b link set rlb0 mtu 1500 up
    ip netns exec $ns_b /usr/sbin/sshd -D -f "$tmp/sshd_config" -p $port -o ListenAddress=$addr_b \
        >"$tmp/sshd.log" 2>&1 &
    sshd_pid=$!
    for _ in $(seq 50); do
        ip netns exec $ns_a ssh "${ssh_opts[@]}" root@$addr_b true 2>/dev/null && return 0
        sleep 0.2
    done
    echo "real_link: sshd does not answer:"; cat "$tmp/sshd.log"
    return 1
}

# One run: the show watched from a through one transport.
watch_show() {
    local transport=$1 label=$2 stamp=$tmp/stamp
    local remote="$bench --stamp $stamp $show --silent --at $at"
    case $transport in
    ssh) ip netns exec $ns_a "$bench" --view "$seconds" "$stamp" "$label" --dev rla0 "${view_opts[@]}" -- \
        ssh -tt "${ssh_opts[@]}" root@$addr_b "$remote" ;;
    ssh-C) ip netns exec $ns_a "$bench" --view "$seconds" "$stamp" "$label" --dev rla0 "${view_opts[@]}" -- \
        ssh -tt -C "${ssh_opts[@]}" root@$addr_b "$remote" ;;
    mosh) ip netns exec $ns_a "$bench" --view "$seconds" "$stamp" "$label" --dev rla0 "${view_opts[@]}" --mosh -- \
        mosh --ssh="ssh ${ssh_opts[*]}" --server="env LANG=C.UTF-8 mosh-server" \
        root@$addr_b -- $remote ;;
    esac
}

link_spec() {
    case $1 in
    1) echo "20 10000 0 20 ms, 10 Mbit" ;;
    2) echo "100 2000 0 100 ms, 2 Mbit" ;;
    3) echo "200 256 0 200 ms, 256 kbit" ;;
    4) echo "300 1000 1 300 ms, 1 Mbit, 1 %" ;;
    5) echo "0 245.76 0 30 KB/s" ;;
    *:*:*) IFS=: read -r r k l <<<"$1"; echo "$r $k $l $r ms, $k kbit, $l %" ;;
    esac
}

echo "The show over real links, $seconds s per run, $(date -u '+%F %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "(lag: music time minus the time of the frame on screen, sampled every 5 ms; p90 of its size;"
echo " KB/s: what the viewer's terminal received; link: IP bytes that reached the viewer's side)"
failed=0
for n in $links; do
    read -r rtt kbit loss name <<<"$(link_spec "$n")"
    start_link "$rtt" "$kbit" "$loss" || { stop_link; exit 1; }
    for t in $transports; do
        watch_show "$t" "$name, $t" || failed=1
        echo "    (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    done
    stop_link
done
exit $failed
