# OLA as the black-box sACN partner, sourced after script_support.sh by a test that runs in its own network
# namespace. olad runs as nobody with its own fresh configuration and only its E1.31 plugin, in a second
# namespace made here and joined to the test's by a veth pair: olav0 (10.254.131.1) on the test's side, olav1
# (10.254.131.2) on OLA's. OLA's E1.31 plugin takes no loopback interface, hence the pair; whatever runs
# beside OLA uses olav0 as its interface. Nothing leaves the two namespaces.
#
#   ola_partner_missing      prints why OLA cannot be the partner here (nothing when it can)
#   ola_partner_start        starts olad and waits until its E1.31 device answers; stopped at exit
#   ola_patch output|input UNIVERSE [PORT]    patches E1.31 port PORT (0 or 1; default 0) of that direction to
#                            the universe
#   ola_send UNIVERSE LEVELS sends the levels (comma-separated) through olad, again every 0.2 s until exit
#   ola COMMAND...           runs an OLA client beside olad
#   ola_levels UNIVERSE      the levels olad holds for the universe, comma-separated
# shellcheck shell=bash

ola_interface=olav0

ola_partner_missing() {
    local program
    for program in olad ola_dev_info ola_patch ola_streaming_client curl nsenter setpriv; do
        command -v "$program" >/dev/null || { echo "no $program (the ola package, curl, util-linux)"; return; }
    done
    [ -n "${VANTOR_OWN_NETWORK:-}" ] || echo "needs a network namespace of its own (root)"
}

ola_namespace_made() { [ "$(readlink "/proc/$ola_holder/ns/net")" != "$(readlink /proc/self/ns/net)" ]; }

ola() { nsenter -t "$ola_holder" -n "$@"; }

ola_partner_start() {
    unshare -n sleep infinity &
    ola_holder=$!
    cleanups+=("kill $ola_holder 2>/dev/null")
    wait_until 5 ola_namespace_made || fail "no network namespace for OLA"
    ip link add olav0 type veth peer name olav1 netns "$ola_holder"
    ip addr add 10.254.131.1/24 dev olav0
    ip link set olav0 up
    ola ip link set lo up
    ola ip addr add 10.254.131.2/24 dev olav1
    ola ip link set olav1 up

    # Every other plugin off, so that olad probes no serial port and speaks no other protocol.
    ola_config=$(mktemp -d)
    cleanups+=("rm -rf '$ola_config'")
    local plugin
    for plugin in artnet dummy espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc pathport \
        renard sandnet shownet spi stageprofi uartdmx usbdmx usbserial; do
        echo "enabled = false" >"$ola_config/ola-$plugin.conf"
    done
    printf '%s\n' "enabled = true" "ip = 10.254.131.2" "input_ports = 2" "output_ports = 2" \
        "ignore_preview = true" "prepend_hostname = false" >"$ola_config/ola-e131.conf"
    chown -R nobody:nogroup "$ola_config"
    nsenter -t "$ola_holder" -n setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$ola_config" \
        olad -c "$ola_config" -l 3 --no-register-with-dns-sd >"$work/olad.log" 2>&1 &
    ola_daemon=$!
    cleanups+=("kill -TERM $ola_daemon 2>/dev/null && wait $ola_daemon")
    wait_until 30 ola_device >/dev/null || fail "olad did not start its E1.31 device: $(cat "$work/olad.log")"
    ! grep 'Trying to start' "$work/olad.log" | grep -v 'E1.31' || fail "olad started more than E1.31"
}

# The E1.31 device's number in olad.
ola_device() { ola ola_dev_info 2>/dev/null | sed -n 's/^Device \([0-9]*\): E1.31.*/\1/p' | grep .; }

ola_patch() {
    local direction=()
    [ "$1" = input ] && direction=(--input)
    ola ola_patch --device "$(ola_device)" --port "${3:-0}" "${direction[@]}" --universe "$2" >/dev/null ||
        fail "ola_patch $1 $2 ${3:-0} failed"
}

# OLA sends a universe's levels when a client gives it levels.
ola_send() {
    (while sleep 0.2; do echo "$2"; done) | nsenter -t "$ola_holder" -n ola_streaming_client -u "$1" &
    cleanups+=("kill $! 2>/dev/null")
}

ola_levels() {
    ola curl -sf "http://127.0.0.1:9090/get_dmx?u=$1" | tr -d ' \n' | sed -n 's/.*"dmx":\[\([0-9,]*\)\].*/\1/p'
}
