#!/usr/bin/env python3
"""Dropout meter. The real board plays one steady tone on 1, 8 and 38 voices into a private sound
server's null sink, on each sound server installed, with the machine idle and with every core
kept busy by normal-priority processes; `paplay` plays the same file into a second null sink at
the same time (the server's own floor). Both sinks are recorded and every break in the tone is
listed: inserted silence, a level drop, or frames lost or repeated. Exits 1 when the board broke.

The tone is 997 Hz on the left and 1451 Hz on the right, at 1/8 of full scale. Neither period is
a whole number of frames, and together they make any lost or repeated stretch of up to 100 ms
move one channel's phase by at least 0.012 period (up to 1 s: 0.004), which the detector sees.

Usage: dropouts.py PATH/TO/sorvane   (under an X server: scripts/dropouts.sh starts one)
Environment: DROPOUT_SECONDS per case (default 30), DROPOUT_VOICES (default "1 8 38").
"""

import array
import math
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_harness import (ENDS_WITH_US, LEVEL, RATE, Board, RunError, XDisplay, exit_with, make_tone,  # noqa: E402
                           parec, require, servers, sine_breaks, stop_all)

FREQS = (997, 1451)
VOLUME = 180  # 38 voices in phase stay below full scale: 38 * 0.125 * 0.18 = 0.86
KEYS = [*"0123456789", "KP_Divide", "KP_Multiply", "KP_Subtract", "KP_Add", "period", *"abcdefghijklmnopqrstuvw"]
MS = RATE // 1000
LISTED = 100  # breaks listed per recording; all are counted


def joined(per_channel):
    """The breaks of both channels as one list: overlapping or less than 1 ms apart make one."""
    out = []
    for a, b in sorted(br for breaks in per_channel for br in breaks):
        if out and a - out[-1][1] < MS:
            out[-1][1] = max(out[-1][1], b)
        else:
            out.append([a, b])
    return out


