#!/usr/bin/env bash
# A real drag and drop onto the board under a private X server: a small drag-source window
# of ours offers a sound file the way a file manager does, xdotool drags it onto the name box
# of slot N, and the board is shown assigned (screenshot) and then closed, after which the
# written SoundList.csv must hold the file in slot N's line. A right click on the same slot
# then opens the slot pop-up menu (screenshot).
#
# Usage: scripts/drag-demo.sh [SLOT] [BUILD_DIR] [OUT_DIR]
#   SLOT 0..37 (default 3), BUILD_DIR with a built sorvane (default build), OUT_DIR for the
#   screenshots, the list and the log (default a fresh folder under /tmp).
# Needs: xvfb-run, xauth, xdotool, imagemagick (import), ffmpeg, cmake and Qt to build the
# drag source.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
slot=${1:-3}
build=$(cd "${2:-$root/build}" && pwd)
out=${3:-}

if [ -z "${DRAG_DEMO_INSIDE_X:-}" ]; then
  for tool in xvfb-run xauth xdotool import compare ffmpeg cmake; do
    command -v "$tool" >/dev/null || { echo "drag-demo: $tool is missing (make deps installs it)" >&2; exit 77; }
  done
  [[ "$slot" =~ ^[0-9]+$ ]] && [ "$slot" -le 37 ] || { echo "drag-demo: slot must be 0..37" >&2; exit 2; }
  [ -x "$build/sorvane" ] || { echo "drag-demo: no program at $build/sorvane (build it first)" >&2; exit 1; }
  # The drag source is a tool of its own, built beside the board.
  cmake -S "$root/tests/support/drag_source" -B "$build/drag_source" >/dev/null
  cmake --build "$build/drag_source" -j2 >/dev/null
  [ -n "$out" ] || out=$(mktemp -d /tmp/drag-demo.XXXXXX)
  mkdir -p "$out"
  export DRAG_DEMO_INSIDE_X=1
  exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$0" "$slot" "$build" "$out"
fi

# --- Inside the private X server from here on ---
out=$(cd "$out" && pwd)
work=$(mktemp -d /tmp/drag-demo-run.XXXXXX)
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
export SDL_AUDIODRIVER=dummy  # no sound server needed to assign a sound
log="$out/demo.log"
: >"$log"

board_pid=""
source_pid=""
cleanup() {
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null || true
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The sound to drag: one second of a tone, in a folder of its own outside the program's.
mkdir -p "$work/sounds" "$work/board"
sound="$work/sounds/demo tone.wav"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=660:duration=1" "$sound"

# The board runs in its own folder: that is where it reads and writes its slot list.
cd "$work/board"
"$build/sorvane" >>"$log" 2>&1 &
board_pid=$!
board=$(xdotool search --sync --onlyvisible --name '^Sorvane' | head -1)
# There is no window manager: place the windows ourselves, board at the top left.
xdotool windowmove --sync "$board" 0 0
"$build/drag_source/drag_source" "$sound" >"$work/source.out" 2>>"$log" &
source_pid=$!
source_win=$(xdotool search --sync --onlyvisible --name '^drag-source$' | head -1)
xdotool windowmove --sync "$source_win" 1040 680
sleep 1  # let start-up finish (the status box leaves "初期化中")

# Where slot N's name box is, in pixels from the board's client area (15 twips a pixel):
# Frame2 at (7,42); slot frames at left 7 or 490 and top 14 (slot 0) or 21 + 28*row; the
# name box at (35,0) in its frame, 7 lower in slot 0, 141 x 25.
eval "$(xdotool getwindowgeometry --shell "$board")"
bx=$X by=$Y
row=$((slot % 19))
if [ "$slot" -lt 19 ]; then frame_left=7; else frame_left=490; fi
if [ "$slot" -eq 0 ]; then frame_top=14; dy=7; else frame_top=$((21 + 28 * row)); dy=0; fi
name_x=$((bx + 7 + frame_left + 35 + 70))
name_y=$((by + 42 + frame_top + dy + 12))
eval "$(xdotool getwindowgeometry --shell "$source_win")"
src_x=$((X + WIDTH / 2)) src_y=$((Y + HEIGHT / 2))
echo "slot $slot name box at ($name_x,$name_y); drag source at ($src_x,$src_y)" | tee -a "$log"

# The drag: press on the source, move in steps (the drop target answers each position), release.
xdotool mousemove --sync "$src_x" "$src_y"
sleep 0.3
xdotool mousedown 1
sleep 0.3
steps=25
for ((k = 1; k <= steps; k++)); do
  xdotool mousemove $((src_x + (name_x - src_x) * k / steps)) $((src_y + (name_y - src_y) * k / steps))
  sleep 0.05
done
xdotool mousemove "$name_x" "$((name_y + 1))"
sleep 0.3
xdotool mousemove "$name_x" "$name_y"
sleep 0.3
xdotool mouseup 1
sleep 1
echo "drag source: $(cat "$work/source.out" 2>/dev/null || true)" | tee -a "$log"
import -window "$board" "$out/assigned.png"

# A right click on the same name box opens the slot pop-up menu at the pointer, to its lower
# right. It is seen as the screen changing there, and changing back after Escape.
region="200x120+$name_x+$name_y"
differing() { compare -metric AE "$1" "$2" null: 2>&1 | cut -d' ' -f1 || true; }
xdotool mousemove --sync "$name_x" "$name_y"
sleep 0.3
import -window root -crop "$region" "$work/before.png"
xdotool click 3
sleep 0.7
import -window root "$out/menu.png"
import -window root -crop "$region" "$work/menu.png"
xdotool key Escape
sleep 0.5
import -window root -crop "$region" "$work/after.png"
opened=$(differing "$work/before.png" "$work/menu.png")
left=$(differing "$work/before.png" "$work/after.png")
echo "pixels changed by the right click: $opened; left changed after Escape: $left" | tee -a "$log"
menu_open=no
[ "${opened%.*}" -gt 2000 ] && [ "${left%.*}" -lt 50 ] && menu_open=yes
echo "pop-up menu open: $menu_open" | tee -a "$log"

# Closing the board writes the slot list; SIGTERM closes it like its close button.
kill -TERM "$board_pid"
wait "$board_pid" || true
board_pid=""
cp SoundList.csv "$out/SoundList.csv" 2>/dev/null || true

status=0
line=$(sed -n "$((slot + 1))p" SoundList.csv 2>/dev/null | tr -d '\r' || true)
echo "slot list line $((slot + 1)): $line" | tee -a "$log"
if [[ "$line" == *"$sound"* ]]; then
  echo "PASS: the dropped file is in slot $slot's line" | tee -a "$log"
else
  echo "FAIL: slot $slot's line does not hold $sound" | tee -a "$log"
  status=1
fi
if [ "$menu_open" = yes ]; then
  echo "PASS: the right click opened the pop-up menu" | tee -a "$log"
else
  echo "FAIL: no pop-up menu after the right click" | tee -a "$log"
  status=1
fi
echo "screenshots: $out/assigned.png $out/menu.png" | tee -a "$log"
exit $status
