#!/usr/bin/env bash
# Dropout meter: the board's steady tone on 1, 8 and 38 voices, idle and with every core busy,
# on each installed sound server, next to paplay; lists every break. See scripts/dropouts.py.
# Usage: [DROPOUT_SECONDS=30] [DROPOUT_VOICES="1 8 38"] scripts/dropouts.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe="${1:-build}/sorvane"
[ -x "$exe" ] || { echo "dropouts.sh: no program at $exe (build it first)" >&2; exit 1; }
for tool in xvfb-run xauth pactl parec paplay ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "dropouts.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" python3 "$root/scripts/dropouts.py" "$exe"
