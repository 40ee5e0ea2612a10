#!/usr/bin/env bash
# Key-to-sound latency of the board against the sound server's own floor (paplay), under a
# private X server and a private server of each installed kind (PulseAudio, PipeWire). Prints a
# Markdown table.
# With QUIET_SECONDS, each press comes after that long with nothing played or pressed.
# Usage: scripts/latency.sh [BUILD_DIR] [RESULTS.md] [PRESSES] [QUIET_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
out=${2:-}
presses=${3:-50}
quiet=${4:-0}
exe="$build/sorvane"
[ -x "$exe" ] || { echo "latency.sh: no program at $exe (build it first)" >&2; exit 1; }
for tool in xvfb-run xauth setpriv pactl parec paplay ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "latency.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" \
  python3 "$root/scripts/latency.py" "$exe" --presses "$presses" --quiet "$quiet" ${out:+--out "$out"}
