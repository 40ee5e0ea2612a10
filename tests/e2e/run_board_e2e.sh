#!/usr/bin/env bash
# The board's end-to-end test under a private X server (the test starts its own sound server).
# Exit 77 (skipped) only when a tool is not installed; `make deps` installs them all.
# Usage: run_board_e2e.sh PATH/TO/sorvane
set -u
exe=${1:?usage: run_board_e2e.sh PATH/TO/sorvane}
for tool in xvfb-run Xvfb xauth xdotool setpriv pactl parec ffmpeg python3; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed (make deps installs it)"; exit 77; }
done
[ -x "$exe" ] || { echo "FAIL: no program at $exe"; exit 1; }
# -a: a free display number, so a developer's own X session is never touched.
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" python3 "$(dirname "$0")/board_e2e.py" "$exe"
