#!/usr/bin/env bash
# The picture of the board playing that the documentation shows (docs/screenshot.png): under a
# private X server, with no sound server (SDL's dummy driver plays into nothing, in real time),
# in a scratch folder whose list puts generated tones on a few slots. Three of their keys are
# typed, so those slots sound and their key labels are lit when the picture is taken. The
# picture is reduced to a small palette, so it stays small in the repository.
# Usage: scripts/screenshot.sh [OUT.png]   (default docs/screenshot.png; BUILD=folder picks the build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
out=${1:-$root/docs/screenshot.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

for tool in xvfb-run xauth xdotool import convert ffmpeg; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build"
cmake --build "$build" --target sorvane -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
mkdir "$work/board"

# The list holds one record a slot, in slot order. Assigned here: slot, display name, tone (Hz),
# fade-out box, exclusive box; the others keep their default keys. The list is UTF-8, which the
# board reads as well as Shift-JIS.
declare -A assigned=(
  [0]="開演ベル|440|0|0" [1]="拍手|550|1|0" [2]="チャイム|660|0|0" [3]="BGM|330|1|1"
  [5]="効果音 1|880|0|0" [6]="効果音 2|990|0|0" [19]="エンディング|220|1|0"
)
keys="0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW"
for ((slot = 0; slot < 38; slot++)); do
  if [ -z "${assigned[$slot]:-}" ]; then
    printf ' %s ,"%s","","", 0 , 0 , 0 , 0 \r\n' "$slot" "${keys:slot:1}"
    continue
  fi
  IFS='|' read -r name hz fade exclusive <<<"${assigned[$slot]}"
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$hz:duration=30" -ac 2 "$work/board/tone$hz.wav"
  printf ' %s ,"%s","%s","tone%s.wav", 0 , 800 , %s , %s \r\n' "$slot" "${keys:slot:1}" "$name" "$hz" "$fade" "$exclusive"
done >"$work/board/SoundList.csv"

export XDG_RUNTIME_DIR="$work/runtime" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
unset PULSE_SERVER PIPEWIRE_REMOTE
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash -c '
  set -euo pipefail
  cd "$1/board"
  "$2" >"$1/sorvane.log" 2>&1 &
  pid=$!
  trap "kill \$pid 2>/dev/null; wait \$pid || true" EXIT  # the board ends before its X server
  wid=$(timeout 30 xdotool search --sync --onlyvisible --name "^Sorvane Ver" | head -n 1)
  xdotool windowfocus --sync "$wid"
  sleep 1  # start-up opens the sounds
  for key in 0 2 5; do xdotool key --clearmodifiers "$key"; done
  sleep 1  # the timer lights the keys of the slots that sound
  import -window "$wid" "$1/shot.png"
' screenshot "$work" "$build/sorvane" || { cat "$work/sorvane.log" >&2; echo "screenshot.sh: no picture" >&2; exit 1; }

mkdir -p "$(dirname "$out")"
convert "$work/shot.png" -dither None -colors 64 -strip "PNG8:$out"
echo "$out"
