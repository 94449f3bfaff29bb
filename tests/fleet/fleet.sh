#!/usr/bin/env bash
# A TLS depot broker and three validators (on-board broker under onboard.acl, the
# link quellan-fleet-relay configured by the shipped generator, device simulator,
# Quellan): the depot sees each status and commissions one validator's PIN; a stolen
# certificate stays in its own prefix and takes over no session; 8 MB and TLS 1.2
# with CBC are refused; a rogue depot gets nothing but the UI's requests into a
# vehicle; a revoked validator stays out after a depot restart, the others come back.
# Usage: fleet.sh QUELLAN DEVSIM RELAY SOURCE_DIR
set -euo pipefail
quellan=$1 devsim=$2 relay=$3 src=$4
. "$src/tests/fleet/lib.sh"
needs openssl "$mosquitto" mosquitto_pub mosquitto_sub mosquitto_rr mosquitto_passwd

# A throw-away CA made with the fleet's own tool: the depot's certificate for
# 127.0.0.1, one per client (CN = user), an empty revocation list.
serials=(K10000001 K10000002 C10000003)
{ ca init && ca depot 127.0.0.1 && ca add-tool fleet-monitor fleet-config fleet-audit &&
    ca add-bus K10000009 "${serials[@]}"; } >ca.log 2>&1 || fail "the CA tool failed"

# The shipped depot configuration on a free port.
depot=$(freeport) me=$(id -un)
depotconf "$depot" "$dir/depot.acl" >depot.conf
# The shipped ACL, and a reader of everything the depot carries for this test.
printf '%s\nuser fleet-audit\ntopic read fleet/#\n' "$(<"$src/deploy/mosquitto/depot.acl")" >depot.acl
startdepot() { "$mosquitto" -c depot.conf >>depot.log 2>&1 & started; eventually 10 listening "$depot"; }
startdepot || fail "the depot broker did not start"
tls=(-h 127.0.0.1 -p "$depot" --cafile etc/ca.crt -q 1)
as() { local who=$1 tool=$2; shift 2; "$tool" "${tls[@]}" --cert "$who.crt" --key "$who.key" "$@"; }
# What the monitoring identity sees from now on (started directly: its pid is killed).
mosquitto_sub "${tls[@]}" --cert fleet-monitor.crt --key fleet-monitor.key -v -t 'fleet/#' >seen.log 2>&1 &
started

# The on-board brokers with the shipped configuration and ACL; one password file.
: >passwd
for user in quellan devices bridge; do
    mosquitto_passwd -b passwd "$user" "pw-$user"
    (umask 077 && echo "pw-$user" >"$user.pw")
done
gen=$src/deploy/quellan-fleet-bridge
cp K10000009.key open.key && chmod 644 open.key
! out=$("$gen" --depot x --cafile etc/ca.crt --certfile K10000009.crt --keyfile open.key \
    --serial-file <(echo K10000009) 2>&1) && [[ "$out" == *'readable by its group or others'* ]] ||
    fail "the generator took a key others can read"
