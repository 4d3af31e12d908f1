#!/usr/bin/env bash
# vantor-host's sACN bridge against OLA, a black-box E1.31 peer (tests/apps/ola_partner.sh):
# - send: OLA sends levels on universe 7; the simulated widget gets exactly those levels, in one frame.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
source "$(dirname "$0")/ola_partner.sh"
missing=$(ola_partner_missing)
if [ -n "$missing" ]; then
    echo "skipped: OLA cannot be the partner here: $missing"
    exit 0
fi
ola_partner_start

# Every channel differs from its neighbours, so a shifted or truncated frame shows.
levels=$(seq -s, 1 512 | awk -F, '{ for (i = 1; i <= NF; ++i) printf "%s%d", (i > 1 ? "," : ""), (i * 37 + 11) % 256 }')
ola_patch output 7
"$build/vantor-host" --headless --simulate-widget --port 1 --interface "$ola_interface" --mode send \
    --protocol sacn --universe 7 >"$work/host.log" 2>&1 &
host=$!
cleanups+=("kill $host 2>/dev/null")
wait_until 30 grep -q 'running' "$work/host.log" || fail "host did not start: $(cat "$work/host.log")"
ola_send 7 "$levels"
wait_until 60 grep -q 'winner "OLA Server"' "$work/host.log" || fail "no sACN from OLA: $(cat "$work/host.log")"
kill -TERM "$host"
wait "$host" || fail "host failed: $(cat "$work/host.log")"
grep -q "last output frame: 518 bytes, levels of channels 1 to 8: $(cut -d, -f1-8 <<<"$levels" | tr , ' ')\$" \
    "$work/host.log" || fail "not OLA's levels: $(cat "$work/host.log")"
grep -q '^simulated widget: 1 output frames' "$work/host.log" || fail "one frame expected: $(cat "$work/host.log")"
echo "ok"
