#!/usr/bin/env bash
# vantor-host --interface NAME before its network is there: it waits while NAME does not exist, then while it
# has no IPv4 address, saying each once; it starts when the address comes and answers a poll from it. When the
# address changes it says so and exits with status 75; started again, it answers from the new address. While
# another program holds UDP 6454 it says so once and starts when the port is free.
# Only the named network: with a second pair beside, ArtDmx and E1.31 sent to the other interface's address
# are dropped, logged once and counted; sent to NAME's address they reach the widget.
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

kill "$host"
wait "$host" || true

# send PROTOCOL ADDRESS LEVEL: from the poller's side, one ArtDmx for universe 0 or one E1.31 packet for
# universe 1, with LEVEL on channel 1.
send() {
    in_poller python3 - "$@" <<'PY'
import socket, struct, sys
protocol, address, level = sys.argv[1], sys.argv[2], int(sys.argv[3])
if protocol == "Art-Net":
    packet, port = b"Art-Net\0\x00\x50\x00\x0e\x01\x00\x00\x00\x00\x02" + bytes([level, 0]), 6454
else:
    slots = bytes([0, level]) + bytes(511)
    dmp = struct.pack(">HBBHHH", 0x7000 | (10 + len(slots)), 0x02, 0xA1, 0, 1, len(slots)) + slots
    framing = struct.pack(">HI", 0x7000 | (77 + len(dmp)), 2) + b"console".ljust(64, b"\0") + \
        struct.pack(">BHBBH", 100, 0, 1, 0, 1) + dmp
    root = struct.pack(">HI", 0x7000 | (22 + len(framing)), 4) + bytes(range(16)) + framing
    packet, port = struct.pack(">HH", 0x10, 0) + b"ASC-E1.17\0\0\0" + root, 5568
socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(packet, (address, port))
PY
}
ip link add vc type veth peer name vd
ip link set vc netns "$poller_namespace"
in_poller ip addr add 198.19.0.1/24 dev vc
in_poller ip link set vc up
ip addr add 198.19.0.2/24 dev vd
ip link set vd up
# Each row: the protocol as the bridge names it, and its options. The run outlasts one summary of the drops.
while read -r protocol options; do
    log=$work/drops-$protocol.log
    # shellcheck disable=SC2086 # the options are words
    "$build/vantor-host" --headless --simulate-widget --port 1 --interface vb --mode send $options \
        --duration 12 >"$log" 2>&1 &
    host=$!
    cleanups+=("kill $host 2>/dev/null")
    wait_until 10 grep -q 'simulated widget on' "$log" || fail "$protocol: no start: $(cat "$log")"
    sleep 1
    send "$protocol" 198.19.0.2 11
    wait_until 5 grep -q "$protocol: dropped a datagram from 198.19.0.1 that came in on vd, not on vb" "$log" ||
        fail "$protocol: no line for the drop: $(cat "$log")"
    send "$protocol" 198.18.0.3 33
    wait "$host" || fail "$protocol: exit status $?: $(cat "$log")"
    grep -q "^simulated widget: 1 output frames" "$log" || fail "$protocol: not one frame: $(cat "$log")"
    grep -q "last output frame: .*: 33 0" "$log" || fail "$protocol: not the right frame: $(cat "$log")"
    grep -q "1 other-interface $protocol datagram in the last 10 s" "$log" ||
        fail "$protocol: the drop is not counted: $(cat "$log")"
done <<'ROWS'
Art-Net --universe 0
sACN --protocol sacn --universe 1
ROWS

# A node that cannot start says so without any logging rule.
VANTOR_ARTNET_INTERFACE=vz "$build/vantor-host" --headless --simulate-widget --duration 0.5 >"$work/host3.log" 2>&1
grep -q '! Art-Net Init Error: ' "$work/host3.log" || fail "the node's failure is not shown: $(cat "$work/host3.log")"
