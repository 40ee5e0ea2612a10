#!/usr/bin/env python3
"""What a waiting board costs, and how fast it starts. On each installed sound server (private, at
its default settings, a null sink), the board starts in a folder whose list holds 38 five-minute
mp3 sounds; the script times the window's appearance and the opening of the last sound from the
moment it started the program, lets the board settle, then counts the CPU time of the board and
of the server while nothing plays, per minute, and per thread of the board with its wake-ups per
second. The server's own cost with no client (its floor) is measured in the same run just before,
so its extra is what the board makes it do. Last, the window is closed as a window manager does
and the time to the end of the process is taken.

Each server's rows begin with the board's figures from before it learned to rest while waiting,
measured by this script on the development machine. With --peer, a second build of the board
(say, one from before a change) is measured in turns with the first, on the same server, so both
meet the same machine. CPU time is counted per process and thread (/proc/PID/task/*/schedstat),
not wall time: the figures hold on a shared machine, though a loaded one wakes threads later and
may shift a little. Medians of --repeat runs are printed.

Usage: idle.py PATH/TO/sorvane [--peer PATH/TO/other/sorvane] [--seconds 60] [--repeat 3]
       [--out RESULTS.md]   (under an X server: scripts/idle.sh starts one)
"""

import argparse
import ctypes
import ctypes.util
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from board_harness import (ENDS_WITH_US, XDisplay, exit_with, install_watchdog, make_tone,  # noqa: E402
                           publish, require, servers, stop_all)

SLOTS = 38
SOUND_SECONDS = 300
SETTLE_SECONDS = 5  # after the last sound opened: the first stretch decoded, the output started
TITLE = b"Sorvane Ver"
# Before the board rested while waiting (7 December 2026, three 60 s runs, medians; start-up ten
# runs): board and server-extra CPU s/min, window, last sound open and end after close, s.
BEFORE = {"PulseAudio": (0.894, 0.435, 0.060, 0.136, 0.032), "PipeWire": (0.342, 0.116, 0.057, 0.137, 0.032)}


def board_setup(top):
    """The 38 sounds under `top`, an empty board folder beside them, and the X display's windows."""
    sounds, paths = sound_files(top)
    folder = os.path.join(top, "board")
    os.makedirs(folder)
    return sounds, paths, folder, Windows()


def sound_files(top):
    """38 names of one five-minute mp3 (hard links: each opens and decodes on its own)."""
    folder = os.path.join(top, "sounds")
    os.makedirs(folder)
    first = os.path.join(folder, "s00.mp3")
    make_tone(first, 440, SOUND_SECONDS, ("-c:a", "libmp3lame", "-b:a", "192k"))
    paths = [first]
    for i in range(1, SLOTS):
        paths.append(os.path.join(folder, f"s{i:02d}.mp3"))
        os.link(first, paths[-1])
    return folder, paths


def write_list(folder, paths):
    keys = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW"
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write("".join(f'{i},"{keys[i]}","s{i:02d}","{p}",0,800,0,0\r\n'
                        for i, p in enumerate(paths)).encode("cp932"))


