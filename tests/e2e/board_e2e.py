#!/usr/bin/env python3
"""The real board under X playing into a recorded null sink of each installed sound server: keys
typed with xdotool, each tone checked by ear and one held without a dropout, then the window
closed as a window manager closes it, or SIGTERM or SIGINT, and the slot list it writes
compared byte for byte.
Usage: board_e2e.py PATH/TO/sorvane   (under xvfb-run: a free display, a developer's own X
session is never touched)"""

import os
import shutil
import signal
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from board_harness import (exit_with, Board, Ear, Failure, Recorder, XDisplay, check, install_watchdog,  # noqa: E402
                         make_tone, paplay_floor, servers, stop_all)

# Key, tone Hz, sound file and its codec, the record as a person might write it, and the record
# as the board writes it back ({s} is the sounds' folder). A record whose sound cannot be opened
# goes back as it came (a missing drive must not erase the board); one without a sound keeps
# only its key; the unlisted slots are written empty with their default keys.
SLOTS = [
    ("0", 499, "ベル.wav", (), '0,"0","ベル","{s}/ベル.wav",0.5,800,0,0',
     ' 0 ,"0","ベル","{s}/ベル.wav", .5 , 800 , 0 , 0 '),
    ("1", 700, "voice.flac", (), '1,"1","声, 二","{s}/voice.flac",0,500,0,0',
     ' 1 ,"1","声, 二","{s}/voice.flac", 0 , 500 , 0 , 0 '),
    ("2", 900, "fade.ogg", ("-c:a", "libvorbis"), '2,"2","fade","{s}/fade.ogg",0,800,1,0',
     ' 2 ,"2","fade","{s}/fade.ogg", 0 , 800 , 1 , 0 '),
    ("3", 1300, "excl.mp3", (), '3,"3"," excl","{s}/excl.mp3",0,800,0,1',
     ' 3 ,"3"," excl","{s}/excl.mp3", 0 , 800 , 0 , 1 '),
    ("Z", None, None, (), '4,"Z","","",0,0,0,0', ' 4 ,"Z","","", 0 , 0 , 0 , 0 '),
    ("Y", None, None, (), '5,"Y","消えた音","{s}/missing.wav",0,800,1,1',
     ' 5 ,"Y","消えた音","{s}/missing.wav", 0 , 800 , 1 , 1 '),
]
ON, OFF = True, False
STEPS = [  # key, what must be heard then (tone Hz: sounding or silent), what it shows
    ("0", {499: OFF}, "a playing slot's key stops it"),
    ("0", {499: ON}, "an idle slot's key starts it"),
    ("1", {499: ON, 700: ON}, "two slots sound together"),
    ("1", {499: ON, 700: OFF}, "the second key stops only its slot"),
    ("1", {499: ON, 700: ON}, "started again"),
    ("3", {1300: ON, 499: OFF, 700: OFF}, "an exclusive slot silences the others"),
    ("3", {1300: OFF}, "the exclusive slot stops on its key"),
    ("0", {499: ON}, "slot 0 again"),
    ("1", {499: ON, 700: ON}, "slot 1 again"),
]


