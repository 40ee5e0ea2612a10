#!/usr/bin/env bash
# What a waiting board costs (CPU per minute of the board and of the server, per thread) and how
# fast it starts, on each installed sound server, under a private X server. See scripts/idle.py.
# Usage: scripts/idle.sh [BUILD_DIR] [-- idle.py options: --peer EXE --seconds S --repeat N --out FILE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
shift || true
[ "${1:-}" = "--" ] && shift
exe="$build/sorvane"
[ -x "$exe" ] || { echo "idle.sh: no program at $exe (build it first)" >&2; exit 1; }
for tool in xvfb-run xauth setpriv pactl ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "idle.sh: $tool is missing (make deps installs it)" >&2; exit 1; }
done
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" python3 "$root/scripts/idle.py" "$exe" "$@"