# link DEPOT_PORT FILE LOCAL_USER: validator $sn's relay configuration in $v/FILE.
link() {
    (umask 0 && "$gen" --config "$v/gui.conf" --depot "127.0.0.1:$1" --cafile "$dir/etc/ca.crt" \
        --certfile "$dir/$sn.crt" --keyfile "$dir/$sn.key" --local "127.0.0.1:$port" \
        --local-username "$3" --local-password-file "$dir/$3.pw" -o "$v/$2" 2>/dev/null)
}
for i in 0 1 2; do
    sn=${serials[$i]} v=$dir/v$i port=$(freeport)
    mkdir -p "$v" && ports[$i]=$port
    printf '\n  %s \n' "$sn" >"$v/serialnumber"
    printf '[gui]\ndeviceId=%s\n' "$v/serialnumber" >"$v/gui.conf"
    # A leftover of an older generator, world-readable, and a careless umask.
    touch "$v/relay.conf.tmp" && chmod 644 "$v/relay.conf.tmp"
    link "$depot" relay.conf bridge
    [ "$(stat -c %a "$v/relay.conf")" = 600 ] || fail "the link's configuration is not 0600"
    sed -e "s|^listener 1883 127.0.0.1|user $me\nlistener $port 127.0.0.1|" \
        -e "s|^password_file .*|password_file $dir/passwd|" \
        -e "s|^acl_file .*|acl_file $src/deploy/mosquitto/onboard.acl|" \
        "$src/deploy/mosquitto/onboard.conf" >"$v/mosquitto.conf"
    "$mosquitto" -c "$v/mosquitto.conf" >"$v/broker.log" 2>&1 & started
    ln "$quellan" "$v/quellan" 2>/dev/null || cp "$quellan" "$v/quellan"
    # The first validator's settings PIN was guessed at too often in an earlier boot.
    [ "$i" = 0 ] && echo '{"boot": "earlier", "failures": 7, "until": 1, "wait": 900000}' >"$v/login-throttle.json"
    (cd "$v" && exec ./quellan -e -H 127.0.0.1 -P "$port" -u quellan -p pw-quellan -f gui.conf \
        >quellan.log 2>&1) & started
    "$devsim" -H 127.0.0.1 -P "$port" -u devices -p pw-devices --no-input >"$v/devsim.log" 2>&1 & started
    "$relay" "$v/relay.conf" >"$v/relay.log" 2>&1 & started
done

# The latest retained value the depot holds for a topic.
retained() { as fleet-config mosquitto_sub -t "$1" -C 1 -W "${2:-5}" 2>/dev/null; }
statuses() {
    local sn
    for sn in "$@"; do
        retained "fleet/$sn/zorv/ui/status" | grep -q '"service": true' || return 1
        [ -n "$(retained "fleet/$sn/zorv/blm/status")" ] || return 1
    done
}
eventually 60 statuses "${serials[@]}" || fail "the depot does not hold every validator's status"
retained "fleet/${serials[0]}/zorv/ui/status" | grep -q '"settingsLocked": true' || fail "the depot does not see the settings locked on ${serials[0]}"
# Everything the depot carries from now on, as the identity that may read it all;
# and everything on K10000001's own broker.
mosquitto_sub "${tls[@]}" --cert fleet-audit.crt --key fleet-audit.key -v -t 'fleet/#' >all.log 2>&1 &
started
mosquitto_sub -h 127.0.0.1 -p "${ports[0]}" -u quellan -P pw-quellan -v -t 'zorv/#' >v0/local.log 2>&1 & started

# The depot may set only the allowed keys: a request with any other key, spelled
# plainly or with escapes, mixed with an allowed one or not, changes nothing.
for set in '"mqtt": {"host": "evil"}' '"mqtt": {"port": 1}' '"mqtt": {"base": "x"}' \
    '"mqtt": {"username": "x", "password": "x"}' '"gui": {"deviceId": "/etc/passwd"}' \
    '"topics": {"blm": "x"}' '"gui": {"displayOffMin": 9}, "mqtt": {"host": "evil"}' \
    '"mqtt": {"h\u006fst": "evil"}' '"gui": 1' '"gui": {"displayOffMin": 7}'; do
    as fleet-config mosquitto_pub -t fleet/C10000003/zorv/ui/config/set -m "{$set}"
done
eventually 10 grep -q '^displayOffMin=7$' v2/gui.conf || fail "an allowed key did not apply"
! grep -Ex '(host=evil|port=1|(base|username|password|blm)=x|deviceId=/etc/passwd|displayOffMin=9)' v2/gui.conf ||
    fail "a refused key changed the configuration"
[ "$(grep -c 'keys the depot may not set' v2/relay.log)" = 9 ] || fail "not every refusal logged once"
grep -q 'may not set: mqtt/host$' v2/relay.log && ! grep -q evil v2/relay.log || fail "refusals not logged by key name"

# A vehicle only reports: a copy of K10000001's certificate cannot command it (a
# request or a will on its request topic), and cannot store a retained message
# anywhere but the vehicle's statuses.
as K10000009 mosquitto_pub -r -t fleet/K10000009/zorv/junk -m junk
as K10000001 mosquitto_pub -t fleet/K10000001/zorv/ui/config/set -m '{"gui": {"locale": "de_DE"}}'
# Killed, so the broker sends its will (it and the relay take the session in turn).
timeout -s KILL 3 mosquitto_sub "${tls[@]}" --cert K10000001.crt --key K10000001.key \
    -t fleet/K10000001/zorv/ui/config/get --will-qos 1 --will-topic fleet/K10000001/zorv/ui/config/set \
    --will-payload '{"gui": {"locale": "de_DE"}}' >/dev/null 2>&1 || true
