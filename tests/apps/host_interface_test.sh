#!/usr/bin/env bash
# vantor-host --interface NAME before its network is there: it waits while NAME does not exist, then while it
# has no IPv4 address, saying each once; it starts when the address comes and answers a poll from it. When the
# address changes it says so and exits with status 75; started again, it answers from the new address. While
# another program holds UDP 6454 it says so once and starts when the port is free.
# NAME is one end of a veth pair in the test's own namespace; the poller sits at the other end, moved into a
# second namespace of the test's own. Nothing leaves these namespaces.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
if [ -z "${VANTOR_OWN_NETWORK:-}" ]; then
    echo "skipped: needs network namespaces of its own (root)"
    exit 0
fi

unshare -n sleep 600 &
poller_namespace=$!
cleanups+=("kill $poller_namespace 2>/dev/null")
in_poller() { nsenter -t "$poller_namespace" -n "$@"; }
# poll ADDRESS: sends an ArtPoll to ADDRESS and prints the address that the reply carries.
poll() {
    in_poller python3 - "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.bind(("0.0.0.0", 6454))
s.settimeout(0.5)
s.sendto(b"Art-Net\0\x00\x20\x00\x0e\x00\x00", (sys.argv[1], 6454))
try:
    while True:
        data, _ = s.recvfrom(1024)
        if data[:10] == b"Art-Net\0\x00\x21":
            print(".".join(str(b) for b in data[10:14]))
            break
except socket.timeout:
    pass
PY
}
answers_from() { [ "$(poll "$1")" = "$1" ]; }
start_host() {
    "$build/vantor-host" --headless --simulate-widget --port 1 --interface vb >"$work/host$1.log" 2>&1 &
    host=$!
    cleanups+=("kill $host 2>/dev/null")
}
said() { grep -c "$2" "$work/host$1.log" || true; }

start_host 1
wait_until 10 grep -q 'Art-Net interface vb: no such interface yet; waiting for it' "$work/host1.log" ||
    fail "no line for the missing interface: $(cat "$work/host1.log")"
ip link add va type veth peer name vb
ip link set va netns "$poller_namespace"
in_poller ip link set lo up
in_poller ip addr add 198.18.0.1/24 dev va
in_poller ip link set va up
wait_until 5 grep -q 'Art-Net interface vb: no IPv4 address yet; waiting for it' "$work/host1.log" ||
    fail "no line for the missing address: $(cat "$work/host1.log")"
ip addr add 198.18.0.2/24 dev vb
ip link set vb up
addressed=$(date +%s%N)
wait_until 10 answers_from 198.18.0.2 || fail "no poll answered from 198.18.0.2: $(cat "$work/host1.log")"
echo "first poll answered $(( ($(date +%s%N) - addressed) / 1000000 )) ms after the address came"
[ "$(said 1 'waiting for it')" -eq 2 ] || fail "one line for each wait expected: $(cat "$work/host1.log")"

ip addr flush dev vb
ip addr add 198.18.0.3/24 dev vb
status=0
wait "$host" || status=$?
[ "$status" -eq 75 ] || fail "exit status $status after the address changed: $(cat "$work/host1.log")"
# Between the flush and the new address the bridge may see none.
grep -Eq 'Art-Net interface vb: address (now 198.18.0.3 \(was 198.18.0.2\)|198.18.0.2 gone)' "$work/host1.log" ||
    fail "no line for the new address: $(cat "$work/host1.log")"
start_host 2
wait_until 10 answers_from 198.18.0.3 || fail "no poll answered from 198.18.0.3: $(cat "$work/host2.log")"
[ "$(said 2 'waiting for it')" -eq 0 ] || fail "a wait for an interface that is there: $(cat "$work/host2.log")"

# While another program (here the running bridge) holds the Art-Net port, a new bridge says so once, looks again
# quietly, and starts as soon as the port is free.
holder=$host
start_host 4
wait_until 10 grep -q 'Art-Net port 6454: held by another program' "$work/host4.log" ||
    fail "no line for the port held: $(cat "$work/host4.log")"
sleep 4
kill -TERM "$holder"
wait "$holder" || true
wait_until 15 answers_from 198.18.0.3 || fail "no poll answered once the port was free: $(cat "$work/host4.log")"
[ "$(said 4 'held by another program')" -eq 1 ] && [ "$(said 4 'Art-Net port 6454: free after')" -eq 1 ] ||
    fail "one line for the port held and one for its release expected: $(cat "$work/host4.log")"

# A node that cannot start says so without any logging rule.
VANTOR_ARTNET_INTERFACE=vz "$build/vantor-host" --headless --simulate-widget --duration 0.5 >"$work/host3.log" 2>&1
grep -q '! Art-Net Init Error: ' "$work/host3.log" || fail "the node's failure is not shown: $(cat "$work/host3.log")"
