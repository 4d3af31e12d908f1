#!/usr/bin/env bash
# vantor-host's sACN bridge against OLA, a black-box E1.31 peer (tests/apps/ola_partner.sh):
# - send mode: OLA sends levels on universe 7; the simulated widget gets exactly those levels, in one frame;
# - receive mode: the widget's received DMX leaves as E1.31 on universe 8, and OLA holds exactly its levels.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
source "$(dirname "$0")/ola_partner.sh"
missing=$(ola_partner_missing)
if [ -n "$missing" ]; then
    echo "skipped: OLA cannot be the partner here: $missing"
    exit 0
fi
export XDG_STATE_HOME=$work/state
unset STATE_DIRECTORY
ola_partner_start

# Every channel differs from its neighbours, so that a shifted or truncated frame shows.
levels=$(awk 'BEGIN { for (i = 1; i <= 512; ++i) printf "%s%d", (i > 1 ? "," : ""), (i * 37 + 11) % 256 }')

# start_host LOG ARGUMENTS...: the bridge on OLA's side of the pair, until it says it runs.
start_host() {
    local log=$work/$1
    shift
    "$build/vantor-host" --headless --interface "$ola_interface" --protocol sacn --port 1 "$@" >"$log" 2>&1 &
    host=$!
    cleanups+=("kill $host 2>/dev/null")
    wait_until 30 grep -q 'running' "$log" || fail "host did not start: $(cat "$log")"
}

ola_patch output 7
start_host send.log --simulate-widget --mode send --universe 7
ola_send 7 "$levels"
wait_until 60 grep -q 'winner "OLA Server"' "$work/send.log" || fail "no sACN from OLA: $(cat "$work/send.log")"
kill -TERM "$host"
wait "$host" || fail "host failed: $(cat "$work/send.log")"
grep -q "last output frame: 518 bytes, levels of channels 1 to 8: $(cut -d, -f1-8 <<<"$levels" | tr , ' ')\$" \
    "$work/send.log" || fail "not OLA's levels: $(cat "$work/send.log")"
grep -q '^simulated widget: 1 output frames' "$work/send.log" || fail "one frame expected: $(cat "$work/send.log")"

ola_patch input 8
"$build/prowidget-sim" --link "$work/widget" \
    --levels "$(awk -F, '{ for (i = 1; i <= NF; ++i) printf "%s%d=%s", (i > 1 ? "," : ""), i, $i }' <<<"$levels")" \
    >/dev/null 2>&1 &
cleanups+=("kill $! 2>/dev/null")
wait_until 5 test -L "$work/widget" || fail "the simulated widget did not start"
start_host receive.log --devices "$work/widget" --mode receive --universe 8
ola_has_levels() { [ "$(ola_levels 8)" = "$levels" ]; }
wait_until 60 ola_has_levels || fail "OLA holds '$(ola_levels 8)' for universe 8: $(cat "$work/receive.log")"
echo "ok"
