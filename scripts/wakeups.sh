#!/usr/bin/env bash
# How late the board's audio thread wakes against its deadline, waiting, playing 38 sounds and
# playing them with every core busy, on each installed sound server. See scripts/wakeups.py.
# Usage: [WAKEUP_SECONDS=60] scripts/wakeups.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe="${1:-build}/sorvane"
[ -x "$exe" ] || { echo "wakeups.sh: no program at $exe (build it first)" >&2; exit 1; }
for tool in xvfb-run xauth xdotool setpriv pactl ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "wakeups.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
  python3 "$root/scripts/wakeups.py" "$exe" --seconds "${WAKEUP_SECONDS:-60}"
