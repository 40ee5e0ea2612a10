#!/usr/bin/env python3
"""How late the board's audio thread wakes against the moment it is due, on each installed sound
server: on PipeWire the graph's data thread against the start of the cycle that calls it, on
PulseAudio the feeding thread against the end of the wait it asked for. Three cases, each a fresh
board with 38 five-minute mp3 sounds: waiting with nothing played, all 38 playing, and all 38
playing while every core is kept busy by normal-priority processes. The board counts the wake-ups
itself (SORVANE_WAKE_REPORT=1) and says so when its output closes; this prints them as a table,
with the time the virtual machine's host kept its CPUs from it meanwhile (steal, /proc/stat): a
late wake in a case with none was the guest's own.

Usage: wakeups.py PATH/TO/sorvane [--seconds 60] [--out RESULTS.md]   (under an X server)
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_harness import ENDS_WITH_US, exit_with, install_watchdog, publish, require, servers, stop_all  # noqa: E402
from dropouts import KEYS  # noqa: E402
from idle import SLOTS, TITLE, board_setup, sounds_open, write_list  # noqa: E402

CASES = (("waiting", False, False), ("38 playing", True, False), ("38 playing, cores busy", True, True))
LINE = re.compile(r"sorvane: wake-ups of the (\S+) feeding thread (.*?): (\d+); (.*); worst (.*); done by (.*) at worst$")


def steal_ms():
    """CPU time the host took from this virtual machine so far, all CPUs (0 on real hardware)."""
    with open("/proc/stat") as f:
        fields = f.readline().split()
    return int(fields[8]) * 1000 // os.sysconf("SC_CLK_TCK") if len(fields) > 8 else 0


def run_case(exe, folder, sounds, server, x, log_path, seconds, play, busy):
    env = dict(server.env, QT_QPA_PLATFORM="xcb", SORVANE_WAKE_REPORT="1")
    with open(log_path, "wb") as log:
        proc = subprocess.Popen([exe], cwd=folder, env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    loads = []
    try:
        deadline = time.monotonic() + 30
        while not (x.shown(TITLE) and sounds_open(proc.pid, sounds) >= SLOTS):
            require(proc.poll() is None and time.monotonic() < deadline, f"the board did not start (see {log_path})")
            time.sleep(0.05)
        window = x.shown(TITLE)
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window)], env=env, timeout=10, check=True)
        time.sleep(1)
        for key in KEYS[:SLOTS] if play else ():
            x.press_key(key)
            time.sleep(0.02)
        loads = [subprocess.Popen(ENDS_WITH_US + [sys.executable, "-c", "while True: pass"])
                 for _ in range(os.cpu_count() if busy else 0)]
        stolen = steal_ms()
        time.sleep(seconds)
        stolen = steal_ms() - stolen
        stop_all(*loads)
        x.request_close(window)
        proc.wait(15)
    finally:
        stop_all(*loads, proc if proc.poll() is None else None)
    with open(log_path, encoding="utf-8", errors="replace") as f:
        found = [LINE.search(line) for line in f]
    found = [m for m in found if m]
    require(found, f"the board said nothing of its wake-ups (see {log_path})")
    return found[-1], stolen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--out")
    args = parser.parse_args()
    kinds = servers()
    require(kinds, "no sound server is installed (make deps installs PulseAudio)")
    install_watchdog(int(120 + len(kinds) * len(CASES) * (args.seconds + 40)))
    top = tempfile.mkdtemp(prefix="sorvane-wakeups-")
    rows = ["| server | case | thread woken, against | wake-ups | how late | latest wake | latest done | steal |",
            "|---|---|---|---|---|---|---|---|"]
    x = None
    try:
        sounds, paths, folder, x = board_setup(top)
        for kind in kinds:
            server = None
            try:
                server = kind(os.path.join(top, "run-" + kind.name), sinks=("cap",)).start()
                for name, play, busy in CASES:
                    write_list(folder, paths)
                    m, stolen = run_case(os.path.abspath(args.exe), folder, sounds, server, x,
                                 os.path.join(top, "board.log"), args.seconds, play, busy)
                    rows.append(f"| {kind.name} | {name} | {m.group(1)}, {m.group(2)} | {m.group(3)} | "
                                f"{m.group(4)} | {m.group(5)} | {m.group(6)} | {stolen} ms |")
                    print(rows[-1], flush=True)
            finally:
                stop_all(server)
    finally:
        stop_all(x)
        shutil.rmtree(top, ignore_errors=True)
    publish("\n".join(rows), args.out)
    return 0


if __name__ == "__main__":
    exit_with("wakeups", main)
