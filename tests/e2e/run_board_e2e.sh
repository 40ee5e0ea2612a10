#!/usr/bin/env bash
# Runs the board's end-to-end test under a private X server (xvfb-run) and a private sound
# server (started by the test itself). Exit 77 tells ctest the test was skipped: only when a
# tool it needs is not installed (`make deps` installs them all).
# Usage: run_board_e2e.sh PATH/TO/sorvane
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=${1:?usage: run_board_e2e.sh PATH/TO/sorvane}

for tool in xvfb-run Xvfb xauth xdotool pulseaudio pactl parec ffmpeg python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (make deps installs it)"
    exit 77
  fi
done
if [ ! -x "$exe" ]; then
  echo "FAIL: no program at $exe"
  exit 1
fi

# -a: a free display number, so a developer's own X session is never touched.
exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" python3 "$here/board_e2e.py" "$exe"