def threads(pid):
    """{tid: (name, cpu ns, context switches)} of a live process (empty once it has gone)."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(base + "/comm") as f:
                name = f.read().strip()
            with open(base + "/schedstat") as f:
                ns = int(f.read().split()[0])
            with open(base + "/status") as f:
                switches = sum(int(line.split()[1]) for line in f if "ctxt_switches" in line)
        except (OSError, ValueError, IndexError):
            continue
        out[tid] = (name, ns, switches)
    return out


def cpu_seconds(pids):
    return sum(ns for pid in pids for _, ns, _ in threads(pid).values()) / 1e9


def per_thread(before, after, seconds):
    """{name: [cpu s per minute, wake-ups per second]} over threads alive at both ends, by name."""
    out = {}
    for tid, (name, ns, switches) in after.items():
        if tid not in before:
            continue
        row = out.setdefault(name, [0.0, 0.0])
        row[0] += (ns - before[tid][1]) / 1e9 * 60 / seconds
        row[1] += (switches - before[tid][2]) / seconds
    return out


class _Attributes(ctypes.Structure):  # XWindowAttributes
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class Windows(XDisplay):
    """Finds the board's window among the top-level ones, once it is shown (viewable)."""

    def __init__(self):
        super().__init__()
        c, x11 = ctypes, self.x11
        for fn, restype, argtypes in [
                (x11.XDefaultRootWindow, c.c_ulong, [c.c_void_p]),
                (x11.XQueryTree, c.c_int, [c.c_void_p, c.c_ulong, c.POINTER(c.c_ulong), c.POINTER(c.c_ulong),
                                           c.POINTER(c.POINTER(c.c_ulong)), c.POINTER(c.c_uint)]),
                (x11.XFetchName, c.c_int, [c.c_void_p, c.c_ulong, c.POINTER(c.c_char_p)]),
                (x11.XGetWindowAttributes, c.c_int, [c.c_void_p, c.c_ulong, c.POINTER(_Attributes)]),
                (x11.XFree, c.c_int, [c.c_void_p])]:
            fn.restype, fn.argtypes = restype, argtypes

    def shown(self, title):
        """The board's window when it is viewable, else None."""
        x11, c = self.x11, ctypes
        root, parent, children, count = c.c_ulong(), c.c_ulong(), c.POINTER(c.c_ulong)(), c.c_uint()
        if not x11.XQueryTree(self.dpy, x11.XDefaultRootWindow(self.dpy), c.byref(root), c.byref(parent),
                              c.byref(children), c.byref(count)):
            return None
        found = None
        try:
            for i in range(count.value):
                window, name = children[i], c.c_char_p()
                if x11.XFetchName(self.dpy, window, c.byref(name)) and name.value:
                    titled = name.value.startswith(title)
                    x11.XFree(name)
                    attributes = _Attributes()
                    if titled and x11.XGetWindowAttributes(self.dpy, window, c.byref(attributes)) and \
                            attributes.map_state == 2:  # IsViewable
                        found = window
                        break
        finally:
            if children:
                x11.XFree(children)
        return found


def sounds_open(pid, folder):
    """How many of the sound files the process holds open."""
    count = 0
    try:
        for fd in os.listdir(f"/proc/{pid}/fd"):
            try:
                count += os.readlink(f"/proc/{pid}/fd/{fd}").startswith(folder)
            except OSError:
                pass
    except OSError:
        pass
    return count


def run_board(exe, folder, sounds, server, x, log_path, seconds):
    """One run: start-up times, idle CPU of the board and of the server, the board's threads, the end."""
    env = dict(server.env, QT_QPA_PLATFORM="xcb")
    server_pids = [p.pid for p in server.procs]
    with open(log_path, "ab") as log:
        started = time.monotonic()
        proc = subprocess.Popen([exe], cwd=folder, env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    try:
        window = opened = None
        deadline = started + 30
        while (window is None or opened is None) and time.monotonic() < deadline:
            require(proc.poll() is None, f"the board ended at start (see {log_path})")
            now = time.monotonic()
            if window is None and x.shown(TITLE):
                window = now - started
            if opened is None and sounds_open(proc.pid, sounds) >= SLOTS:
                opened = now - started
            time.sleep(0.002)
        require(window is not None, "the board's window did not appear")
        require(opened is not None, f"the board did not open all {SLOTS} sounds")
        time.sleep(SETTLE_SECONDS)
        board0, server0, t0 = threads(proc.pid), cpu_seconds(server_pids), time.monotonic()
        time.sleep(seconds)
        board1, server1, t1 = threads(proc.pid), cpu_seconds(server_pids), time.monotonic()
        span = t1 - t0
        board_cpu = sum(ns - board0[t][1] for t, (_, ns, _) in board1.items() if t in board0) / 1e9
        x.request_close(x.shown(TITLE))
        closed = time.monotonic()
        proc.wait(15)
        ended = time.monotonic() - closed
    finally:
        stop_all(proc if proc.poll() is None else None)
    return {"window": window, "opened": opened, "ended": ended, "board": board_cpu * 60 / span,
            "server": (server1 - server0) * 60 / span, "threads": per_thread(board0, board1, span)}


def floor(server, seconds):
    """The server's own CPU per minute with no client."""
    pids = [p.pid for p in server.procs]
    before, t0 = cpu_seconds(pids), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pids) - before) * 60 / (time.monotonic() - t0)


