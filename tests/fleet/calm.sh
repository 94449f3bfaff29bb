#!/usr/bin/env bash
# A depot that is away costs a bus nothing. Two relays for 12 s: one whose depot is
# stopped (the connection refused), one whose depot refuses TLS (its certificate is
# from another CA). Each uses under 0.12 s of CPU in that time, 1 % of a core (the
# qemu suite's relay case watches one for a minute and a half on the board). Then the
# depot comes back at both addresses, and each link is up within its current wait + 5 s.
# Usage: calm.sh RELAY SOURCE_DIR
set -euo pipefail
relay=$1 src=$2
. "$src/tests/fleet/lib.sh"
needs openssl "$mosquitto"
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }  # clock ticks used so far
{ ca init && ca depot 127.0.0.1 && ca add-bus K10000005 K10000006; } >ca.log 2>&1 || fail "the CA tool failed"
# The refusing depot's certificate: right name and purpose, another CA.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=other \
    -addext subjectAltName=IP:127.0.0.1 -addext extendedKeyUsage=serverAuth \
    -keyout other.key -out other.crt 2>/dev/null

local=$(freeport) stopped=$(freeport) refusing=$(freeport)
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$local" >local.conf
"$mosquitto" -c local.conf >local.log 2>&1 & pids+=("$!")
openssl s_server -quiet -accept "$refusing" -cert other.crt -key other.key >/dev/null 2>&1 &
refuser=$! && pids+=("$refuser")
for sn in K10000005 K10000006; do
    port=$stopped && [ "$sn" = K10000005 ] || port=$refusing
    printf 'depot 127.0.0.1:%s\ncafile etc/ca.crt\ncertfile %s.crt\nkeyfile %s.key\nclientid %s\nprefix fleet/%s/\nlocal 127.0.0.1:%s\n' \
        "$port" "$sn" "$sn" "$sn" "$sn" "$local" >"$sn.conf"
    "$relay" "$sn.conf" >"$sn.log" 2>&1 & pids+=("$!") relays+=("$!")
done

sleep 2
before=($(cpu "${relays[0]}") $(cpu "${relays[1]}"))
sleep 12
ticks=$(getconf CLK_TCK)
for i in 0 1; do
    used=$(($(cpu "${relays[$i]}") - before[i]))
    echo "relay $i: $((used * 1000 / ticks)) ms of CPU in 12 s"
    [ $((used * 1000 / ticks)) -lt 120 ] || fail "relay $i used $((used * 1000 / ticks)) ms of CPU in 12 s"
done
grep -q 'not connected (the connection was refused or closed)' K10000005.log || fail "the stopped depot was not refused"
grep -q 'not connected (the depot.s certificate: self-signed certificate)' K10000006.log ||
    fail "the refusing depot was not refused"

# The depot back at both addresses: each link up within its last wait and 5 s.
kill "$refuser" && wait "$refuser" 2>/dev/null || true
for port in "$stopped" "$refusing"; do
    depotconf "$port" >"depot-$port.conf"
    "$mosquitto" -c "depot-$port.conf" >"depot-$port.log" 2>&1 & pids+=("$!")
done
back=$SECONDS
declare -A waits=() took=()
for sn in K10000005 K10000006; do
    waits[$sn]=$(sed -n 's/.*trying again in \([0-9]*\) s$/\1/p' "$sn.log" | tail -n 1)
done
while [ ${#took[@]} -lt 2 ] && [ $((SECONDS - back)) -le 70 ]; do
    for sn in K10000005 K10000006; do
        [ -n "${took[$sn]:-}" ] || ! grep -q "connected to the depot as $sn" "$sn.log" ||
            took[$sn]=$((SECONDS - back))
    done
    sleep 0.5
done
for sn in K10000005 K10000006; do
    echo "$sn back after ${took[$sn]:-no} s (its wait: ${waits[$sn]} s)"
    [ "${took[$sn]:-999}" -le $((waits[$sn] + 5)) ] || fail "$sn not back within its wait and 5 s"
done
echo "PASS: two relays calm for 12 s while their depot was away, back within their wait"