probe() { as fleet-config mosquitto_pub -t fleet/K10000001/zorv/ui/status/get -m '{"probe": 1}' &&
    sleep 1 && grep -q '^zorv/ui/status/get {"probe": 1}' v0/local.log; }
eventually 60 probe || fail "K10000001's link did not come back: $(tail -n 3 v0/relay.log)"
! grep -q de_DE v0/local.log v0/gui.conf || fail "a copy of a vehicle's certificate commanded it"
[ -z "$(retained fleet/K10000009/zorv/junk 1)" ] || fail "a vehicle stored a retained message off its statuses"

# A stolen certificate writes under its own prefix only, and whatever client id it
# claims it ends no other session; its 8 MB are refused and the depot goes on.
for id in K10000002 fleet-monitor; do
    as K10000009 mosquitto_pub -i "$id" -t fleet/K10000002/zorv/ui/config/set \
        -m '{"gui": {"locale": "de_DE"}}'
done
head -c 8M /dev/zero >big
! as K10000009 mosquitto_pub -t fleet/K10000009/zorv/ui/info -r -f big 2>/dev/null || fail "8 MB taken"
as K10000009 mosquitto_pub -t fleet/K10000009/zorv/ui/status -m probe
eventually 10 grep -q '^fleet/K10000009/zorv/ui/status probe' seen.log || fail "the probe did not arrive"
grep -q 'disconnected due to oversize packet' depot.log || fail "8 MB not refused"
! grep -Eq 'Client (K10000002|fleet-monitor) already connected' depot.log || fail "a session was taken over"
! openssl s_client -connect "127.0.0.1:$depot" -tls1_2 -cipher ECDHE-ECDSA-AES128-SHA \
    -cert K10000009.crt -key K10000009.key </dev/null >/dev/null 2>&1 || fail "the depot took TLS 1.2 with a CBC suite"

# Commissioning gives K10000002 its own PIN, kept in a private list; only it changes,
# and the monitor never sees a PIN.
"$src/deploy/quellan-fleet-commission" --depot "127.0.0.1:$depot" --cafile etc/ca.crt \
    --certfile fleet-config.crt --keyfile fleet-config.key --list pins K10000002 >/dev/null || fail "K10000002 did not confirm a PIN"
[ "$(stat -c %a pins)" = 600 ] || fail "the PIN list is readable by others"
pin=$(awk '{ print $2 }' pins)
grep -q "^settingsPin=$pin$" v1/gui.conf || fail "K10000002 did not store its PIN"
! grep -q -e "settingsPin=$pin" -e de_DE v0/gui.conf v2/gui.conf || fail "another validator changed"
! grep -q de_DE v1/gui.conf || fail "the stolen certificate reconfigured K10000002"
! grep -q settingsPin seen.log || fail "the monitor read a configuration"
# No vehicle sends the depot a PIN, neither the new one nor the shipped default (the
# request that set it is the only message there that holds it).
grep -q '"settingsPin": "\*\*\*\*\*\*\*\*:' all.log || fail "the depot saw no masked configuration"
! grep -v ' {"gui": {"settingsPin": "[0-9]*"}}$' all.log | grep -q -e "$pin" -e 8602 ||
    fail "a PIN reached the depot: $(grep -e "$pin" -e 8602 all.log | head -c 300)"

