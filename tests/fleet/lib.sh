# Sourced by the fleet tests (after setting src): a private folder that is also the
# working folder, the processes started (ended on exit), the waits, a CA made with
# the fleet's own tool and the shipped depot configuration on a free loopback port.
mosquitto=${QUELLAN_MOSQUITTO:-$(command -v mosquitto || echo /usr/sbin/mosquitto)}
needs() {  # needs TOOL...: the test is skipped (77) unless each is installed
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: '$tool' is not installed"; exit 77; }
    done
}
dir=$(mktemp -d) pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    tail -n 20 "$dir"/*.log "$dir"/v*/*.log >&2 2>/dev/null || true
    exit 1
}
started() { pids+=("$!"); }
eventually() {  # eventually SECONDS COMMAND...: true once COMMAND succeeds
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.5; done
}
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
freeport() {
    local port
    # Below the kernel's range for outgoing connections (ip_local_port_range, from
    # 32768): a client of a parallel test may take a port there before a broker binds it.
    while port=$((20000 + RANDOM % 12000)); listening "$port"; do :; done
    echo "$port"
}
# The CA in ca/, what the depot broker reads (ca.crt, crl.pem, depot.*) in etc/.
ca() { "$src/deploy/quellan-fleet-ca" --dir ca --install etc --out . --restart true "$@"; }
# depotconf PORT [ACL]: the shipped depot configuration on PORT, reading etc/, run as
# this user (a broker started as root drops to "mosquitto", who cannot read here),
# without a store.
depotconf() {
    sed -e "s|^listener 8883|listener $1 127.0.0.1|" \
        -e "s|/etc/mosquitto/fleet/depot.acl|${2:-$src/deploy/mosquitto/depot.acl}|" \
        -e "s|/etc/mosquitto/fleet/|$dir/etc/|" -e "s|^persistence true|user $(id -un)|" \
        "$src/deploy/mosquitto/depot.conf"
}
cd "$dir"
