#!/usr/bin/env python3
"""Key-to-sound latency of the board on each installed sound server (at its default settings),
next to the server's own floor: the board plays a short tone on sink "cap" when its key is
typed (an XTEST event sent from here, so no process start is counted), and at the same moment
`paplay` starts the same file on sink "ref" (its start is counted: that is how a cue player
would use it). Both sinks are recorded with dated frames, so each try's first audible sample
gives the time from the trigger to the sink.

With --quiet S each press comes after S seconds in which nothing was played or pressed: the
first key after a long quiet, when an output may have let its stream rest.

Usage: latency.py PATH/TO/sorvane [--presses N] [--quiet S] [--out RESULTS.md]   (under an X server)
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_harness import (Board, Recorder, XDisplay, exit_with, install_watchdog, publish, require,  # noqa: E402
                         make_tone, servers, stop_all)

TONE_SECONDS = 0.25
GAP_SECONDS = 0.45      # the tone has ended and both sinks are silent again


def percentile(values, p):  # nearest rank
    return sorted(values)[max(0, min(len(values) - 1, int(round(p / 100.0 * len(values) + 0.5)) - 1))]


def summary(name, values, tries):
    ms = [v * 1000 for v in values]
    if not ms:
        return f"| {name} | 0 of {tries} | – | – | – | – |"
    return (f"| {name} | {len(ms)} of {tries} | {statistics.median(ms):.1f} | "
            f"{percentile(ms, 95):.1f} | {min(ms):.1f} | {max(ms):.1f} |")


def measure(kind, exe, top, folder, tone, presses, quiet=0.0):
    """Onsets in seconds through one kind of sound server: the board's, paplay's beside it and alone."""
    server = cap = ref = board = x = None
    board_ms, paplay_ms, alone_ms = [], [], []

    def paplay(press_key):
        """One try: the key (if asked) and paplay at the same moment; onsets into the lists."""
        t_key = x.press_key("0") if press_key else None
        t_paplay = time.monotonic()
        player = subprocess.Popen(["paplay", "-d", "ref", tone], env=server.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(GAP_SECONDS)
        player.wait(5)
        for values, recorder, t in ((board_ms, cap, t_key), (paplay_ms if press_key else alone_ms, ref, t_paplay)):
            onset = recorder.onset_after(t) if t is not None else None
            if onset is not None:
                values.append(onset)

    try:
        server = kind(os.path.join(top, "run-" + kind.name), sinks=("cap", "ref")).start()
        cap, ref = Recorder(server, "cap"), Recorder(server, "ref")
        cap.wait_started()
        ref.wait_started()
        board = Board(exe, folder, server, os.path.join(top, "board.log"))
        print(f"{kind.name}: {board.start_line() or 'the board did not say which output it opened'}")
        x = XDisplay()
        # Start-up opens the output stream; the first callbacks through the server come late,
        # so the first few tries are not counted.
        for _ in range(20):
            t = x.press_key("0")
            time.sleep(GAP_SECONDS)
            if cap.onset_after(t) is not None:
                break
        for _ in range(3):
            x.press_key("0")
            time.sleep(GAP_SECONDS)
        for _ in range(presses):
            time.sleep(quiet)
            paplay(press_key=True)
        for _ in range(presses):  # the floor again with nothing else going on
            paplay(press_key=False)
    finally:
        stop_all(x, board, cap, ref, server)
    return board_ms, paplay_ms, alone_ms


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--presses", type=int, default=50)
    parser.add_argument("--quiet", type=float, default=0.0)
    parser.add_argument("--out")
    args = parser.parse_args()
    kinds = servers()
    require(kinds, "no sound server is installed (make deps installs PulseAudio)")
    install_watchdog(int((60 + args.presses * (2 + args.quiet)) * len(kinds)))

    top = tempfile.mkdtemp(prefix="sorvane-latency-")
    folder = os.path.join(top, "board")
    os.makedirs(folder)
    tone = os.path.join(top, "tone.wav")
    make_tone(tone, 1000, TONE_SECONDS, ("-c:a", "pcm_s16le"))
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write(f'0,"0","tone","{tone}",0,1000,0,0\r\n'.encode("cp932"))
    rows = ["| server | trigger → first audible sample at the sink | heard | median ms | 95th percentile ms | min ms | max ms |",
            "|---|---|---|---|---|---|---|"]
    try:
        for kind in kinds:
            board, paplay, alone = measure(kind, os.path.abspath(args.exe), top, folder, tone, args.presses,
                                           args.quiet)
            after = f" after {args.quiet:g} s quiet" if args.quiet else ""
            rows += [summary(f"{kind.name} | board: key (XTEST){after} → slot plays", board, args.presses),
                     summary(f"{kind.name} | paplay started at the same moment (server floor)", paplay, args.presses),
                     summary(f"{kind.name} | paplay alone", alone, args.presses)]
    finally:
        shutil.rmtree(top, ignore_errors=True)
    publish("\n".join(rows), args.out)
    return 0 if all("| 0 of" not in row for row in rows[2::3]) else 1


if __name__ == "__main__":
    exit_with("latency", main)
