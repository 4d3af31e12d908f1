#!/usr/bin/env bash
# vantor-host --protocol sacn in receive mode over loopback multicast in the test's own namespace: the
# simulated widget's reports leave as E1.31 data packets that tshark dissects field by field, with universe
# discovery beside them and three stream-terminated packets when the host exits; the CID is kept in the state
# directory and taken again by the next run. Nothing leaves the namespace.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
sacn_loopback_or_skip
export XDG_STATE_HOME=$work/state
unset STATE_DIRECTORY

"$build/prowidget-sim" --link "$work/widget" --levels 1=255,2=128,300=17,512=7 2>"$work/widget.log" >/dev/null &
cleanups+=("kill $! 2>/dev/null")
wait_until 5 test -L "$work/widget" || fail "the simulated widget did not start"

# run_host CAPTURE: the bridge for 3 s, captured on lo until it has exited.
run_host() {
    tshark -i lo -f 'udp port 5568' -w "$work/$1.pcap" 2>"$work/$1.tshark" &
    local capture=$!
    cleanups+=("kill $capture 2>/dev/null")
    wait_until 10 grep -q 'Capturing on' "$work/$1.tshark" || fail "tshark did not start: $(cat "$work/$1.tshark")"
    "$build/vantor-host" --headless --devices "$work/widget" --port 1 --interface lo --mode receive \
        --protocol sacn --universe 3 --priority 120 --ttl 4 --duration 3 >"$work/$1.log" 2>&1 ||
        fail "host failed: $(cat "$work/$1.log")"
    sleep 0.5
    kill -INT "$capture"
    wait "$capture" || true
}
run_host first
cat "$work/first.log"
cid=$(tr -d '\n' <"$work/state/vantor-dmx/sacn-cid")
grep -q "new sACN CID $cid (none stored) kept in $work/state/vantor-dmx/sacn-cid" "$work/first.log" ||
    fail "no note of the new CID"
grep -q "sACN universe 3: sending at priority 120" "$work/first.log" || fail "no sending status"

tshark -r "$work/first.pcap" --enable-heuristic acn -o acn.dmx_enable:TRUE -T json -x >"$work/first.json"
python3 - "$work/first.json" "$cid" "$(hostname)" <<'PY'
import json, sys
packets = json.load(open(sys.argv[1]))
cid, host = sys.argv[2], sys.argv[3]
def field(layer, name):
    # tshark nests the layers' fields in subtrees; the first field of that name, at any depth.
    if isinstance(layer, dict):
        for key, value in layer.items():
            if key == name: return value
            found = field(value, name)
            if found is not None: return found
    elif isinstance(layer, list):
        for value in layer:
            found = field(value, name)
            if found is not None: return found
    return None
def fail(why):
    sys.exit("FAIL: " + why)
data, discovery, kinds = [], [], []
for packet in packets:
    layers = packet["_source"]["layers"]
    ip, udp, acn = layers["ip"], layers["udp"], layers.get("acn")
    if acn is None: fail("a datagram tshark did not take as ACN")
    if field(acn, "acn.cid") != cid: fail("CID %s, not the stored %s" % (field(acn, "acn.cid"), cid))
    if udp["udp.dstport"] != "5568": fail("port " + udp["udp.dstport"])
    if ip["ip.ttl"] != "4": fail("TTL " + ip["ip.ttl"])
    raw = bytes.fromhex(layers["udp"].get("udp.payload", "").replace(":", "")) if "udp.payload" in udp else None
    if ip["ip.dst"] == "239.255.250.214":
        discovery.append((acn, raw)); kinds.append("u")
    elif ip["ip.dst"] == "239.255.0.3":
        terminated = field(acn, "acn.dmx.option_s") == "1"
        data.append(acn); kinds.append("t" if terminated else "d")
    else:
        fail("sent to " + ip["ip.dst"])
# Rows: field, expected value in every data packet.
want_levels = [0] * 512
want_levels[0], want_levels[1], want_levels[299], want_levels[511] = 255, 128, 17, 7
rows = [("acn.dmx.source_name", host + " Vantor DMX bridge"), ("acn.dmx.priority", "120"),
        ("acn.dmx.universe", "3"), ("acn.dmx.start_code", "0"), ("acn.dmx.increment", "1"),
        ("acn.dmx.first_property_address", "0"), ("acn.dmx.count", "513"), ("acn.dmx.start_code2", "0")]
for index, acn in enumerate(data):
    for name, expected in rows:
        if field(acn, name) != expected: fail("packet %d: %s is %r" % (index, name, field(acn, name)))
    if field(acn, "acn.dmx.seq_number") != str(index % 256): fail("packet %d: sequence %s" % (index, field(acn, "acn.dmx.seq_number")))
    if kinds[kinds.index("d")] and field(acn, "acn.dmx.option_s") != "1":
        levels = field(acn, "acn.dmx.data")
        got = [int(b, 16) for b in levels.split(":")] if levels else None
        if got != want_levels: fail("packet %d: levels %s" % (index, levels))
stream = "".join(kinds)
if not stream.endswith("ttt") or "t" in stream[:-3]: fail("not three terminated packets at the end: " + stream[-10:])
if stream.count("d") < 80: fail("only %d data packets in 3 s of reports at 40/s" % stream.count("d"))
if not stream.startswith("du") or stream.count("u") != 1: fail("discovery: " + stream[:4] + ", %d of them" % stream.count("u"))
print("%d data packets, %d discovery, then %s" % (stream.count("d"), stream.count("u"), stream[-3:]))
PY
echo ok
