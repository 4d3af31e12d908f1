#!/usr/bin/env bash
# vantor-host as a person sees it on a terminal (tmux): the status line with its figures, and the firmware
# progress bar reaching 96 of 96.
own_network=yes
source "$(dirname "$0")/../support/script_support.sh"
export VANTOR_ARTNET_INTERFACE=lo
tmux_cmd=(tmux -S "$work/tmux")
cleanups+=("${tmux_cmd[*]} kill-server 2>/dev/null")

# Runs a command in a terminal of its own; the terminal stays after the command ends.
in_terminal() {
    local name=$1
    shift
    "${tmux_cmd[@]}" new-session -d -s "$name" -x 180 -y 20 "$*; sleep 600"
}
screen_of() { "${tmux_cmd[@]}" capture-pane -p -t "$1"; }
shows() { screen_of "$1" | grep -Eq "$2"; }
expect_screen() {
    wait_until "$3" shows "$1" "$2" || fail "'$2' not on the screen:
$(screen_of "$1")"
}

host="$build/vantor-host --headless --simulate-widget --port 1"
in_terminal status "$host --mode receive --universe 3 --enable --duration 8"
# Receive mode: the simulated widget reports 40 frames a second, each one goes out as an ArtDmx.
figures='output [1-9][0-9]* fps \| receive, universe 3: ArtDmx in [0-9]+/s, out [1-9][0-9]*/s'
expect_screen status "port 1 open \\| 0 Ready \\| $figures \\| last message: none" 6
[ "$(screen_of status | grep -c 'port 1 open')" -eq 1 ] || fail "the status line is not kept on one line:
$(screen_of status)"

head -c 6144 /dev/urandom >"$work/firmware.bin"
in_terminal firmware "$host --update-firmware $work/firmware.bin"
expect_screen firmware 'firmware attempt [12] \[#{40}\] 96/96 pages' 60
expect_screen firmware 'firmware update succeeded: 96 of 96 pages written' 10