def describe(chans, amps, a, b):
    """What a break is: silence (how long), a level change, or the frames lost or repeated; and
    the frames the tone moved by across it, from the phase before and after on both channels."""
    def phase(x, f, n):  # in periods, from two samples: x[n] = A sin(p), x[n-1] = A sin(p - w)
        w = 2 * math.pi * f / RATE
        return math.atan2(x[n] * math.sin(w), x[n] * math.cos(w) - x[n - 1]) / (2 * math.pi)
    moved = None
    if a >= 2 and b + 2 < len(chans[0]):
        gaps = [(phase(x, f, b + 2) - phase(x, f, a - 1) - f * (b + 3 - a) / RATE) for x, f in zip(chans, FREQS)]
        # The moves within 100 ms that fit the left channel, tried on both.
        fits = (round((gaps[0] + m) * RATE / FREQS[0]) for m in range(-FREQS[0] // 10 - 1, FREQS[0] // 10 + 2))
        err, moved = min((max(abs(d - k * f / RATE - round(d - k * f / RATE)) for d, f in zip(gaps, FREQS)), k)
                         for k in fits)
        moved = moved if err < 0.05 else None  # not a clean jump: the phases do not agree
    silent = sum(all(abs(x[n]) < amp / 100 for x, amp in zip(chans, amps)) for n in range(a, b + 1))
    kind = ("silence" if silent else "level" if b - a > 4 or not moved else "lost" if moved > 0 else "repeated")
    return kind, (silent or b - a + 1) / MS, moved


def find(chans):
    """Amplitudes and the described breaks of a recording (one array per channel)."""
    found = [sine_breaks(x, f) for x, f in zip(chans, FREQS)]
    amps = [amp for amp, _ in found]
    return amps, [(a, *describe(chans, amps, a, b)) for a, b in joined([br for _, br in found])]


def self_check():
    """The detector on a made recording: the sum of 38 voices at random phases, with faults put
    in at known places. Each must be found once, of its kind, within 1 ms; nothing else."""
    rnd = random.Random(9)
    tones = []
    for f in FREQS:  # the sum of the voices: one sine
        re, im = (sum(fn(rnd.uniform(0, 2 * math.pi)) for _ in range(38)) for fn in (math.cos, math.sin))
        tones.append((0.0225 * math.hypot(re, im), 2 * math.pi * f / RATE, math.atan2(im, re)))
    plan = [("silence", 48), ("lost", 48), ("repeated", 48), ("level", 48), ("lost", 529), ("repeated", 4333)]
    frames, put, pos = [], [], 0  # frames: (source frame or None, gain)
    for kind, n in plan:
        frames += [(pos + i, 1.0) for i in range(RATE // 2)]
        pos += RATE // 2
        put.append((len(frames), kind))
        if kind == "silence":
            frames += [(None, 0.0)] * n
        elif kind == "level":
            frames += [(pos + i, 0.5) for i in range(n)]
        pos += {"lost": n, "repeated": -n, "level": n}.get(kind, 0)
    frames += [(pos + i, 1.0) for i in range(RATE // 2)]
    chans = [array.array("f", (0.0 if s is None else g * amp * math.sin(w * s + p) for s, g in frames))
             for amp, w, p in tones]
    _, found = find(chans)
    got = [(n, kind) for n, kind, *_ in found]
    require(len(got) == len(put) and all(abs(n - m) <= MS and k == j for (n, k), (m, j) in zip(got, put)),
          f"detector self-check: put in {put}, found {got}")
    print(f"detector self-check: found {', '.join(k for _, k in got)} where they were put in, nothing else")


def recorded(path):
    """The channels of a recording, without its first 100 ms: a PipeWire monitor may start with
    a quantum of silence."""
    with open(path, "rb") as f:
        f.seek(RATE // 10 * 8)
        data = f.read()
    samples = array.array("f")
    samples.frombytes(memoryview(data)[:len(data) // 8 * 8])
    return [samples[0::2], samples[1::2]]


def case(server, x, top, tone, voices, busy, seconds):
    """One run: returns the table row and the lines that list the breaks."""
    single = 0.125 * VOLUME / 1000
    probe = os.path.join(top, "probe.raw")
    for _ in range(5):  # voices of one frequency may all but cancel: start them again
        for key in KEYS[:voices]:
            x.press_key(key)
            time.sleep(0.02)
        time.sleep(1.5)
        with open(probe, "wb") as out:
            rec = parec(server, "cap", out, "--latency-msec=20")
            time.sleep(0.5)
            stop_all(rec)
        amps = [sine_breaks(c[-RATE // 5:], f)[0] for c, f in zip(recorded(probe), FREQS)]
        if min(amps) > single / 4:
            break
        x.press_key("Escape")
        time.sleep(0.5)
    else:
        raise RunError(f"{voices} voices: the tone did not sound (amplitudes {amps})")
    procs = [subprocess.Popen(ENDS_WITH_US + [sys.executable, "-c", "while True: pass"])
             for _ in range(os.cpu_count() if busy else 0)]
    try:
        procs.append(subprocess.Popen(["paplay", "-d", "ref", tone], env=server.env))
        time.sleep(1)
        files = [os.path.join(top, f"{sink}.raw") for sink in ("cap", "ref")]
        outs = [open(path, "wb") for path in files]
        procs += [parec(server, sink, out, "--latency-msec=20") for sink, out in zip(("cap", "ref"), outs)]
        time.sleep(seconds)
        load = os.getloadavg()[0]
    finally:
        stop_all(*reversed(procs))
    x.press_key("Escape")
    row, lines = [server.name, "busy" if busy else "idle", str(voices)], []
    for who, path, out in zip(("board", "paplay"), files, outs):
        out.close()
        chans = recorded(path)
        os.remove(path)
        require(len(chans[0]) > RATE, f"{who}: nothing was recorded")
        amps, found = find(chans)
        minutes = len(chans[0]) / RATE / 60
        row += [str(len(found)), f"{len(found) / minutes:.1f}", f"{sum(f[2] for f in found) / 1000:.2f}"]
        kinds = sorted({kind for _, kind, *_ in found})
        lines += [f"  {who}: {len(found)}, " + ", ".join(f"{k} {sum(f[1] == k for f in found)}" for k in kinds) +
                  f"; longest {max(f[2] for f in found):.1f} ms"] if found else []
        lines += [f"  {who}: {t / RATE:8.3f} s  {kind:<8} {ms:5.1f} ms" + ("" if moved is None else f"  moved {moved:+d} frames")
                  for t, kind, ms, moved in found[:LISTED]]
        require(min(amps) > single / 4 * (1 - LEVEL), f"{who}: the tone stopped (amplitudes {amps})")
    return row + [f"{minutes * 60:.0f}", f"{load:.1f}"], lines


def main():
    exe = os.path.abspath(sys.argv[1])
    seconds = float(os.environ.get("DROPOUT_SECONDS", 30))
    voice_counts = [int(v) for v in os.environ.get("DROPOUT_VOICES", "1 8 38").split()]
    self_check()
    kinds = servers()
    require(kinds, "no sound server installed (make deps installs PulseAudio)")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("dropouts: terminated"))  # so all is stopped
    top = tempfile.mkdtemp(prefix="sorvane-dropouts-")
    folder, tone = os.path.join(top, "board"), os.path.join(top, "tone.wav")
    os.makedirs(folder)
    make_tone(tone, FREQS, seconds + 30, ("-c:a", "pcm_f32le"))
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write("".join(f'{i},"{k}","tone","{tone}",0,{VOLUME},0,0\r\n' for i, k in enumerate(
            "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW")).encode("cp932"))
    rows, lines = [], []
    try:
        for kind in kinds:
            server = board = x = None
            try:
                server = kind(os.path.join(top, "run-" + kind.name), sinks=("cap", "ref")).start()
                print(f"{kind.name}: server threads {'' if server.realtime() else 'not '}real-time")
                board = Board(exe, folder, server, os.path.join(top, "board.log"))
                print(f"{kind.name}: {board.start_line() or 'the board did not say which output it opened'}")
                x = XDisplay()
                for voices in voice_counts:
                    for busy in (False, True):
                        row, found = case(server, x, top, tone, voices, busy, seconds)
                        rows.append(row)
                        lines += [f"{' '.join(row[:3])} voices:"] + found if found else []
                        print("| " + " | ".join(row) + " |", flush=True)
            finally:
                stop_all(x, board, server)
    finally:
        shutil.rmtree(top, ignore_errors=True)
    print("\n| server | load | voices | board dropouts | per minute | seconds lost | paplay dropouts | per minute |"
          " seconds lost | seconds | load average |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print("\n".join(["", "Dropouts (time into the recording, kind, length):"] + lines) if lines else "\nNo dropouts.")
    return 1 if any(int(row[3]) for row in rows) else 0


if __name__ == "__main__":
    exit_with("dropouts", main)
