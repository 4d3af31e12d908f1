#!/usr/bin/env bash
# The window on Windows as the README shows it: scripts/screenshot makes a fresh picture under Xvfb with wine,
# and in it, as in the README's pictures, the monitor's cell for channel 1 (at level 255) is pure red where the
# layout puts it. In the Linux picture the group boxes' frames and the scroll bars' arrows can be seen on the
# black background.
source "$(dirname "$0")/../support/script_support.sh"
source_dir=${VANTOR_SOURCE_DIR:?the source folder}
for tool in xvfb-run xwininfo import convert; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done

(cd "$source_dir" && VANTOR_SHOT_DIR="$work" VANTOR_SHOT_NO_BUILD=1 scripts/screenshot windows >/dev/null)

# Cell 0 sits at (3000, 1920) twips in the client area, 375 twips wide: its top right, clear of the text.
x=$(((3000 + 375) / 15 - 2))
y=$((1920 / 15 + 1))
for picture in "$work/window-windows.png" "$source_dir/docs/window-windows.png" "$source_dir/docs/window-linux.png"; do
    [ -f "$picture" ] || fail "no picture $picture"
    colour=$(pixel_colour "$picture" "$x" "$y")
    [ "$colour" = "255,0,0" ] || fail "$picture: channel 1's cell at ($x, $y) is $colour, not pure red"
done
echo "channel 1 is pure red at ($x, $y) in every picture"

linux=$source_dir/docs/window-linux.png
pixel() { pixel_colour "$linux" "$1" "$2"; }
# "Device Manager" at (120, 120) twips, 2775 wide: its left and right lines, half way down.
for x in $((120 / 15)) $(((120 + 2775) / 15 - 2)); do
    [ "$(pixel "$x" 150)" = "192,192,192" ] || fail "no group-box frame line at ($x, 150): $(pixel "$x" 150)"
done
# The universe scroll bar at (4425, 1350) twips, 495 by 255: inside its left button, the arrow stands out.
darkest_and_lightest=$(convert "$linux" -crop 10x10+297+93 -colorspace gray -format "%[fx:int(255*minima)] %[fx:int(255*maxima)]" info:)
read -r darkest lightest <<<"$darkest_and_lightest"
((lightest - darkest > 100)) || fail "the scroll bar's arrow does not stand out: darkest $darkest, lightest $lightest"
