#!/usr/bin/env bash
# vantor-host --protocol sacn in receive mode over loopback multicast in the test's own namespace: the
# simulated widget's reports leave as E1.31 data packets that tshark dissects field by field, with universe
# discovery beside them and three stream-terminated packets with the last levels when the host exits; the CID
# is kept in the state directory and taken again by the next run. Nothing leaves the namespace.
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

# tshark 4.0 dissects E1.31 data packets but not universe discovery (root vector 8): that one is read from
# its bytes, at the offsets of the layout.
tshark -r "$work/first.pcap" --enable-heuristic acn -o acn.dmx_enable:TRUE -o acn.dmx_display_zeros:TRUE \
    -T json --no-duplicate-keys >"$work/first.json" 2>/dev/null
python3 - "$work/first.json" "$cid" "$(hostname)" <<'PY'
import json, sys
packets = json.load(open(sys.argv[1]))
cid, host = sys.argv[2], sys.argv[3]
def fail(why):
    sys.exit("FAIL: " + why)
def fields(tree, into):
    # The dissected fields at any depth, each by its name (the first of a name, as for the root's CID).
    for key, value in tree.items():
        if isinstance(value, dict): fields(value, into)
        else: into.setdefault(key, value)
    return into
def levels(rows):
    # "001-020: FF 80 00 ... | 00 ..." after a header row of channel numbers.
    return [int(v, 16) for row in rows[1:] for v in row.split(":", 1)[1].replace("|", " ").split()]
want = [0] * 512
want[0], want[1], want[299], want[511] = 255, 128, 17, 7
name = host + " Vantor DMX bridge"
# Every data packet's fields as tshark names them, and their values.
rows = {"acn.packet_identifier": "ASC-E1.17", "acn.protocol_id": "4", "acn.cid": cid, "acn.dmx_vector": "2",
        "acn.dmx.source_name": name, "acn.dmx.priority": "120", "acn.dmx.universe": "3",
        "acn.dmp_vector": "2", "acn.dmx.first_property_address": "0", "acn.dmx.increment": "1",
        "acn.dmx.count": "513", "acn.dmx.start_code2": "0", "acn.dmx.option_p": "0"}
stream, data = "", 0
for index, packet in enumerate(packets):
    layers = packet["_source"]["layers"]
    ip, udp = layers["ip"], layers["udp"]
    if udp["udp.dstport"] != "5568" or ip["ip.ttl"] != "4": fail("packet %d: port %s, TTL %s" % (index, udp["udp.dstport"], ip["ip.ttl"]))
    if ip["ip.dst"] == "239.255.250.214":
        raw = bytes.fromhex(layers["data"]["data.data"].replace(":", ""))
        want_raw = (bytes.fromhex("00100000") + b"ASC-E1.17\0\0\0" + bytes.fromhex("706a00000008") +
                    bytes.fromhex(cid.replace("-", "")) + bytes.fromhex("705400000002") + name.encode().ljust(64, b"\0") +
                    bytes(4) + bytes.fromhex("700a00000001") + bytes([0, 0]) + bytes.fromhex("0003"))
        if raw != want_raw: fail("discovery packet %s" % raw.hex())
        stream += "u"
        continue
    if ip["ip.dst"] != "239.255.0.3" or "acn" not in layers: fail("packet %d to %s not E1.31" % (index, ip["ip.dst"]))
    got = fields(layers["acn"], {})
    for field, value in rows.items():
        if got.get(field) != value: fail("packet %d: %s is %r, not %r" % (index, field, got.get(field), value))
    if got["acn.dmx.seq_number"] != str(data % 256): fail("packet %d: sequence %s" % (index, got["acn.dmx.seq_number"]))
    data += 1
    if got["acn.dmx.option_s"] == "1":
        if levels(got["acn.dmx.data"]) != want: fail("packet %d: terminated without the last levels" % index)
        stream += "t"
    elif levels(got["acn.dmx.data"]) == want:
        stream += "d"
    else:
        fail("packet %d: levels %s" % (index, got["acn.dmx.data"]))
print("%d data packets, %d discovery, then %s" % (stream.count("d"), stream.count("u"), stream[-3:]))
if not stream.startswith("du") or stream.count("u") != 1: fail("discovery not once after the first: " + stream[:5])
if not stream.endswith("ttt") or stream.count("t") != 3: fail("not three terminated packets at the end: " + stream[-5:])
if stream.count("d") < 80: fail("only %d data packets in 3 s of reports at 40/s" % stream.count("d"))
PY

# The next run takes the CID kept by the first.
run_host second
grep -q "sACN CID" "$work/second.log" && fail "a second note of the CID: $(cat "$work/second.log")"
tshark -r "$work/second.pcap" --enable-heuristic acn -o acn.dmx_enable:TRUE -Y acn -T fields -e acn.cid 2>/dev/null |
    sort -u >"$work/cids"
[ "$(cat "$work/cids")" = "$cid" ] || fail "the second run's CIDs: $(cat "$work/cids")"
echo ok