def play_keys_and_close(board, ear):
    ear.expect_soon("slot 0 at start-up", {499: ON}, board.key("0"), timeout=8)  # start-up done, the output stream runs
    for key, expectations, what in STEPS:
        reached = ear.press(board, key, expectations, what)
    # Both play at their own volumes, 500 against 800. Both files are lossless and equally
    # loud; a window's ratio is untouched by a dropout, which silences both alike.
    pairs = zip(ear.levels(700, reached + 0.1, reached + 0.6), ear.levels(499, reached + 0.1, reached + 0.6))
    ratios = sorted(a / b for a, b in pairs if b > 0.02)
    check(ratios and abs(ratios[len(ratios) // 2] - 500 / 800) < 0.05, f"volume: level ratios {ratios}")
    print("ok: each slot plays at its own volume")
    ear.press(board, "Escape", {499: OFF, 700: OFF, 1300: OFF}, "Escape silences all")
    ear.press(board, "2", {900: ON}, "the fading slot starts")
    ear.fade(board, "2", 900)
    x = XDisplay()
    try:
        x.request_close(board.window)
    finally:
        x.close()
    check(board.wait_exit() == 0, "the board did not exit cleanly after the close request")
    print("ok: the window manager's close request ends the board")


def play_and_signal(board, ear, folder, signo, floor):
    key = board.key("0")
    reached = ear.expect_soon("slot 0 at start-up", {499: ON}, key, timeout=8)  # the list was read back: its sounds play
    # From its first frames on: a sound must not break while the rest of it is still being
    # decoded. 499 Hz: its period is no whole number of frames, so frames lost or repeated jump
    # its phase.
    t = key + ear.rec.onset_after(key, search=reached + 0.1 - key)
    ear.steady(499, t + 0.005, t + 6.005, "slot 0 plays 6 s without a dropout", floor)
    os.remove(os.path.join(folder, "SoundList.csv"))
    board.proc.send_signal(signo)
    check(board.wait_exit() == 0, f"the board did not exit cleanly after {signo.name}")


def compare_list(folder, expected, when):
    path = os.path.join(folder, "SoundList.csv")
    check(os.path.exists(path), f"{when}: SoundList.csv was not written")
    with open(path, "rb") as f:
        written = f.read().split(b"\r\n")
    for n, (got, want) in enumerate(zip(written, expected.split(b"\r\n"))):
        check(got == want, f"{when}: line {n + 1} differs:\n  written  {got!r}\n  expected {want!r}")
    check(len(written) == len(expected.split(b"\r\n")), f"{when}: {len(written)} lines written")
    print(f"ok: {when}: the list is written byte for byte")


def on_terminate(signo, frame):
    raise Failure("terminated from outside")  # so the sound server is still stopped


def run_on(kind, exe, top, folder, log, given, expected, tone):
    """The whole test through one sound server."""
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write(given.encode("cp932"))
    server = recorder = reference = None
    try:
        server = kind(os.path.join(top, "run-" + kind.name), sinks=("cap", "ref")).start()
        recorder, reference = Recorder(server), Recorder(server, "ref")
        recorder.wait_started()
        reference.wait_started()
        ear, floor = Ear(recorder), paplay_floor(server, reference, tone, 499)
        for signo in (None, signal.SIGTERM, signal.SIGINT):
            board = Board(exe, folder, server, log)
            try:
                play_and_signal(board, ear, folder, signo, floor) if signo else play_keys_and_close(board, ear)
            finally:
                board.kill()
            compare_list(folder, expected.encode("cp932"), f"after {signo.name if signo else 'the close request'}")
    finally:
        stop_all(recorder, reference, server)


def main():
    exe = os.path.abspath(sys.argv[1])
    kinds = servers()
    tools = ("xvfb-run", "Xvfb", "xauth", "xdotool", "setpriv", "pactl", "parec", "paplay", "ffmpeg")
    missing = [t for t in tools if not shutil.which(t)]
    if missing or not kinds:
        print(f"SKIP: {' '.join(missing) or 'no sound server'} is not installed (make deps installs it)")
        return 77
    if os.environ.get("SORVANE_E2E_X") != "1":  # -a: a display number of its own
        os.environ["SORVANE_E2E_X"] = "1"
        xvfb = ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -nolisten tcp"]
        os.execvp("xvfb-run", xvfb + [sys.executable, os.path.abspath(__file__), exe])
    install_watchdog(150 * len(kinds))
    signal.signal(signal.SIGTERM, on_terminate)
    top = tempfile.mkdtemp(prefix="sorvane-e2e-")
    sounds, folder, log = (os.path.join(top, name) for name in ("音源", "board", "board.log"))
    os.makedirs(sounds)
    os.makedirs(folder)
    for key, freq, file, codec, *_ in SLOTS:
        if freq:
            make_tone(os.path.join(sounds, file), freq, 60, codec)
    given = "".join(record.format(s=sounds) + "\r\n" for *_, record, _ in SLOTS)
    defaults = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW"
    expected = "".join([record.format(s=sounds) + "\r\n" for *_, record in SLOTS] +
                       [f' {i} ,"{defaults[i]}","","", 0 , 0 , 0 , 0 \r\n' for i in range(len(SLOTS), 38)])
    failed = []
    for kind in kinds:
        print(f"on {kind.name}:")
        try:
            run_on(kind, exe, top, folder, log, given, expected, os.path.join(sounds, SLOTS[0][2]))
        except Failure as e:
            print(f"FAIL on {kind.name}: {e}")
            failed.append(kind.name)
    signal.alarm(0)
    if failed:
        print(f"kept for a look: {top} (board.log, run-*/server.log)")
    else:
        shutil.rmtree(top, ignore_errors=True)
    print(f"e2e: {len(kinds) - len(failed)} passed, {len(failed)} failed ({', '.join(failed) or 'none'})")
    return 1 if failed else 0


if __name__ == "__main__":
    exit_with("e2e", main)
