#!/usr/bin/env python3
"""The real board under X playing into a recorded null sink of each sound server (PulseAudio,
and PipeWire with its PulseAudio layer; in CI both, elsewhere those installed): the output it
says it opened, keys typed with xdotool, each tone checked by ear, each sound a key starts heard
from its first frame and whole, then the window closed as a window manager closes it, or
SIGTERM or SIGINT, and the slot list it writes compared byte for byte. A third, shorter run
plays PulseAudio without rewinding, as on a server that cannot.
Usage: board_e2e.py PATH/TO/sorvane   (under xvfb-run: a free display, a developer's own X
session is never touched)"""

import contextlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from ear import Ear, Failure, check  # noqa: E402
from board_harness import (SERVERS, Board, Recorder, RunError, SoundServer, XDisplay, exit_with,  # noqa: E402
                           install_watchdog, installed, make_tone, servers, stop_all)

# Key, tone Hz, sound file and its codec, the record as a person might write it, and the record
# as the board writes it back ({s} is the sounds' folder). The tones lie well apart, so each can
# be taken out of the others with its annihilating filter, and no period fits a whole number of
# frames, nor 10 or 20 ms; a tone taken out under another is in float or 24 bits (16 bits leave
# too loud a residue). A record whose sound cannot be opened goes back as it came (a missing
# drive must not erase the board); one without a sound keeps only its key; the unlisted slots
# are written empty with their default keys.
SLOTS = [
    ("0", 503, "ベル.wav", ("-c:a", "pcm_f32le"), '0,"0","ベル","{s}/ベル.wav",0.5,800,0,0',
     ' 0 ,"0","ベル","{s}/ベル.wav", .5 , 800 , 0 , 0 '),
    ("1", 1709, "voice.flac", ("-sample_fmt", "s32"), '1,"1","声, 二","{s}/voice.flac",0,500,0,0',
     ' 1 ,"1","声, 二","{s}/voice.flac", 0 , 500 , 0 , 0 '),
    ("2", 911, "fade.ogg", ("-c:a", "libvorbis"), '2,"2","fade","{s}/fade.ogg",0,800,1,0',
     ' 2 ,"2","fade","{s}/fade.ogg", 0 , 800 , 1 , 0 '),
    ("3", 3313, "excl.mp3", (), '3,"3"," excl","{s}/excl.mp3",0,800,0,1',
     ' 3 ,"3"," excl","{s}/excl.mp3", 0 , 800 , 0 , 1 '),
    ("Z", None, None, (), '4,"Z","","",0,0,0,0', ' 4 ,"Z","","", 0 , 0 , 0 , 0 '),
    ("Y", None, None, (), '5,"Y","消えた音","{s}/missing.wav",0,800,1,1',
     ' 5 ,"Y","消えた音","{s}/missing.wav", 0 , 800 , 1 , 1 '),
]
ON, OFF = True, False
STARTS = {503: 0.5}  # where a tone's slot starts it, in seconds; the others at 0
STEPS = [  # key, what must be heard then (tone Hz: sounding or silent), what it shows
    ("0", {503: OFF}, "a playing slot's key stops it"),
    ("0", {503: ON}, "an idle slot's key starts it"),
    ("1", {503: ON, 1709: ON}, "two slots sound together"),
    ("1", {503: ON, 1709: OFF}, "the second key stops only its slot"),
    ("1", {503: ON, 1709: ON}, "started again"),
    ("3", {3313: ON, 503: OFF, 1709: OFF}, "an exclusive slot silences the others"),
    ("3", {3313: OFF}, "the exclusive slot stops on its key"),
    ("0", {503: ON}, "slot 0 again"),
    ("1", {503: ON, 1709: ON}, "slot 1 again"),
]
TOOLS = ("xvfb-run", "Xvfb", "xauth", "xdotool", "setpriv", "pactl", "parec", "paplay", "ffmpeg")
START_LINE = re.compile(r"sorvane: output (\S+), (\d+) Hz, (queue \d+|period \d+) frames, (rewinding|not rewinding), (.+)")
WAKE_LINE = re.compile(r"sorvane: wake-ups of the \S+ feeding thread against [^:]+: [1-9]\d*; <50 us \d+, .*, "
                       r">=10 ms \d+; worst \d+ (us|ms); done by \d+ (us|ms) at worst")
