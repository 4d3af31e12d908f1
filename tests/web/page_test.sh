#!/usr/bin/env bash
# The node's page in headless Chromium (tests/web/page_test.mjs) on vantor-bridge with two simulated widgets:
# first behind a password, then, the password taken out of the file and the node started again, open to
# loopback, where the page moves port 2 to another universe; widget 2 must end on that universe's levels.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
web=$(cd "$(dirname "$0")" && pwd)
if [ ! -x /usr/bin/chromium ]; then
    echo "skipped: no /usr/bin/chromium to drive (scripts/setup installs the chromium package)"
    exit 0
fi
if [ ! -d "$web/node_modules/playwright-core" ]; then
    echo "skipped: no tests/web/node_modules (scripts/setup runs npm ci --prefix tests/web)"
    exit 0
fi

page_port=8454
password='lamp test 1'
start_widget_rack 2
write_conf() {
    printf '[node]\ninterface = lo\n[web]\nlisten = 127.0.0.1\nport = %d\n' "$page_port"
    [ -z "${1:-}" ] || printf '%s\n' "$1"
    for port in 1 2; do
        printf '[port %d]\ndevice = %s\nmode = send\nprotocol = artnet\nuniverse = %d\n' \
            "$port" "$(widget_id "$port")" $((port - 1))
    done
}
run_page_test() {
    start_bridge
    wait_for_page "$page_port"
    VANTOR_PAGE_URL=http://127.0.0.1:$page_port/ VANTOR_BRIDGE_CONF=$work/bridge.conf \
        node --test-reporter=tap --test "$web/page_test.mjs" || fail "the page test failed: $(tail -20 "$work/bridge.log")"
}

password_line=$(printf '%s\n' "$password" | "$build/vantor-bridge" --hash-password) || fail "no password line"
write_conf "$password_line" >"$work/bridge.conf"
VANTOR_PAGE_PASSWORD=$password run_page_test
kill "$bridge"
wait "$bridge" || true

write_conf >"$work/bridge.conf"
run_page_test

# Universe 2's rule, channel n at 5n + 7: widget 2's last frame must be that, not universe 1's 3n + 1.
kill -TERM "$widget_rack"
wait "$widget_rack" || fail "prowidget-sim failed: $(tail "$work/widgets.log")"
grep -q 'widget 2: stopping; .*last output levels of channels 1 to 8: 12 17 22 27 32 37 42 47$' "$work/widgets.log" ||
    fail "widget 2 does not show universe 2: $(grep stopping "$work/widgets.log")"
echo "ok"
