#!/usr/bin/env bash
# vantor-host --reconnect through an unplug: the simulated widget's process ends (its link goes with it) and a
# new one comes back at the same path. The frames resume within 3 s, and the log says once that the widget
# went and once that it came back.
source "$(dirname "$0")/../support/script_support.sh"
link=$work/widget

start_widget() {
    "$build/prowidget-sim" --link "$link" --verbose 2>"$work/widget$1.log" >/dev/null &
    widget=$!
    cleanups+=("kill $widget 2>/dev/null")
    wait_until 5 test -L "$link" || fail "the simulated widget did not start"
}
output_frames_at() { grep -q 'in  label 6,' "$work/widget$1.log"; }

start_widget 1
VANTOR_ARTNET_INTERFACE=lo "$build/vantor-host" --headless --devices "$link" --port 1 --enable --reconnect \
    >"$work/host.log" 2>&1 &
host=$!
cleanups+=("kill $host 2>/dev/null")
wait_until 10 output_frames_at 1 || fail "no output frames at the first widget"

kill -TERM "$widget"
wait "$widget" || true
sleep 1
start_widget 2
back=$SECONDS
wait_until 3 output_frames_at 2 || fail "no frames within 3 s of the widget's return:
$(cat "$work/host.log")"
echo "frames resumed after at most $((SECONDS - back + 1)) s"

kill -TERM "$host"
wait "$host" || true
gone_lines=$(grep -c 'widget gone' "$work/host.log" || true)
back_lines=$(grep -c 'widget back after' "$work/host.log" || true)
[ "$gone_lines" -eq 1 ] && [ "$back_lines" -eq 1 ] || fail "$gone_lines loss and $back_lines return lines:
$(cat "$work/host.log")"
