#!/usr/bin/env bash
# vantor-host --reconnect, with simulated widgets whose processes end (their links go with them):
# - a widget plugged in 3 s after the start is picked up, with one line that the bridge waits for it;
# - a widget that comes back at the same path gets its frames again within 3 s, with one line that it went
#   and one that it came back;
# - a widget known by its by-id name that comes back as another port number is found there, while a
#   stranger that took its old path is never opened: it receives nothing, not even a parameters request;
# - so is one whose by-id link appeared only after its port had opened.
source "$(dirname "$0")/../support/script_support.sh"
export VANTOR_ARTNET_INTERFACE=lo VANTOR_SERIAL_BY_ID=$work/by-id
mkdir "$work/by-id"

# start_widget NAME: a simulated widget whose pty $work/NAME links to; its log is $work/NAME.log.
start_widget() {
    "$build/prowidget-sim" --link "$work/$1" --verbose 2>"$work/$1.log" >/dev/null &
    widgets[$1]=$!
    cleanups+=("kill ${widgets[$1]} 2>/dev/null")
    wait_until 5 test -L "$work/$1" || fail "the simulated widget $1 did not start"
}
# As with a real device, every path to an unplugged widget goes with it: a pty of another test may take its
# old number at once.
unplug() {
    local pty
    pty=$(readlink "$work/$1")
    kill -TERM "${widgets[$1]}"
    wait "${widgets[$1]}" || true
    find "$work" -maxdepth 2 -lname "$pty" -delete
}
# plug_in NAME PATH: PATH (a port's device, a by-id name) now leads to widget NAME.
plug_in() { ln -sfn "$(readlink "$work/$1")" "$2"; }
frames_at() { grep -q 'in  label 6,' "$work/$1.log"; }
start_host() {
    "$build/vantor-host" --headless --devices "$1" --port 1 --enable --reconnect >"$work/host.log" 2>&1 &
    host=$!
    cleanups+=("kill $host 2>/dev/null")
}
stop_host() {
    kill -TERM "$host"
    wait "$host" || true
}
lines() { grep -c "$1" "$work/host.log" || true; }
declare -A widgets

# Absent at the start, then plugged in.
start_host "$work/port1"
wait_until 10 grep -q 'no widget yet' "$work/host.log" || fail "no waiting line: $(cat "$work/host.log")"
sleep 3
start_widget first
plugged=$(date +%s%N)
plug_in first "$work/port1"
wait_until 3 frames_at first || fail "no frames within 3 s of the widget's appearance:
$(cat "$work/host.log")"
echo "first frame $(( ($(date +%s%N) - plugged) / 1000000 )) ms after the widget appeared"
[ "$(lines 'no widget yet')" -eq 1 ] && [ "$(lines 'widget connected')" -eq 1 ] ||
    fail "one waiting and one connected line expected: $(cat "$work/host.log")"

# Back at the same path.
unplug first
sleep 1
start_widget second
plug_in second "$work/port1"
wait_until 3 frames_at second || fail "no frames within 3 s of the widget's return:
$(cat "$work/host.log")"
stop_host
[ "$(lines 'widget gone')" -eq 1 ] && [ "$(lines 'widget back after')" -eq 1 ] ||
    fail "one loss and one return line expected: $(cat "$work/host.log")"

# Known by its by-id name: back as port 2, while a stranger holds port 1's path.
start_widget third
plug_in third "$work/ttyUSB0"
plug_in third "$work/by-id/usb-Widget_A"
start_host "$work/ttyUSB0,$work/ttyUSB1"
wait_until 10 frames_at third || fail "no frames at the widget: $(cat "$work/host.log")"
unplug third
start_widget stranger
plug_in stranger "$work/ttyUSB0"
sleep 3
start_widget fourth
plug_in fourth "$work/ttyUSB1"
plug_in fourth "$work/by-id/usb-Widget_A"
wait_until 3 frames_at fourth || fail "the widget was not found again as port 2: $(cat "$work/host.log")"
grep -q "port 2 ($work/ttyUSB1): widget back after" "$work/host.log" || fail "$(cat "$work/host.log")"
stop_host

# Opened before udev made its by-id link: the name that came later finds it.
start_widget fifth
plug_in fifth "$work/ttyUSB0"
start_host "$work/ttyUSB0,$work/ttyUSB1"
wait_until 10 frames_at fifth || fail "no frames at the widget: $(cat "$work/host.log")"
plug_in fifth "$work/by-id/usb-Widget_B"
wait_until 5 grep -q ': known as by-id:usb-Widget_B$' "$work/host.log" || fail "$(cat "$work/host.log")"
unplug fifth
plug_in stranger "$work/ttyUSB0"
start_widget sixth
plug_in sixth "$work/ttyUSB1"
plug_in sixth "$work/by-id/usb-Widget_B"
wait_until 5 frames_at sixth || fail "the widget was not found by its later name: $(cat "$work/host.log")"
stop_host
! grep -q 'in ' "$work/stranger.log" || fail "the stranger at the widget's old path was written to:
$(cat "$work/stranger.log")"
