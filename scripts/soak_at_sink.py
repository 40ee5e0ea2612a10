#!/usr/bin/env python3
"""The soak run on the device output, heard at the sink: on each installed sound server (a
private one, with a null sink) the soak driver plays its random operations on slots 0-36, on the
right channel, while slot 37 holds a steady 499 Hz pilot on the left from start to end. The sink
is recorded, and every break in the pilot (silence put in, a level drop, frames lost or
repeated) is a dropout. Exits 1 on a dropout or when the soak itself failed.

Usage: soak_at_sink.py PATH/TO/sorvane_soak   (SOAK_SECONDS, SOAK_SEED as for the soak)
"""

import array
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_harness import RATE, require, exit_with, parec, servers, sine_breaks, stop_all  # noqa: E402

PILOT_HZ = 499
EDGE = RATE // 5  # the pilot's own start and end are not breaks


def pilot_of(path):
    """The left channel where the pilot sounds: from its first to its last loud sample."""
    samples = array.array("f")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(memoryview(data)[:len(data) // 8 * 8])
    del data
    left = samples[0::2]
    del samples
    loud = [n for n in range(0, len(left), RATE // 100) if abs(left[n]) > 0.02]
    require(loud, "the pilot tone was never heard")
    return left[loud[0] + EDGE:loud[-1] - EDGE]


def soak_on(kind, exe, top):
    server = recorder = None
    raw = os.path.join(top, kind.name + ".raw")
    try:
        server = kind(os.path.join(top, "run-" + kind.name)).start()
        with open(raw, "wb") as out:
            recorder = parec(server, "cap", out, "--latency-msec=20")
            env = dict(server.env, QT_QPA_PLATFORM="offscreen", SOAK_OUTPUT="device")
            result = subprocess.run([exe], env=env).returncode
            stop_all(recorder)
    finally:
        stop_all(recorder, server)
    pilot = pilot_of(raw)
    os.remove(raw)
    _, breaks = sine_breaks(pilot, PILOT_HZ)
    seconds = len(pilot) / RATE
    print(f"{kind.name}: soak exit {result}; pilot heard {seconds:.0f} s; dropouts {len(breaks)}"
          + "".join(f"\n  {a / RATE:8.3f} s  {(b - a + 1) * 1000 / RATE:5.1f} ms" for a, b in breaks[:50]))
    return result == 0 and not breaks


def main():
    exe = os.path.abspath(sys.argv[1])
    kinds = servers()
    require(kinds, "no sound server is installed (make deps installs PulseAudio)")
    top = tempfile.mkdtemp(prefix="sorvane-soak-")
    try:
        passed = [soak_on(kind, exe, top) for kind in kinds]
    finally:
        shutil.rmtree(top, ignore_errors=True)
    print("soak at the sink: " + ("PASSED" if all(passed) else "FAILED"))
    return 0 if all(passed) else 1


if __name__ == "__main__":
    exit_with("soak at the sink", main)
