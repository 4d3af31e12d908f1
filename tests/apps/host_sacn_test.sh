#!/usr/bin/env bash
# vantor-host --protocol sacn end to end over loopback multicast in the test's own namespace: two sources send
# E1.31 to 239.255.0.1; the simulated widget gets the winner's levels, then the loser's once the winner
# terminates, and the status log names both sources and the winner. Nothing leaves the namespace.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
sacn_loopback_or_skip
# Choosing sACN takes the CID in either mode: it is kept in the test's own folder.
export XDG_STATE_HOME=$work/state
unset STATE_DIRECTORY

"$build/vantor-host" --headless --simulate-widget --port 1 --interface lo --mode send --protocol sacn \
    --universe 1 --priority 120 --duration 60 >"$work/host.log" 2>&1 &
host=$!
cleanups+=("kill $host 2>/dev/null")
wait_until 5 grep -q 'running\|simulated widget on' "$work/host.log" || fail "host did not start: $(cat "$work/host.log")"
sleep 1

# Both sources at 100 packets/s, the main one with a preview packet beside each; then the main one terminates.
python3 - <<'PY'
import socket, struct, time, uuid
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
cids = {}
sequences = {}
def packet(name, priority, options, levels, universe=1):
    cid = cids.setdefault(name, uuid.uuid4().bytes)
    sequence = sequences[name] = (sequences.get(name, 0) + 1) % 256
    slots = bytes([0]) + bytes(levels) + bytes(512 - len(levels))
    dmp = struct.pack(">HBBHHH", 0x7000 | (10 + len(slots)), 0x02, 0xA1, 0, 1, len(slots)) + slots
    framing = struct.pack(">HI", 0x7000 | (77 + len(dmp)), 2) + name.encode().ljust(64, b"\0") + \
        struct.pack(">BHBBH", priority, 0, sequence, options, universe) + dmp
    root = struct.pack(">HI", 0x7000 | (22 + len(framing)), 4) + cid + framing
    return struct.pack(">HH", 0x10, 0) + b"ASC-E1.17\0\0\0" + root
s.sendto(b"not sACN", ("239.255.0.1", 5568))
for _ in range(120):
    s.sendto(packet("backup", 100, 0, [200, 7]), ("239.255.0.1", 5568))
    s.sendto(packet("main", 150, 0, [10, 20, 30]), ("239.255.0.1", 5568))
    s.sendto(packet("main", 150, 0x80, [99, 99, 99]), ("239.255.0.1", 5568))  # preview: never output
    time.sleep(0.01)
s.sendto(packet("main", 150, 0x40, [10, 20, 30]), ("239.255.0.1", 5568))
for _ in range(100):
    s.sendto(packet("backup", 100, 0, [200, 7]), ("239.255.0.1", 5568))
    time.sleep(0.01)
PY
# Stopped once it has said so, however slowly a loaded machine got there.
wait_until 20 grep -q 'winner "backup"' "$work/host.log" || fail "no line for the backup: $(cat "$work/host.log")"
kill -TERM "$host"
wait "$host" || fail "exit status $?: $(cat "$work/host.log")"
log=$(cat "$work/host.log")
echo "$log"

# Each row: what the log must show (a grep pattern).
while IFS= read -r expected; do
    [ -z "$expected" ] && continue
    grep -q -- "$expected" "$work/host.log" || fail "no '$expected' in the log"
done <<'ROWS'
"backup" priority 100 [0-9]*/s, "main" priority 150 [0-9]*/s; winner "main"; ignored size 1, preview
sACN universe 1: "backup" priority 100 [0-9]*/s; winner "backup"
last output frame: .* 200 7 0 0
ROWS
frames=$(sed -n 's/^simulated widget: \([0-9]*\) output frames.*/\1/p' "$work/host.log")
# One frame per change: backup's levels, main's, backup's again; the repeats and the preview change nothing.
[ "$frames" = 3 ] || fail "expected 3 output frames, got '$frames'"
echo "ok"