# Without rewinding the stop waits behind the queue, 512 frames (10.7 ms), and the server's next
# request, 256 frames (5.3 ms), after the key's way through X and the window (a few ms); the rest
# is for a shared machine. A queue of a fifth of a second (the rewinding one) would take 200 ms.
STOP_WITHOUT_REWINDING = 0.060


def expect_output(board, name, rewinding=None):
    """The board says it opened `name` at 48 kHz; PulseAudio rewinding over a fifth of a second
    queued, or not over 512 frames as asked, its feeding thread at SCHED_FIFO 10 when root."""
    line = board.start_line()
    check(line, "the board did not say which output it opened")
    said = START_LINE.fullmatch(line)
    check(said, f"the output line is not understood: {line}")
    check(said[1] == name, f"the board opened {said[1]}, not {name}: {line}")
    check(said[2] == "48000", f"the output runs at {said[2]} Hz, not 48000: {line}")
    if rewinding is not None:
        want = ("queue 9600", "rewinding") if rewinding else ("queue 512", "not rewinding")
        check(said.group(3, 4) == want, f"the output is not {', '.join(want)} as asked: {line}")
        check(os.geteuid() != 0 or said[5] == "SCHED_FIFO 10", f"the feeding thread is not SCHED_FIFO 10: {line}")
    print(f"ok: {line}")


def expect_wake_report(board, name):
    """Asked to (SORVANE_WAKE_REPORT=1), the board's closing connection said once how late its
    feeding thread woke."""
    with open(board.log_path, "rb") as f:
        f.seek(board.log_start)
        said = [line for line in f.read().decode(errors="replace").splitlines() if line.startswith("sorvane: wake-ups")]
    check(len(said) == 1 and WAKE_LINE.fullmatch(said[0]) and said[0].startswith(f"sorvane: wake-ups of the {name} "),
          f"the board did not say once how late the {name} feeding thread woke: {said}")
    print(f"ok: {said[0]}")


def start_up(board, ear, output, seconds=0.5):
    """Slot 0's key once the window is up: start-up is done when it sounds, from its first frame."""
    key = board.key("0")
    reached = ear.expect_soon("slot 0 at start-up", {503: ON}, key, timeout=8)
    expect_output(board, *output)
    ear.heard_whole(503, key, reached, "slot 0 at start-up", STARTS[503], seconds=seconds)


