#!/usr/bin/env bash
# vantor-bridge's poll replies as tshark reads them: one reply per Art-Net port, each with its own bind index,
# its universe in the net, sub-net and port switches, names that tell the ports apart, and the node's address
# as its bind address; the sACN port answers nothing. Loopback in the test's own namespace.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
sacn_loopback_or_skip
command -v tshark >/dev/null || { echo "skipped: no tshark"; exit 0; }

start_widget_rack 3
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
CONF
start_bridge

tshark -i lo -f 'udp port 6454' -w "$work/poll.pcap" -P -l >"$work/live.txt" 2>"$work/tshark.log" &
capture=$!
cleanups+=("kill $capture 2>/dev/null")
wait_until 10 grep -q 'Capturing on' "$work/tshark.log" || fail "tshark did not start: $(cat "$work/tshark.log")"
python3 -c 'import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(
    b"Art-Net\0\x00\x20\x00\x0e\x00\x00", ("127.0.0.1", 6454))'
replied() { [ "$(grep -c 'ArtPollReply' "$work/live.txt")" -ge 2 ]; }
wait_until 10 replied || fail "no two replies: $(cat "$work/live.txt") $(cat "$work/bridge.log")"
kill -INT "$capture"
wait "$capture" || true

fields=(bind_index netswitch subswitch swout_1 short_name long_name bind_ip_address ip_address)
tshark -r "$work/poll.pcap" -Y artnet.poll_reply -T fields -E separator=, \
    $(printf -- '-e artnet.poll_reply.%s ' "${fields[@]}") 2>/dev/null | sort >"$work/replies.txt"
cat "$work/replies.txt"
expected="0x01,0x00,0x00,0x05,left,rig: left,127.0.0.1,127.0.0.1
0x02,0x01,0x02,0x03,right,rig: right,127.0.0.1,127.0.0.1"
[ "$(cat "$work/replies.txt")" = "$expected" ] || fail "replies as read by tshark differ: expected
$expected"
echo "ok"
