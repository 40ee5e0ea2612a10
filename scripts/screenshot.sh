#!/usr/bin/env bash
# A picture of the board as it starts, under a private X server, in a scratch folder (so the
# slot list it reads and writes is not the user's).
# Usage: scripts/screenshot.sh [OUT.png] [LIST.csv]
#   OUT.png   where to save the picture (default build/screenshot.png)
#   LIST.csv  a slot list to start with (its sound paths should be absolute)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
out=${1:-$build/screenshot.png}
list=${2:-}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
if [ -n "$list" ]; then case "$list" in /*) ;; *) list="$PWD/$list" ;; esac; fi

for tool in xvfb-run xauth xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build"
cmake --build "$build" --target sorvane -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
[ -z "$list" ] || cp "$list" "$work/SoundList.csv"
mkdir -p "$(dirname "$out")"

export XDG_RUNTIME_DIR="$work/runtime"
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  cd "$1"
  "$2" >"$1/sorvane.log" 2>&1 &
  pid=$!
  wid=$(timeout 30 xdotool search --sync --name "Sorvane Ver" | head -n 1)
  sleep 1  # let the first paint finish
  import -window "$wid" "$3"
  kill "$pid"
  wait "$pid" || true
' screenshot "$work" "$build/sorvane" "$out"
echo "$out"
