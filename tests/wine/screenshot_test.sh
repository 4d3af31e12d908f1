#!/usr/bin/env bash
# The window on Windows as the README shows it: scripts/screenshot makes a fresh picture under Xvfb with wine,
# and in it, as in the README's pictures, the monitor's cell for channel 1 (at level 255) is pure red where the
# layout puts it.
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
    colour=$(convert "$picture" -format "%[fx:int(255*p{$x,$y}.r)],%[fx:int(255*p{$x,$y}.g)],%[fx:int(255*p{$x,$y}.b)]" info:)
    [ "$colour" = "255,0,0" ] || fail "$picture: channel 1's cell at ($x, $y) is $colour, not pure red"
done
echo "channel 1 is pure red at ($x, $y) in every picture"
