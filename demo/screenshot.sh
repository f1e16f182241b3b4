#!/usr/bin/env bash
# Plays the demo under a virtual X display as a person would: starts it in a window, takes a
# screenshot, moves the mouse onto the first gem and clicks it, takes another, and checks that
# the click changed what the game shows. Screenshots go to the folder given (default: shots/).
# Needs xvfb-run, ImageMagick's import and compare, and xdotool; run scripts/demo once first to
# build the program (demo/quorrel points at it).
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")"
out=$(realpath -m "${1:-shots}")
mkdir -p "$out"
if [ "${INSIDE_XVFB:-}" != 1 ]; then
  exec env INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$self" "$out"
fi

./quorrel -w &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
win=""
for _ in $(seq 50); do
  win=$(xdotool search --onlyvisible --pid $pid 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "screenshot: the demo window did not appear" >&2; exit 1; }
sleep 2  # past the loading screen
import -window root "$out/board.png"
# The first gem's picture has its top-left corner at (205, 213) in the game's 1024 x 768.
xdotool mousemove --window "$win" 237 245
sleep 0.5
import -window root "$out/hover.png"
xdotool click 1
xdotool mousemove --window "$win" 600 600
sleep 0.8
import -window root "$out/clicked.png"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool key Escape  # the game quits through QuitGame
wait $pid || true
trap - EXIT

# The score in the window's top-left corner ("Score 0", then "Score 1") shows the click landed;
# the rest of the picture moves on its own.
crop="160x40+$((X + 20))+$((Y + 15))"
convert "$out/board.png" -crop "$crop" +repage "$out/score-before.png"
convert "$out/clicked.png" -crop "$crop" +repage "$out/score-after.png"
changed=$(compare -metric AE "$out/score-before.png" "$out/score-after.png" null: 2>&1 || true)
echo "screenshot: $out/board.png, hover.png, clicked.png; the score changed in $changed pixels"
[ "${changed%%.*}" -gt 0 ]
