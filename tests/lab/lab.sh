#!/usr/bin/env bash
# Runs commands against simulated devices with the real defaults (port 2362, discovery to
# 255.255.255.255) inside network namespaces made for this run and removed whatever happens.
#
#   pc namespace       198.18.0.1/16  --veth--  devices namespace   198.18.0.2 and up
#   (second link)      198.19.0.1/16  --veth--  devices2 namespace  198.19.0.2 and up
#
# Each namespace has lo up and a default route through its veth, so the limited broadcast has a
# route and every datagram stays inside the namespaces.
#
# usage: lab.sh [--devices N] [--dev 'CMD'] [--devices2 N] [--dev2 'CMD'] [--timeout S]
#               -- PC-COMMAND [ARGS...]
#   --dev/--dev2 CMD   run with bash -c in the devices namespace(s) in the background; the
#                      pc command starts once UDP port 2362 is bound there
#   --devices2/--dev2  make the second link
#   PC-COMMAND         runs in the pc namespace; its exit status is the script's
# Every command sees LAB_DEV_FIRST, LAB_DEV2_FIRST, LAB_DEV_COUNT, LAB_DEV2_COUNT.
# Exit 77 (skipped) when not root or when network namespaces are refused.
set -u

devices=1 devices2=1 dev_cmd="" dev2_cmd="" second=0 limit=60
while [ $# -gt 1 ] && [ "$1" != -- ]; do
    case "$1" in
        --devices) devices=$2 ;;
        --devices2) devices2=$2 second=1 ;;
        --dev) dev_cmd=$2 ;;
        --dev2) dev2_cmd=$2 second=1 ;;
        --timeout) limit=$2 ;;
        *) echo "lab: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] && [ "${1#-}" = "$1" ] || { echo "lab: no pc command" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "lab: skipped: network namespaces need root"; exit 77; }

id=$(printf '%04x%02x' $(( $$ & 0xffff )) $(( RANDOM & 0xff )))
prefix="brevion-lab-$id"
ns_pc="$prefix-pc" ns_dev="$prefix-dev" ns_dev2="$prefix-dev2"
made=()

cleanup() {
    local ns pid signal
    trap - EXIT INT TERM
    # Only this run's processes live in its namespaces: asked to end, then made to.
    for signal in TERM KILL; do
        for ns in "${made[@]}"; do
            for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -s "$signal" "$pid" 2>/dev/null; done
        done
    done
    for ns in "${made[@]}"; do ip netns del "$ns" 2>/dev/null; done
}
trap 'cleanup; exit "${rc:-1}"' EXIT
trap 'rc=130; exit' INT
trap 'rc=143; exit' TERM

ip netns add "$ns_pc" 2>/dev/null || { echo "lab: skipped: ip netns add refused"; rc=77; exit; }
made+=("$ns_pc")

link() { # devices-namespace veth-suffix base count: addresses base.0.2, base.0.3, ... in a /16
    local ns=$1 a="bv$id$2p" b="bv$id$2d" n
    ip netns add "$ns" && made+=("$ns") &&
    ip link add "$a" type veth peer name "$b" &&
    ip link set "$a" netns "$ns_pc" && ip link set "$b" netns "$ns" &&
    ip -n "$ns_pc" address add "$3.0.1/16" dev "$a" &&
    for (( n = 2; n < $4 + 2; ++n )); do echo "address add $3.$(( n / 256 )).$(( n % 256 ))/16 dev $b"; done |
        ip -n "$ns" -batch - &&
    ip -n "$ns" link set lo up && ip -n "$ns" link set "$b" up &&
    ip -n "$ns_pc" link set "$a" up &&
    ip -n "$ns" route add default dev "$b"
}

ip -n "$ns_pc" link set lo up || { rc=1; exit; }
link "$ns_dev" 0 198.18 "$devices" || { echo "lab: cannot build the devices link" >&2; rc=1; exit; }
ip -n "$ns_pc" route add default dev "bv${id}0p" || { rc=1; exit; }
if [ "$second" = 1 ]; then
    link "$ns_dev2" 1 198.19 "$devices2" || { echo "lab: cannot build the second link" >&2; rc=1; exit; }
fi

export LAB_DEV_FIRST=198.18.0.2 LAB_DEV2_FIRST=198.19.0.2 LAB_DEV_COUNT=$devices LAB_DEV2_COUNT=$devices2

start_devices() { # namespace command: the command, then up to 10 s for port 2362 to be bound
    local i
    [ -n "$2" ] || return 0
    ip netns exec "$1" timeout "$limit" bash -c "$2" &
    for (( i = 0; i < 100; ++i )); do
        [ -n "$(ip netns exec "$1" ss -Hlun "sport = :2362" 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    echo "lab: nothing bound port 2362 in $1" >&2
    return 1
}
start_devices "$ns_dev" "$dev_cmd" && start_devices "$ns_dev2" "$dev2_cmd" || { rc=1; exit; }

# In the background, so that a signal reaches the traps at once rather than after the command.
ip netns exec "$ns_pc" timeout "$limit" "$@" &
wait $!
rc=$?

cleanup
if ip netns list | grep -q "$prefix"; then
    echo "lab: namespaces left behind: $prefix" >&2
    [ "$rc" = 0 ] && rc=1
fi
exit "$rc"
