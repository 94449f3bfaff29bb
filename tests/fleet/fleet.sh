#!/usr/bin/env bash
# A TLS depot broker and three validators (on-board broker bridged by the shipped
# generator, device simulator, Quellan): the depot sees each status, reconfigures
# exactly one, a validator cannot reach another's prefix, a depot restart is survived.
# Usage: fleet.sh QUELLAN DEVSIM SOURCE_DIR
set -euo pipefail
quellan=$1 devsim=$2 src=$3
mosquitto=${QUELLAN_MOSQUITTO:-$(command -v mosquitto || echo /usr/sbin/mosquitto)}
for tool in openssl "$mosquitto" mosquitto_pub mosquitto_sub; do
    command -v "$tool" >/dev/null || { echo "SKIP: '$tool' is not installed"; exit 77; }
done

dir=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    tail -n 20 "$dir"/*.log "$dir"/v*/*.log >&2 || true
    exit 1
}
eventually() {  # eventually SECONDS COMMAND...: true once COMMAND succeeds
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.5; done
}
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
freeport() {
    local port
    while port=$((20000 + RANDOM % 40000)); listening "$port"; do :; done
    echo "$port"
}
started() { pids+=("$!"); }

# A throw-away CA; the depot's certificate for 127.0.0.1; one per client, CN = user.
cd "$dir"
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -days 1 -subj /CN=fleet-ca -keyout ca.key -out ca.crt 2>/dev/null
cert() {
    openssl req "${ec[@]}" -subj "/CN=$1" -keyout "$1.key" -out "$1.csr" 2>/dev/null
    openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 -out "$1.crt" \
        -extfile <(echo "subjectAltName=IP:127.0.0.1") 2>/dev/null
}
serials=(K10000001 K10000002 C10000003)
for name in depot-broker depot "${serials[@]}"; do cert "$name"; done

depot=$(freeport)
# Brokers started as root would drop to the user "mosquitto", who cannot read here.
me=$(id -un)
cat >depot.conf <<EOF
user $me
listener $depot 127.0.0.1
cafile $dir/ca.crt
certfile $dir/depot-broker.crt
keyfile $dir/depot-broker.key
require_certificate true
use_identity_as_username true
acl_file $src/deploy/mosquitto/depot.acl
EOF
startdepot() { "$mosquitto" -c depot.conf >>depot.log 2>&1 & started; eventually 10 listening "$depot"; }
startdepot || fail "the depot broker did not start"
as() { local who=$1 tool=$2; shift 2; "$tool" -h 127.0.0.1 -p "$depot" --cafile ca.crt \
    --cert "$who.crt" --key "$who.key" -q 1 "$@"; }
# What the depot sees, as the depot's own client, from now on.
as depot mosquitto_sub -v -t 'fleet/#' >seen.log 2>&1 & started

gen=$src/deploy/quellan-fleet-bridge

for i in 0 1 2; do
    sn=${serials[$i]} v=$dir/v$i port=$(freeport)
    mkdir -p "$v/conf.d"
    printf '\n  %s \n' "$sn" >"$v/serialnumber"
    printf '[gui]\ndeviceId=%s\n' "$v/serialnumber" >"$v/gui.conf"
    "$gen" --config "$v/gui.conf" --depot "127.0.0.1:$depot" --cafile "$dir/ca.crt" \
        --certfile "$dir/$sn.crt" --keyfile "$dir/$sn.key" -o "$v/conf.d/fleet.conf" 2>/dev/null
    printf 'user %s\nlistener %s 127.0.0.1\nallow_anonymous true\ninclude_dir %s/conf.d\n' \
        "$me" "$port" "$v" >"$v/mosquitto.conf"
    "$mosquitto" -c "$v/mosquitto.conf" >"$v/broker.log" 2>&1 & started
    ln "$quellan" "$v/quellan" 2>/dev/null || cp "$quellan" "$v/quellan"
    (cd "$v" && exec ./quellan -e -H 127.0.0.1 -P "$port" -f gui.conf >quellan.log 2>&1) & started
    "$devsim" -H 127.0.0.1 -P "$port" --no-input >"$v/devsim.log" 2>&1 & started
done

# The latest retained value the depot holds for a topic.
retained() { as depot mosquitto_sub -t "$1" -C 1 -W 5 2>/dev/null; }
statuses() {
    local sn
    for sn in "${serials[@]}"; do
        retained "fleet/$sn/zorv/ui/status" | grep -q '"service": true' || return 1
        [ -n "$(retained "fleet/$sn/zorv/blm/status")" ] || return 1
    done
}
eventually 90 statuses || fail "the depot does not hold every validator's status"

# One validator reconfigured from the depot; only it changes, in its file and on /config.
as depot mosquitto_pub -t fleet/K10000002/zorv/ui/config/set -m '{"gui": {"locale": "en_GB"}}'
changed() { awk '/^fleet\//{t=$1} /"locale": "en_GB"/ && t ~ /config$/ {print t}' seen.log | sort -u; }
published() { [ -n "$(changed)" ]; }
eventually 30 grep -q '^locale=en_GB' v1/gui.conf || fail "K10000002 did not store the locale"
eventually 10 published || fail "K10000002 did not publish its new configuration"
[ "$(changed)" = fleet/K10000002/zorv/ui/config ] || fail "other validators changed: $(changed)"
! grep -q 'locale=en_GB' v0/gui.conf v2/gui.conf || fail "another validator's file changed"

# A validator's certificate reaches its own prefix only: the forged request is
# dropped, the probe after it arrives.
as K10000001 mosquitto_pub -t fleet/K10000002/zorv/ui/config/set -m '{"gui": {"locale": "de_DE"}}'
as K10000001 mosquitto_pub -t fleet/K10000001/probe -m probe
eventually 10 grep -q '^fleet/K10000001/probe' seen.log || fail "the probe did not arrive"
! grep -q de_DE seen.log || fail "K10000001 wrote under K10000002"
! grep -q de_DE v1/gui.conf || fail "K10000001 reconfigured K10000002"

# The depot restarts without any stored state; the bridges bring the statuses back.
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
startdepot || fail "the depot broker did not restart"
eventually 90 statuses || fail "the statuses did not come back after the depot restarted"
echo "PASS: fleet of ${#serials[@]} validators bridged to the depot in ${SECONDS}s"