# Rogue depots with the depot's certificate push power, validator and update
# requests, retained, oversized and misaddressed requests to relays of K10000001
# logged in as Quellan (so the relay, not the ACL, must stop them): only the plain
# request arrives. A rogue offering TLS 1.2 with a CBC suite is refused.
push() {  # push FLAGS TOPIC [PAYLOAD]: one PUBLISH at QoS 0 (FLAGS 30, or 31: retained)
    local t=$2 p=${3:-'{"rogue": true}'} n b
    n=$((2 + ${#t} + ${#p}))
    printf "\\x$1"
    while b=$((n % 128)) n=$((n / 128)); [ $n -gt 0 ]; do printf "\\x$(printf %02x $((b | 128)))"; done
    printf "\\x$(printf %02x $b)\\x00\\x$(printf %02x ${#t})%s%s" "$t" "$p"
}
big=$(printf '{"rogue": "%070000d"}' 0)
sends() {  # what the rogue depot sends after its CONNACK
    for topic in zorv/board/power/set fleet/K10000001/zorv/{board/power/set,blm/config/set} \
        fleet/K10000001/zorv/{update/request,ui/config/set/x} fleet/K10000002/zorv/ui/config/set; do
        push 30 "$topic"; push 31 "$topic"
    done
    push 31 fleet/K10000001/zorv/ui/config/set; push 30 fleet/K10000001/zorv/ui/config/set "$big"
    push 30 fleet/K10000001/zorv/ui/config/set '{"mqtt": {"host": "rogue"}}'
    push 30 fleet/K10000001/zorv/ui/status/get
}
flood() {  # 30 requests with 65 kB topics
    local t; t=$(printf 'fleet/K10000001/%065000d' 0)
    for _ in $(seq 30); do push 30 "$t"; done
}
huge() {  # a PUBLISH that announces 48 MB, and sends them
    printf '\x30\x82\x80\x80\x17\x00\x01x'; head -c 50331648 /dev/zero
}
rogue() {  # rogue NAME WHAT CERT [s_server options]: a TLS server posing as the depot
    local at; at=$(freeport)
    { printf '\x20\x02\x00\x00'; $2; sleep 5; } |
        openssl s_server -quiet -naccept 1 -accept "$at" -cert "$3.crt" -key "$3.key" \
            "${@:4}" >/dev/null 2>&1 & started
    (v=$dir/v0 sn=K10000001 port=${ports[0]} && link "$at" "$1.conf" quellan)
    "$relay" "v0/$1.conf" >"v0/$1.log" 2>&1 & started
}
rogue rogue sends etc/depot
rogue cbc sends etc/depot -tls1_2 -cipher ECDHE-ECDSA-AES128-SHA
rogue vehicle sends K10000009
rogue flood flood etc/depot
rogue huge huge etc/depot
hugepid=$!
eventually 15 grep -q '^zorv/ui/status/get {"rogue": true}' v0/local.log ||
    fail "the rogue's status request did not arrive"
eventually 15 grep -q 'handshake failure' v0/cbc.log || fail "the relay took TLS 1.2 with a CBC suite"
eventually 15 grep -q 'unsuitable certificate purpose' v0/vehicle.log || fail "a vehicle's certificate passed for the depot"
[ "$(grep -c rogue v0/local.log)" = 1 ] || fail "the rogue reached the vehicle: $(grep rogue v0/local.log | cut -c1-60)"
eventually 15 grep -q 'in one packet; connection cut' v0/huge.log || fail "48 MB were not cut"
peak=$(awk '/VmHWM/ { print $2 }' "/proc/$hugepid/status")
[ "$peak" -lt 16384 ] || fail "48 MB from the depot took the relay to $peak kB"
eventually 15 grep -q 'dropped from the depot' v0/flood.log || fail "the flood was not dropped"
[ "$(stat -c %s v0/flood.log)" -lt 20000 ] || fail "30 long topics wrote $(stat -c %s v0/flood.log) bytes of log"

# K10000002 is revoked; the depot restarts without any stored state: the others come
# back, K10000002's link is refused.
"$src/deploy/quellan-fleet-revoke" --ca-cert ca/ca.crt --ca-key ca/private/ca.key --db ca \
    --crl etc/crl.pem K10000002.crt >/dev/null 2>&1 || fail "could not revoke K10000002"
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
startdepot || fail "the depot broker did not restart"
eventually 45 statuses K10000001 C10000003 || fail "the statuses did not come back after the depot restarted"
eventually 20 grep -q 'certificate verify failed' depot.log || fail "K10000002's link was not refused"
[ -z "$(retained fleet/K10000002/zorv/ui/status 1)" ] || fail "the revoked K10000002 is back"
echo "PASS: fleet of ${#serials[@]} validators linked to the depot in ${SECONDS}s"
