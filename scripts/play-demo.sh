#!/usr/bin/env bash
# Plays the board from the keyboard as a user would and checks what comes out of the speakers.
# Under a private X server and PulseAudio null sink the board plays three tones (440 Hz on key
# 0, 660 Hz with fade-out on key 1, 990 Hz on key 2); xdotool types the keys and the end-to-end
# test's ear (tests/support/ear.py) hears each tone start and stop with its key, the
# fade-out decay and stop about 4.4 s after its key, and Escape silence everything. Prints what
# it heard; exits non-zero when an expectation fails.
# Usage: scripts/play-demo.sh [PATH/TO/sorvane]   (default: build/sorvane)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "${1:-$root/build/sorvane}")
for tool in xvfb-run xauth xdotool pulseaudio pactl parec ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "play-demo: $tool is not installed" >&2; exit 2; }
done
[ -x "$exe" ] || { echo "play-demo: no program at $exe" >&2; exit 2; }

exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" python3 - "$exe" "$root/tests/support" <<'PY'
import os, shutil, sys, tempfile, time
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[2])
from ear import Ear, Failure, fmt
from board_harness import Board, Recorder, SoundServer, make_tone, stop_all

top = tempfile.mkdtemp(prefix="play-demo-")
folder = os.path.join(top, "board")
os.makedirs(folder)
for freq in (440, 660, 990):
    make_tone(os.path.join(folder, f"tone{freq}.wav"), freq, 30)
with open(os.path.join(folder, "SoundList.csv"), "w", newline="") as f:
    f.write(' 0 ,"0","tone440","tone440.wav", 0 , 800 , 0 , 0 \r\n'
            ' 1 ,"1","tone660","tone660.wav", 0 , 800 , 1 , 0 \r\n'
            ' 2 ,"2","tone990","tone990.wav", 0 , 800 , 0 , 0 \r\n')
server = recorder = board = None
try:
    server = SoundServer(os.path.join(top, "run")).start()
    recorder = Recorder(server)
    recorder.wait_started()
    ear = Ear(recorder)
    board = Board(sys.argv[1], folder, server, os.path.join(top, "board.log"))
    start = board.key("0")
    ear.expect_soon("440 Hz plays from key 0", {440: True}, start, timeout=8)
    print("ok: 440 Hz plays from key 0")
    ear.press(board, "1", {440: True, 660: True}, "660 Hz plays from key 1 beside it")
    ear.press(board, "0", {440: False, 660: True}, "440 Hz stops at key 0 again")
    ear.press(board, "2", {660: True, 990: True}, "990 Hz plays from key 2")
    ear.fade(board, "1", 660)
    ear.press(board, "0", {440: True, 660: False, 990: True}, "440 Hz plays again from key 0")
    end = ear.press(board, "Escape", {440: False, 660: False, 990: False}, "Escape silences all") + 0.5
    print("   t/s  level of 440 660 990 Hz, one 100 ms window each half second")
    for i in range(int((end - start) / 0.5)):
        t = start + i * 0.5
        print(f"{i * 0.5:6.1f}  " + fmt([ear.level(f, t, t + 0.1) for f in (440, 660, 990)]))
    print("all expectations met")
except Failure as e:
    print(f"FAIL: {e}")
    sys.exit(1)
finally:
    stop_all(board, recorder, server)
    shutil.rmtree(top, ignore_errors=True)
PY
