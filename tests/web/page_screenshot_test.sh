#!/usr/bin/env bash
# The node's page as the README shows it: scripts/screenshot makes fresh pictures in headless Chromium, and in
# the grid, as in the README's picture, channel 1's cell (at level 255) is the window monitor's colour for 255,
# pure red, at its top left.
source "$(dirname "$0")/../support/script_support.sh"
source_dir=${VANTOR_SOURCE_DIR:?the source folder}
if [ ! -x /usr/bin/chromium ] || [ ! -d "$source_dir/tests/web/node_modules/playwright-core" ]; then
    echo "skipped: no /usr/bin/chromium or tests/web/node_modules (scripts/setup installs them)"
    exit 0
fi
command -v convert >/dev/null || fail "convert is missing (scripts/setup installs imagemagick)"

(cd "$source_dir" && VANTOR_SHOT_DIR="$work" VANTOR_SHOT_NO_BUILD=1 scripts/screenshot page >/dev/null)

# The grid's one-pixel frame, then cell 1: a few pixels in, clear of its centred number.
x=4
y=4
for picture in "$work/page-grid.png" "$source_dir/docs/page-grid.png"; do
    [ -f "$picture" ] || fail "no picture $picture"
    colour=$(pixel_colour "$picture" "$x" "$y")
    [ "$colour" = "255,0,0" ] || fail "$picture: channel 1's cell at ($x, $y) is $colour, not pure red"
done
[ -f "$source_dir/docs/page-overview.png" ] || fail "no docs/page-overview.png"
echo "channel 1 is pure red at ($x, $y) in the grid's pictures"
