#!/usr/bin/env bash
# Five years of a fleet under libfaketime: the shipped depot configuration, a CA made
# with quellan-fleet-ca and three buses (on-board broker, relay configured by the
# generator), C10000003 revoked at the start. The depot and the relays restart at
# now, +31 days, +400 days and +5 years, the timer's own command (from the shipped
# unit) run before each: both good buses are linked every time, the revoked one
# never. Without the timer's work the list expires and every bus is refused.
# Usage: lifetime.sh RELAY SOURCE_DIR
set -euo pipefail
relay=$1 src=$2
. "$src/tests/fleet/lib.sh"
lib=$(ls /usr/lib/*/faketime/libfaketimeMT.so.1 2>/dev/null | head -n 1) || true
[ -n "$lib" ] || { echo "SKIP: libfaketime is not installed"; exit 77; }
needs openssl "$mosquitto" mosquitto_sub mosquitto_passwd
now=()  # the depot and the relays of the current step
trap 'pids+=("${now[@]}"); cleanup' EXIT
days=0
# Only the wall clock is moved, which certificates and lists are checked against: with
# the monotonic clock faked too, a condition variable's timed wait (the relay's back-off)
# never ends, and a relay whose first attempt failed would never try again.
fake=(env FAKETIME_DONT_FAKE_MONOTONIC=1 LD_PRELOAD="$lib")
ahead() { "${fake[@]}" FAKETIME="+${days}d" "$@"; }  # a command $days days ahead; exec'd
ca() { ahead "$src/deploy/quellan-fleet-ca" --dir ca --install etc --out . --restart true "$@"; }
# The timer's work: the shipped unit's own command, on this CA, without the restart.
timer=$(sed -n 's|^ExecStart=@QUELLAN_FLEET_CA@|ca|p' "$src/deploy/systemd/quellan-fleet-ca.service.in" |
    sed -e 's|/var/lib/quellan-fleet-ca|ca|; s|/etc/mosquitto/fleet|etc|; s|"systemctl [^"]*"|true|')
[[ "$timer" == *maintain* ]] || fail "no timer command in the unit"
serials=(K10000001 K10000002 C10000003)
{ ca init && ca depot 127.0.0.1 && ca add-tool fleet-monitor && ca add-bus "${serials[@]}" &&
    ca revoke C10000003; } >ca.log 2>&1 || fail "the CA tool failed"
cp -a ca ca.start && cp -a etc etc.start

# The shipped depot configuration without persistence: each step's link states are its own.
depot=$(freeport) me=$(id -un)
depotconf "$depot" >depot.conf
: >passwd
mosquitto_passwd -b passwd bridge pw-bridge && (umask 077 && echo pw-bridge >bridge.pw)
for i in 0 1 2; do
    sn=${serials[$i]} v=v$i port=$(freeport)
    mkdir "$v" && echo "$sn" >"$v/serialnumber" && printf '[gui]\ndeviceId=%s\n' "$dir/$v/serialnumber" >"$v/gui.conf"
    "$src/deploy/quellan-fleet-bridge" --config "$v/gui.conf" --depot "127.0.0.1:$depot" --cafile "$dir/etc/ca.crt" \
        --certfile "$dir/$sn.crt" --keyfile "$dir/$sn.key" --local "127.0.0.1:$port" --local-username bridge \
        --local-password-file bridge.pw -o "$v/relay.conf" 2>/dev/null || fail "no relay configuration for $sn"
    sed -e "s|^listener 1883 127.0.0.1|user $me\nlistener $port 127.0.0.1|" -e "s|^password_file .*|password_file $dir/passwd|" \
        -e "s|^acl_file .*|acl_file $src/deploy/mosquitto/onboard.acl|" "$src/deploy/mosquitto/onboard.conf" >"$v/mosquitto.conf"
    "$mosquitto" -c "$v/mosquitto.conf" >"$v/broker.log" 2>&1 & pids+=("$!")
done

# step DAYS: the depot and the relays restarted DAYS ahead, each relay with a new log.
step() {
    for pid in "${now[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    now=() days=$1
    "${fake[@]}" FAKETIME="+${days}d" "$mosquitto" -c depot.conf >"depot-$days.log" 2>&1 & now+=("$!")
    eventually 10 listening "$depot" || fail "+$days days: the depot did not start"
    for i in 0 1 2; do
        "${fake[@]}" FAKETIME="+${days}d" "$relay" "v$i/relay.conf" >"v$i/relay-$days.log" 2>&1 & now+=("$!")
    done
}
# Each bus's link state as the depot holds it, retained: "K10000001 1 ...", read for
# SECONDS (default 2; the waits that ask again read for 1).
states() {
    ahead mosquitto_sub -h 127.0.0.1 -p "$depot" --cafile etc/ca.crt --cert fleet-monitor.crt --key fleet-monitor.key \
        -t 'fleet/+/bridge/state' -v -W "${1:-2}" 2>/dev/null | sed 's|^fleet/\([^/]*\)/bridge/state|\1|' | sort | tr '\n' ' ' || true
}
linked() { [ "$(states 1)" = "K10000001 1 K10000002 1 " ]; }

for d in 0 31 400 1826; do
    days=$d
    out=$(eval "$timer" 2>&1) && rc=0 || rc=$?
    # Tools are renewed by hand: at +5 years the check names the monitor's (2 years).
    if [ "$d" = 1826 ]; then
        [ "$rc" = 1 ] && [ "$(grep -c EXPIRE <<<"$out")" = 1 ] && [[ "$out" == *"fleet-monitor's certificate"* ]] ||
            fail "+5 years: the check did not name only the monitor's certificate: $out"
        ca renew fleet-monitor >>ca.log 2>&1 && ca check >/dev/null || fail "+5 years: renewal left something expiring"
    else
        [ "$rc" = 0 ] || fail "+$d days: the timer's work left something expiring: $out"
    fi
    step "$d"
    eventually 30 linked || fail "+$d days: the good buses are not linked: $(states)"
    eventually 15 grep -q revoked v2/relay-$d.log || fail "+$d days: the revoked C10000003 was not refused"
    [[ "$(states)" != *C10000003* ]] || fail "+$d days: the revoked C10000003 is linked"
done

# The same fleet without the timer: at +100 days the list has expired and the depot
# refuses every bus (the alarm would have named the list 30 days before).
rm -rf ca etc && cp -a ca.start ca && cp -a etc.start etc
days=70
[[ "$(ca check)" == *"EXPIRES: the revocation list"* ]] || fail "+70 days: the check did not name the list"
step 100
for i in 0 1 2; do
    eventually 20 grep -q 'expired' "v$i/relay-100.log" || fail "+100 days: ${serials[$i]} was not refused"
done
[ -z "$(states)" ] || fail "+100 days: a bus is linked with an expired list"
echo "PASS: the fleet lived five years; without the timer it was refused at +100 days (${SECONDS}s)"
