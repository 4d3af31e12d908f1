#!/usr/bin/env bash
# OLA as an outside controller of vantor-bridge (tests/apps/ola_partner.sh): OLA sends two sACN universes,
# and each of the bridge's two widgets shows exactly the levels of its own universe.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
source "$(dirname "$0")/ola_partner.sh"
missing=$(ola_partner_missing)
if [ -n "$missing" ]; then
    echo "skipped: OLA cannot be the partner here: $missing"
    exit 0
fi
ola_partner_start
ola_patch output 7 0
ola_patch output 8 1

start_widget_rack 2
{
    printf '[node]\ninterface = %s\n' "$ola_interface"
    for port in 1 2; do
        printf '[port %d]\ndevice = %s\nprotocol = sacn\nuniverse = %d\n' "$port" "$(widget_id "$port")" $((port + 6))
    done
} >"$work/bridge.conf"
start_bridge

# Channel n of universe u: (n * u + 11) mod 256, so that the two differ everywhere and a shift shows.
levels_of() { awk -v u="$1" 'BEGIN { for (i = 1; i <= 512; ++i) printf "%s%d", (i > 1 ? "," : ""), (i * u + 11) % 256 }'; }
ola_send 7 "$(levels_of 7)"
ola_send 8 "$(levels_of 8)"
both_fed() { grep -q 'widget 1: in  label 6' "$work/widgets.log" && grep -q 'widget 2: in  label 6' "$work/widgets.log"; }
wait_until 60 both_fed || fail "OLA's levels did not reach both widgets: $(cat "$work/bridge.log")"
kill -TERM "$widget_rack"
wait "$widget_rack" || fail "prowidget-sim failed: $(tail "$work/widgets.log")"
for widget in 1 2; do
    shown=$(levels_of $((widget + 6)) | cut -d, -f1-8 | tr , ' ')
    grep -q "widget $widget: stopping; .*last output levels of channels 1 to 8: $shown\$" "$work/widgets.log" ||
        fail "widget $widget does not show universe $((widget + 6)): $(grep stopping "$work/widgets.log")"
done
echo "ok"
