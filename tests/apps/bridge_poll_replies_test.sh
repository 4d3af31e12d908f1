#!/usr/bin/env bash
# vantor-bridge's poll replies as tshark reads them: one reply per Art-Net port, each with its own bind index,
# its universe in the net, sub-net and port switches, names that tell the ports apart, the node's address
# as its bind address, and the status bits of an Art-Net 4 node with a page; the sACN port answers as one that
# outputs sACN. A targeted poll is answered for the ports in its range only. A console's ArtAddress is kept in
# the file. Loopback in the test's own namespace.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
sacn_loopback_or_skip
command -v tshark >/dev/null || { echo "skipped: no tshark"; exit 0; }

start_widget_rack 5
cat >"$work/bridge.conf" <<CONF
[node]
interface = lo
name = rig
[port 1]
device = $(widget_id 1)
universe = 5
name = left
[port 2]
device = $(widget_id 2)
# 0x123: net 1, sub-net 2, port 3
universe = 291
name = right
[port 3]
device = $(widget_id 3)
protocol = sacn
universe = 2
[port 4]
device = $(widget_id 4)
universe = 37
name = far
[port 5]
device = $(widget_id 5)
universe = 32767
name = last
CONF
start_bridge

tshark -i lo -f 'udp port 6454' -w "$work/poll.pcap" -P -l >"$work/live.txt" 2>"$work/tshark.log" &
capture=$!
cleanups+=("kill $capture 2>/dev/null")
wait_until 10 grep -q 'Capturing on' "$work/tshark.log" || fail "tshark did not start: $(cat "$work/tshark.log")"
poll() { python3 -c 'import socket, sys; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(
    bytes.fromhex(sys.argv[1]), ("127.0.0.1", 6454))' "$1"; }
replied() { [ "$(grep -c 'ArtPollReply' "$work/live.txt")" -ge "$1" ]; }
poll 4172742d4e6574000020000e0000
wait_until 10 replied 5 || fail "no five replies: $(cat "$work/live.txt") $(cat "$work/bridge.log")"
# Targeted at Port-Addresses 6 to 291 (top first, high byte first): ports 2 and 4.
poll 4172742d4e6574000020000e200001230006
wait_until 10 replied 7 || fail "no replies to the targeted poll: $(cat "$work/live.txt")"
kill -INT "$capture"
wait "$capture" || true

fields=(bind_index netswitch subswitch swout_1 swout_1_universe short_name long_name bind_ip_address ip_address
    indicator port_prog status2 websupport good_output_1)
tshark -r "$work/poll.pcap" -Y artnet.poll_reply -T fields -E separator=, \
    $(printf -- '-e artnet.poll_reply.%s ' "${fields[@]}") 2>/dev/null | sort >"$work/replies.txt"
cat "$work/replies.txt"
# Status1: indicators normal (3), Port-Address set over the network (2); Status2: page, 15-bit, either protocol.
status="0x03,0x02,0x19,1,0x00"
expected="0x01,0x00,0x00,0x05,5,left,rig: left,127.0.0.1,127.0.0.1,$status
0x02,0x01,0x02,0x03,291,right,rig: right,127.0.0.1,127.0.0.1,$status
0x02,0x01,0x02,0x03,291,right,rig: right,127.0.0.1,127.0.0.1,$status
0x03,0x00,0x00,0x01,1,rig 3,rig: port 3,127.0.0.1,127.0.0.1,0x03,0x02,0x19,1,0x01
0x04,0x00,0x02,0x05,37,far,rig: far,127.0.0.1,127.0.0.1,$status
0x04,0x00,0x02,0x05,37,far,rig: far,127.0.0.1,127.0.0.1,$status
0x05,0x7f,0x0f,0x0f,32767,last,rig: last,127.0.0.1,127.0.0.1,$status"
[ "$(cat "$work/replies.txt")" = "$expected" ] || fail "replies as read by tshark differ: expected
$expected"

# ArtAddress for bind index 1: net 0, sub-net 0, universe 10 and a new short name; the file keeps both.
poll "$(python3 -c 'print((b"Art-Net\0" + bytes([0, 0x60, 0, 14, 0x80, 1]) + b"moved".ljust(18, b"\0") +
    bytes(64) + bytes([0x7F] * 4) + bytes([0x8A, 0x7F, 0x7F, 0x7F, 0x80, 0xFF, 0])).hex())')"
wait_until 10 grep -q '^name = moved$' "$work/bridge.conf" || fail "the ArtAddress was not kept: $(cat "$work/bridge.log")"
grep -q '^universe = 10$' "$work/bridge.conf" || fail "the universe was not kept: $(cat "$work/bridge.conf")"
grep -q 'ArtAddress from 127.0.0.1: universe 10' "$work/bridge.log" || fail "not said: $(cat "$work/bridge.log")"
echo "ok"
