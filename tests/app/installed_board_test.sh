#!/usr/bin/env bash
# The installed board as a user meets it: installed into a prefix with a blank in its path, started
# from its desktop entry under a private X server on the platform the test sets (xcb), never the
# caller's, two sounds dragged onto it as a file manager drags them (one from the board's folder,
# $XDG_DATA_HOME/sorvane, one from beside the installed program), and 基本のフォルダを開く chosen from
# the slot menu. The list must keep the first relative to the board's folder and the second by its
# full path, the menu must open the board's folder (a stand-in for the desktop's opener records what
# it was asked), and after a restart both sounds must be found again. Ended as a session end ends it
# (SIGTERM), the board writes its list in the board's folder, ~/.local/share/sorvane when
# XDG_DATA_HOME is unset, also when the launcher is started by a relative path, and never in the
# folder it was started from.
# Usage: installed_board_test.sh BUILD_DIR DRAG_SOURCE
set -u
build=${1:?usage: installed_board_test.sh BUILD_DIR DRAG_SOURCE}
drag_source=${2:?usage: installed_board_test.sh BUILD_DIR DRAG_SOURCE}
for tool in cmake xvfb-run Xvfb xauth xdotool ffmpeg timeout; do
  command -v "$tool" >/dev/null 2>&1 && continue
  [ "${CI:-}" = true ] && { echo "FAIL: $tool is not installed (make deps installs it)"; exit 1; }
  echo "SKIP: $tool is not installed (make deps installs it)"
  exit 77
done
if [ -z "${INSTALLED_BOARD_TEST_X:-}" ]; then
  INSTALLED_BOARD_TEST_X=1 exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$0" "$@"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/board.log" ] && sed 's/^/  board: /' "$work/board.log"
  exit 1
}

prefix="$work/pre fix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
folder="$work/data/sorvane"
mkdir -p "$folder" "$work/home" "$work/runtime" "$work/bin" "$work/started-from"
chmod 700 "$work/runtime"
ffmpeg -nostdin -loglevel error -f lavfi -i "sine=frequency=660:duration=1" "$folder/here.wav" || fail "ffmpeg"
cp "$folder/here.wav" "$prefix/bin/beside.wav"
# The desktop's opener, as Qt finds it on PATH: it only notes what it was asked to open.
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >>"%s"\n' "$work/opened" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

entry="$prefix/share/applications/sorvane.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$entry" | sed 's/%%/%/g')
[ -n "$exec_line" ] || fail "no Exec line in $entry"

board_pid=""
board=""
start_board() {  # XDG_DATA_HOME (empty: unset) [EXEC_LINE]
  local entry_line=${2:-$exec_line}
  (
    cd "$work/started-from" || exit 1
    unset XDG_DATA_HOME XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
    [ -z "$1" ] || export XDG_DATA_HOME="$1"
    export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
    export PATH="$work/bin:$PATH" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
    eval "set -- $entry_line"
    exec "$@"
  ) >>"$work/board.log" 2>&1 &
  board_pid=$!
  pids+=("$board_pid")
  board=$(timeout 30 xdotool search --sync --onlyvisible --name '^Sorvane Ver' | head -n 1)
  [ -n "$board" ] || fail "no window"
  # No window manager: the board goes to the top left, where its slots' places are known.
  xdotool windowmove --sync "$board" 0 0
  sleep 1  # start-up ends after the window shows
}
end_board() {  # FOLDER the list must be written in
  kill -TERM "$board_pid"
  timeout 30 tail --pid="$board_pid" -f /dev/null || fail "the board did not end"
  [ "$(grep -c $'\r$' "$1/SoundList.csv" 2>/dev/null)" = 38 ] || fail "no list of 38 lines in $1"
  [ -z "$(ls -A "$work/started-from")" ] || fail "the board wrote into the folder it was started from"
}

# The centre of slot N's key label or name box on screen (15 twips a pixel): the slot panel at
# (7,42) in the window, slot frames 7 or 490 from its left and 14 (slot 0) or 21 + 28 * row from
# its top, the key label 7 and the name box 35 from the frame's left, slot 0's controls 7 lower.
slot_point() {  # N label|name
  local n=$1 row=$(($1 % 19)) left=7 top dy=0
  [ "$n" -lt 19 ] || left=490
  if [ "$n" -eq 0 ]; then top=14; dy=7; else top=$((21 + 28 * row)); fi
  local x=$((7 + left + 7 + 12))
  [ "$2" = name ] && x=$((7 + left + 35 + 70))
  echo "$x $((42 + top + dy + 12))"
}

drag() {  # FILE N: from a drag source of its own to slot N's name box
  QT_QPA_PLATFORM=xcb "$drag_source" "$1" >"$work/drag.out" 2>>"$work/board.log" &
  local source_pid=$!
  pids+=("$source_pid")
  local source
  source=$(timeout 10 xdotool search --sync --onlyvisible --name '^drag-source$' | head -n 1)
  [ -n "$source" ] || fail "no drag source window"
  xdotool windowmove --sync "$source" 1040 680
  read -r x y < <(slot_point "$2" name)
  xdotool mousemove --sync 1120 720 mousedown 1
  sleep 0.3
  for k in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $((1120 + (x - 1120) * k / 10)) $((720 + (y - 720) * k / 10))
    sleep 0.05
  done
  xdotool mousemove "$x" $((y + 1)) sleep 0.3 mousemove "$x" "$y" sleep 0.3 mouseup 1
  sleep 0.5
  grep -q "drop accepted" "$work/drag.out" || fail "the drop of $1 on slot $2 was refused ($(cat "$work/drag.out"))"
  kill "$source_pid"
}

start_board "$work/data"
drag "$folder/here.wav" 1
drag "$prefix/bin/beside.wav" 2
read -r x y < <(slot_point 3 label)
# The menu opens at the pointer with nothing chosen: the second item is 基本のフォルダを開く.
xdotool mousemove --sync "$x" "$y" click 3 sleep 0.5 key Down Down Return
sleep 0.5
end_board "$folder"

line() { sed -n "$1p" "$folder/SoundList.csv" | tr -d '\r'; }
[ "$(line 2)" = ' 1 ,"1","here","here.wav", 0 , 800 , 0 , 0 ' ] ||
  fail "the sound from the board's folder is not kept relative to it: $(line 2)"
[ "$(line 3)" = " 2 ,\"2\",\"beside\",\"$prefix/bin/beside.wav\", 0 , 800 , 0 , 0 " ] ||
  fail "the sound from beside the program is not kept by its full path: $(line 3)"
opened=$(cat "$work/opened" 2>/dev/null)
[ "$opened" = "file://$folder" ] || [ "$opened" = "$folder" ] ||
  fail "the menu opened '$opened', not the board's folder $folder"

cp "$folder/SoundList.csv" "$work/first.csv"
: >"$work/board.log"
start_board "$work/data"
end_board "$folder"
! grep -q "keeps its record" "$work/board.log" || fail "a sound was not found after the restart"
cmp -s "$work/first.csv" "$folder/SoundList.csv" || fail "the list changed over a restart"

start_board ""
end_board "$work/home/.local/share/sorvane"
# Through env, since bash's exec would make the path absolute: the launcher finds the board
# before it changes to the data folder.
start_board "$work/relative" 'env "../pre fix/libexec/sorvane/sorvane-launch"'
end_board "$work/relative/sorvane"
echo "PASS: the installed board keeps its sounds in its folder, opens it, and keeps its list in the user's data folder"
