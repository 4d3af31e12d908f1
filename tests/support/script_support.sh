# Shared by the shell tests: the build folder, a work folder removed at exit, waiting for a condition.
# shellcheck shell=bash
set -euo pipefail

# With own_network=yes set before this is sourced, the test runs in a network namespace of its own with only
# loopback, where it may: its Art-Net node then has UDP 6454 to itself, whatever other tests run beside it.
if [ "${own_network:-}" = yes ] && [ -z "${VANTOR_OWN_NETWORK:-}" ] && unshare -n true 2>/dev/null; then
    VANTOR_OWN_NETWORK=1 exec unshare -n bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi

build=${VANTOR_BUILD_DIR:?the build folder}
work=$(mktemp -d)
cleanups=("rm -rf '$work'")
on_exit() {
    local index
    for ((index = ${#cleanups[@]} - 1; index >= 0; index--)); do eval "${cleanups[index]}" || true; done
}
trap on_exit EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_until SECONDS COMMAND...: true as soon as COMMAND succeeds, false when the time is up.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}


# sACN tests: multicast over loopback, in the test's own namespace only; skips the test outside one.
sacn_loopback_or_skip() {
    if [ -z "${VANTOR_OWN_NETWORK:-}" ]; then
        echo "skipped: needs a network namespace of its own (root)"
        exit 0
    fi
    ip link set lo multicast on
    ip route add 239.0.0.0/8 dev lo
}

# start_widget_rack N: N simulated widgets (prowidget-sim --widgets) with their by-id links in $work/by-id,
# every frame logged in $work/widgets.log; stopped at exit. widget_id K: widget K's by-id name.
start_widget_rack() {
    "$build/prowidget-sim" --widgets "$1" --by-id "$work/by-id" --verbose </dev/null >"$work/widgets.txt" \
        2>"$work/widgets.log" &
    widget_rack=$!
    cleanups+=("kill $widget_rack 2>/dev/null")
    wait_until 10 grep -q "^widget $1: " "$work/widgets.txt" || fail "the simulated widgets did not start"
}
widget_id() { printf 'usb-Vantor_Simulated_Pro_Widget_%08d-if00-port0' "$1"; }

# start_bridge: vantor-bridge on $work/bridge.conf and the rack's widgets, logging to $work/bridge.log, until
# every port of the file has linked to its widget; stopped at exit.
start_bridge() {
    VANTOR_SERIAL_BY_ID=$work/by-id RUNTIME_DIRECTORY=$work/run STATE_DIRECTORY=$work/state \
        "$build/vantor-bridge" --config "$work/bridge.conf" >"$work/bridge.log" 2>&1 &
    bridge=$!
    cleanups+=("kill $bridge 2>/dev/null")
    bridge_ports=$(grep -c '^\[port ' "$work/bridge.conf")
    bridge_linked() { [ "$(grep -c ': linked to the widget' "$work/bridge.log")" -ge "$bridge_ports" ]; }
    wait_until 30 bridge_linked || fail "the bridge did not link its $bridge_ports ports: $(cat "$work/bridge.log")"
}

# wait_for_page PORT: until the bridge's page answers on loopback at PORT.
wait_for_page() {
    page_answers() { curl -sf -o /dev/null "http://127.0.0.1:$1/api/node"; }
    wait_until 30 page_answers "$1" || fail "the page does not answer on port $1: $(cat "$work/bridge.log")"
}

# pixel_colour PICTURE X Y: "R,G,B" of one pixel, 0 to 255 each.
pixel_colour() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}