def play_keys_and_close(board, ear, output):
    start_up(board, ear, output)
    sounding = {503}
    for key, expectations, what in STEPS:
        typed = board.key(key)
        reached = ear.expect_soon(what, expectations, typed)
        print(f"ok: {what}")
        stopping = [f for f in sounding if expectations.get(f) is OFF]
        others = [f for f in sounding if f not in stopping]
        for freq in (f for f, on in expectations.items() if on and f not in sounding):
            ear.heard_whole(freq, typed, reached, what, STARTS.get(freq, 0.0), others, stopping)
        sounding = {f for f in sounding | set(expectations) if expectations.get(f, ON)}
    # Both play at their own volumes, 500 against 800. Both files are lossless and equally
    # loud; a window's ratio is untouched by a dropout, which silences both alike.
    pairs = zip(ear.levels(1709, reached + 0.1, reached + 0.6), ear.levels(503, reached + 0.1, reached + 0.6))
    ratios = sorted(a / b for a, b in pairs if b > 0.02)
    check(ratios and abs(ratios[len(ratios) // 2] - 500 / 800) < 0.05, f"volume: level ratios {ratios}")
    print("ok: each slot plays at its own volume")
    ear.press(board, "Escape", {503: OFF, 1709: OFF, 3313: OFF}, "Escape silences all")
    typed = board.key("2")
    ear.heard_whole(911, typed, ear.expect_soon("the fading slot starts", {911: ON}, typed), "the fading slot starts")
    ear.fade(board, "2", 911)
    close_window(board)
    expect_wake_report(board, output[0])


def close_window(board):
    x = XDisplay()
    try:
        x.request_close(board.window)
    finally:
        x.close()
    check(board.wait_exit() == 0, "the board did not exit cleanly after the close request")
    print("ok: the window manager's close request ends the board")


def play_and_signal(board, ear, output, folder, signo):
    # From its first frames on for 6 s: a sound must not break while the rest of it is still
    # being decoded.
    start_up(board, ear, output, seconds=6)
    os.remove(os.path.join(folder, "SoundList.csv"))
    board.proc.send_signal(signo)
    check(board.wait_exit() == 0, f"the board did not exit cleanly after {signo.name}")


def play_without_rewinding(board, ear, output):
    """The small queue a server that cannot rewind gets: a sound starts whole, a stop is heard in time."""
    start_up(board, ear, output)
    x = XDisplay()
    try:
        typed = x.press_key("0")  # timed here: the stop's bound is tight
    finally:
        x.close()
    ear.silent_within(typed, STOP_WITHOUT_REWINDING, "without rewinding, the stop")
    close_window(board)


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


@contextlib.contextmanager
def listening(kind, top, run):
    """A private server of `kind` with the sink the board plays to recorded, and a second sink,
    where paplay plays slot 0's tone while the board runs: the server's own breaks."""
    server = recorder = reference = None
    try:
        server = kind(os.path.join(top, "run-" + run), sinks=("cap", "ref")).start()
        recorder, reference = Recorder(server), Recorder(server, "ref")
        recorder.wait_started()
        reference.wait_started()
        yield server, Ear(recorder, reference, 503)
    finally:
        stop_all(recorder, reference, server)


@contextlib.contextmanager
def board_on(server, exe, folder, log, tone, **env):
    paplay = subprocess.Popen(["paplay", "-d", "ref", tone], env=server.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    board = None
    try:
        board = Board(exe, folder, server, log, SORVANE_WAKE_REPORT="1", **env)
        yield board
    finally:
        stop_all(board, paplay)


def run_on(kind, exe, top, folder, log, given, expected, tone):
    """The whole test through one sound server."""
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write(given.encode("cp932"))
    output = ("pipewire",) if kind.name == "PipeWire" else ("pulseaudio", True)
    with listening(kind, top, kind.name) as (server, ear):
        for signo in (None, signal.SIGTERM, signal.SIGINT):
            with board_on(server, exe, folder, log, tone) as board:
                if signo:
                    play_and_signal(board, ear, output, folder, signo)
                else:
                    play_keys_and_close(board, ear, output)
            compare_list(folder, expected.encode("cp932"), f"after {signo.name if signo else 'the close request'}")


def run_without_rewinding(exe, top, folder, log, tone):
    with listening(SoundServer, top, "PulseAudio-not-rewinding") as (server, ear):
        with board_on(server, exe, folder, log, tone, SORVANE_PULSE_REWIND="0") as board:
            play_without_rewinding(board, ear, ("pulseaudio", False))


def main():
    exe = os.path.abspath(sys.argv[1])
    missing = [t for t in TOOLS if not shutil.which(t)] + [k.name for k in SERVERS if not installed(k)]
    if missing and os.environ.get("CI") == "true":
        print(f"FAIL: not installed: {' '.join(missing)} (in CI every check runs; "
              "make deps with SORVANE_PIPEWIRE=1 installs them)")
        return 1
    kinds = servers()
    if not kinds or any(t in missing for t in TOOLS):
        print(f"SKIP: not installed: {' '.join(missing)} (make deps installs them)")
        return 77
    if os.environ.get("SORVANE_E2E_X") != "1":  # -a: a display number of its own
        os.environ["SORVANE_E2E_X"] = "1"
        xvfb = ["xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -nolisten tcp"]
        os.execvp("xvfb-run", xvfb + [sys.executable, os.path.abspath(__file__), exe])
    if missing:
        print(f"note: not installed: {' '.join(missing)}; the test leaves that server out")
    install_watchdog(150 * len(kinds) + 60)
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
    tone = os.path.join(sounds, SLOTS[0][2])
    runs = [(kind.name, lambda kind=kind: run_on(kind, exe, top, folder, log, given, expected, tone)) for kind in kinds]
    if SoundServer in kinds:
        runs.append(("PulseAudio not rewinding", lambda: run_without_rewinding(exe, top, folder, log, tone)))
    failed = []
    for name, run in runs:
        print(f"on {name}:")
        try:
            run()
        except RunError as e:  # a failed check, or a step that did not happen
            print(f"FAIL on {name}: {e}")
            failed.append(name)
    signal.alarm(0)
    if failed:
        print(f"kept for a look: {top} (board.log, run-*/server.log)")
    else:
        shutil.rmtree(top, ignore_errors=True)
    print(f"e2e: {len(runs) - len(failed)} passed, {len(failed)} failed ({', '.join(failed) or 'none'})")
    return 1 if failed else 0


if __name__ == "__main__":
    exit_with("e2e", main)