def median(values):
    return statistics.median(values) if values else float("nan")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--peer")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--out")
    args = parser.parse_args()
    kinds = servers()
    require(kinds, "no sound server is installed (make deps installs PulseAudio)")
    boards = [("board", os.path.abspath(args.exe))] + ([("peer", os.path.abspath(args.peer))] if args.peer else [])
    install_watchdog(int(120 + len(kinds) * args.repeat * (len(boards) + 1) * (args.seconds + 40)))

    top = tempfile.mkdtemp(prefix="sorvane-idle-")
    rows = ["| server | build | board CPU s/min | server extra s/min | server alone s/min | window s | "
            "last sound open s | end after close s |", "|---|---|---|---|---|---|---|---|"]
    thread_rows = ["| server | build | thread | CPU s/min | wake-ups/s |", "|---|---|---|---|---|"]
    x = None
    try:
        sounds, paths, folder, x = board_setup(top)
        for kind in kinds:
            server = listener = None
            results = {name: [] for name, _ in boards}
            floors = []
            try:
                server = kind(os.path.join(top, "run-" + kind.name), sinks=("cap",)).start()
                # A client that only listens, so a server that ends itself once idle stays for the floor.
                listener = subprocess.Popen(ENDS_WITH_US + ["pactl", "subscribe"], env=server.env,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                time.sleep(SETTLE_SECONDS)
                for n in range(args.repeat):
                    floors.append(floor(server, args.seconds))
                    for name, exe in boards:
                        write_list(folder, paths)
                        r = run_board(exe, folder, sounds, server, x, os.path.join(top, f"{name}.log"), args.seconds)
                        r["extra"] = r["server"] - floors[-1]
                        results[name].append(r)
                        print(f"{kind.name} {name} run {n + 1}: board {r['board']:.3f} s/min, server extra "
                              f"{r['extra']:.3f} s/min (alone {floors[-1]:.3f}), window {r['window']:.3f} s, "
                              f"sounds {r['opened']:.3f} s, end {r['ended']:.3f} s", flush=True)
            finally:
                stop_all(listener, server)
            before = BEFORE.get(kind.name)
            if before:
                rows.append(f"| {kind.name} | before this change | {before[0]:.3f} | {before[1]:.3f} | – | "
                            f"{before[2]:.3f} | {before[3]:.3f} | {before[4]:.3f} |")
            for name, _ in boards:
                rs = results[name]
                rows.append(f"| {kind.name} | {name} | {median([r['board'] for r in rs]):.3f} | "
                            f"{median([r['extra'] for r in rs]):.3f} | {median(floors):.3f} | "
                            f"{median([r['window'] for r in rs]):.3f} | {median([r['opened'] for r in rs]):.3f} | "
                            f"{median([r['ended'] for r in rs]):.3f} |")
                names = sorted({t for r in rs for t in r["threads"]})
                for t in names:
                    cpu = median([r["threads"].get(t, [0, 0])[0] for r in rs])
                    wakes = median([r["threads"].get(t, [0, 0])[1] for r in rs])
                    if cpu >= 0.0005 or wakes >= 0.05:
                        thread_rows.append(f"| {kind.name} | {name} | {t} | {cpu:.3f} | {wakes:.1f} |")
    finally:
        stop_all(x)
        shutil.rmtree(top, ignore_errors=True)
    publish("\n".join(rows + [""] + thread_rows), args.out)
    return 0


if __name__ == "__main__":
    exit_with("idle", main)
