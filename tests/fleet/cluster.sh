#!/usr/bin/env bash
# The clustered depot (deploy/nats) on loopback: three nodes; three emulated buses, two
# on node 1, one on node 2, each moving to its next depot when a connection fails.
# Catches: a status not replicated to the node the monitor reads; a bus that does not
# come back through another node within its back-off, a retained status lost with its
# node, a request that no longer reaches a bus; a node that does not rejoin; a
# revoked bus still connected or let back in after the reload.
# Usage: cluster.sh FLEET_EMULATOR FLEET_PROBE SOURCE_DIR
set -euo pipefail
emulator=$1 probe=$2 src=$3
command -v nats-server >/dev/null || { echo "SKIP: nats-server is not installed"; exit 77; }
dir=$(mktemp -d) pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; tail -n 5 "$dir"/*.log "$dir/buses.out" >&2; exit 1; }
eventually() { local end=$((SECONDS + $1)); shift; until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $end ] || return 1; sleep 0.5; done; }
port=$((20000 + RANDOM % 10000)) && at=(x "127.0.0.1:$port" "127.0.0.1:$((port + 1))" "127.0.0.1:$((port + 2))")
"$emulator" --certs "$dir" --count 4 --certs-only 2>/dev/null
nats() { "$src/deploy/nats/quellan-fleet-nats" --output "$dir" --buses <(printf 'K2000000%d\n' 1 2 3 4) --revoked <(printf '%s\n' "$@") \
    --ca "$dir/ca.crt" --cert "$dir/depot-broker.crt" --key "$dir/depot-broker.key" --mqtt-port "$port" \
    --cluster-port $((port + 10)) --client-port $((port + 20)) --store "$dir/js" >/dev/null; }
node() { nats-server -c "$dir/node$1.conf" >>"$dir/node$1.log" 2>&1 & nodes[$1]=$! && pids+=($!); }
nats && node 1 && node 2 && node 3
probe() { "$probe" "$1" --certs "$dir" --depot "${at[$2]}" --count 3 --timeout 8 "${@:3}"; }
# K20000004 leaves one retained status on node 1 and goes: nobody sends it again.
eventually 30 mosquitto_pub -h 127.0.0.1 -p "$port" --cafile "$dir/ca.crt" --cert "$dir/K20000004.crt" \
    --key "$dir/K20000004.key" -q 1 -r -t fleet/K20000004/zorv/ui/status -m gone || fail "the cluster did not come up"
"$emulator" --certs "$dir" --count 3 --duration 80 --every 0.5 --depot "${at[1]}" --depot "${at[2]}" --depot "${at[1]}" \
    --depot "${at[3]}" >"$dir/buses.out" 2>&1 & pids+=($!)
eventually 20 probe monitor 3 --qos 0 --quiet 2 || fail "the monitor on node 3 did not see every retained status"
kill "${nodes[1]}" && wait "${nodes[1]}" || true
twice() { [ "$(grep -c ^ALL-UP "$dir/buses.out")" -ge 2 ]; }
eventually 15 twice || fail "the buses of node 1 were not back through another node within their back-off"
{ "$probe" monitor --certs "$dir" --depot "${at[3]}" --count 1 --first 20000004 --portion 1 --qos 0 --timeout 8 --quiet 2 || :; } |
    grep -q 'ui/status=1' || fail "node 1's retained status was lost with it"
probe config 3 --rate 3 --duration 2 --qos 0 || fail "a request did not reach a bus with node 1 down"
node 1
eventually 30 probe monitor 1 --qos 0 --quiet 2 || fail "node 1 did not rejoin"
# Revocation: K20000003 is marked revoked, every node reloads; its link ends for good.
nats K20000003 && kill -HUP "${nodes[@]}"
two() { tail -n 1 "$dir/buses.out" | grep -q 'up=2 '; }
eventually 15 two || fail "the revoked K20000003 is still connected"
# A first wait is 2 to 4 s: in 5 s the revoked bus has tried again at least once.
sleep 5 && two || fail "the revoked K20000003 came back"
echo "PASS: clustered depot, a node lost and back, a bus revoked, in ${SECONDS}s"
