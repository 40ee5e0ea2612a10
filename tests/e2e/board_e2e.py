#!/usr/bin/env python3
"""The board from the outside: the real program under X, playing through a real PulseAudio
server into a null sink that we record. Keys are typed with xdotool and what is heard is
checked tone by tone; then the window is closed as a window manager closes it, and the slot
list it writes is compared byte for byte with the list built here from the file's rules.
Two more runs end the program with SIGTERM and SIGINT instead, and the list must be written
just the same.

Usage: board_e2e.py PATH/TO/sorvane   (under an X server: run_board_e2e.sh starts one)
"""

import os
import shutil
import signal
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (Board, Failure, Recorder, SoundServer, XDisplay, check,  # noqa: E402
                         install_watchdog, make_tone, peak, stop_all, tone_amplitude)

DEFAULT_KEYS = "0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVWXYZ"[:38]
TONE_SECONDS = 60
ON, OFF = "on", "off"
ON_LEVEL = 0.02   # a tone at volume 500..800 measures 0.04..0.1
OFF_LEVEL = 0.01  # a stopped tone leaves silence; a click in another tone leaks a little


class Slot:
    def __init__(self, index, key, name, file, start, volume, fade, exclusive,
                 freq=None, codec=()):
        self.index, self.key, self.name, self.file = index, key, name, file
        self.start, self.volume, self.fade, self.exclusive = start, volume, fade, exclusive
        self.freq, self.codec = freq, codec


def number_field(value):
    """A number as the list writes it: a blank or a minus, the digits with "." and no zero
    before the point, no trailing zeros, then one blank."""
    sign = "-" if value < 0 else " "
    magnitude = abs(value)
    if magnitude == int(magnitude):
        digits = str(int(magnitude))
    else:
        digits = ("%.15g" % magnitude)
        if digits.startswith("0."):
            digits = digits[1:]
    return sign + digits + " "


def list_line(index, key, name, file, start, volume, fade, exclusive):
    return (number_field(index) + ",\"" + key + "\",\"" + name + "\",\"" + file + "\","
            + number_field(start) + "," + number_field(volume) + "," + number_field(fade)
            + "," + number_field(exclusive) + "\r\n")


def expected_list(slots):
    """The whole list after a run that changed nothing: assigned slots as recorded; a record
    whose sound could not be opened goes back as it came (a missing drive must not erase the
    board); a record without a sound keeps only its key; the rest are empty with their
    default key. Shift-JIS, CR LF."""
    text = ""
    by_index = {s.index: s for s in slots}
    for i in range(38):
        s = by_index.get(i)
        if s is None:
            text += list_line(i, DEFAULT_KEYS[i], "", "", 0, 0, 0, 0)
        elif not s.file:
            text += list_line(i, s.key, "", "", 0, 0, 0, 0)
        else:
            text += list_line(i, s.key, s.name, s.file, s.start, s.volume, s.fade, s.exclusive)
    return text.encode("cp932")


def hand_written_list(slots):
    """The list the board starts from, written as a person might: numbers without blanks,
    a zero before the point, and only the first few records."""
    lines = []
    for s in slots:
        lines.append(f'{s.index},"{s.key}","{s.name}","{s.file}",{s.start},{s.volume},'
                     f'{s.fade},{s.exclusive}\r\n')
    return "".join(lines).encode("cp932")


class Ear:
    """Listens to the sink around the moments keys were typed."""

    def __init__(self, recorder):
        self.rec = recorder

    def level(self, freq, t0, t1):
        return tone_amplitude(self.rec.channel(t0, t1), freq)

    def levels(self, freq, t0, t1, step=0.1):
        out, t = [], t0
        while t + step <= t1 + 1e-9:
            out.append(self.level(freq, t, t + step))
            t += step
        return out

    def state_holds(self, expectations, t0, t1):
        """Whether each tone marked on sounds and each marked off is silent in [t0, t1]."""
        for freq, state in expectations.items():
            level = self.level(freq, t0, t1)
            if not (level > ON_LEVEL if state == ON else level < OFF_LEVEL):
                return False
        return True

    def expect_soon(self, what, expectations, since, timeout=2.5, hold=0.4):
        """The board answers a key within `timeout` (a busy machine may delay it, so this
        waits rather than assuming a time), and the state then lasts for `hold` seconds: in
        every 100 ms window of it the tones marked off are silent, and the tones marked on
        sound in most windows (a dropout must not pass for a stop)."""
        t = since
        while not self.state_holds(expectations, t, t + 0.1):
            t += 0.1
            if t > since + timeout:
                seen = {f: fmt(self.levels(f, since, since + timeout)) for f in expectations}
                raise Failure(f"{what}: not reached within {timeout} s; levels {seen}")
        for freq, state in expectations.items():
            seen = self.levels(freq, t, t + hold)
            if state == ON:
                check(sorted(seen)[len(seen) // 2] > ON_LEVEL,
                      f"{what}: {freq} Hz did not keep sounding, levels {fmt(seen)}")
            else:
                check(max(seen) < OFF_LEVEL,
                      f"{what}: {freq} Hz did not stay silent, levels {fmt(seen)}")
        return t

    def wait_for(self, freq, since, timeout):
        """The first moment after `since` at which the tone sounds, polling 100 ms windows."""
        t = since
        while t < since + timeout:
            if self.level(freq, t, t + 0.1) > ON_LEVEL:
                return t
            t += 0.1
        raise Failure(f"{freq} Hz did not sound within {timeout} s")


def fmt(values):
    return "[" + " ".join(f"{v:.4f}" for v in values) + "]"


def press_and_check(board, ear, key, expectations, what):
    k = board.key(key)
    return ear.expect_soon(what, expectations, k)


def check_fade(board, ear, slot):
    """Stop with the fade-out box ticked: the level falls by a tenth each 100 ms tick and the
    sound stops at the 44th tick from volume 800, about 4.4 s after the key. Levels are the
    loudest of three windows around a moment, so a dropout cannot pass for the fall."""
    freq = slot.freq

    def around(t):
        return max(ear.levels(freq, t - 0.15, t + 0.15))

    now = time.monotonic()
    before = max(ear.levels(freq, now - 0.4, now - 0.1))
    check(before > ON_LEVEL, f"fade: {freq} Hz was not sounding before the key ({before:.4f})")
    k = board.key(slot.key)
    marks = [around(k + t) for t in (0.5, 1.5, 2.5, 3.5)]
    check(marks[0] < 0.9 * before, f"fade: no fall 0.5 s after the key ({marks[0]:.4f} from {before:.4f})")
    for a, b in zip(marks, marks[1:]):
        # 0.9 per tick is 0.35 per second; on a busy machine ticks come late or bunched, so
        # only a clear fall each second is asked for.
        check(b < 0.85 * a, f"fade: the level does not fall per second as it should {fmt(marks)}")
    ratio = around(k + 1.0) / before
    check(0.2 < ratio < 0.6, f"fade: level after 1 s is {ratio:.2f} of the start, expected about 0.35")
    check(marks[-1] > 1e-5, f"fade: silent already 3.5 s after the key {fmt(marks)}")
    # The last audible sample after the key.
    samples = ear.rec.channel(k + 3.5, k + 6.5)
    last = next((n for n in range(len(samples) - 1, -1, -1) if abs(samples[n]) > 1e-6), None)
    check(last is not None, "fade: nothing audible 3.5 s after the key")
    stopped = 3.5 + last / 48000.0
    check(3.9 < stopped < 5.5, f"fade: the sound stopped {stopped:.2f} s after the key, expected about 4.4 s")
    return stopped


def run_keys_and_close(exe, folder, server, ear, slots, log):
    by_key = {s.key: s for s in slots if s.freq}
    tone = {k: s.freq for k, s in by_key.items()}
    board = Board(exe, folder, server, log)
    try:
        # The first key also tells when start-up has finished and the output stream runs.
        k = board.key("0")
        ear.wait_for(tone["0"], k, timeout=8)
        steps = [
            ("0", {tone["0"]: OFF}, "a playing slot's key stops it"),
            ("0", {tone["0"]: ON}, "an idle slot's key starts it"),
            ("1", {tone["0"]: ON, tone["1"]: ON}, "two slots sound together"),
            ("1", {tone["0"]: ON, tone["1"]: OFF}, "the second key stops only its slot"),
            ("1", {tone["0"]: ON, tone["1"]: ON}, "started again"),
            ("3", {tone["3"]: ON, tone["0"]: OFF, tone["1"]: OFF}, "an exclusive slot silences the others"),
            ("3", {tone["3"]: OFF}, "the exclusive slot stops on its key"),
            ("0", {tone["0"]: ON}, "slot 0 again"),
            ("1", {tone["0"]: ON, tone["1"]: ON}, "slot 1 again"),
            ("Escape", {tone["0"]: OFF, tone["1"]: OFF, tone["3"]: OFF}, "Escape silences all"),
            ("2", {tone["2"]: ON}, "the fading slot starts"),
        ]
        for key, expectations, what in steps:
            reached = press_and_check(board, ear, key, expectations, what)
            print(f"ok: {what}")
            if what == "slot 1 again":
                # Both play at their own volumes: 500 against 800.
                # Both files are lossless and equally loud; a window's ratio is untouched by
                # a dropout, which silences both alike.
                t0, t1 = reached + 0.1, reached + 0.6
                ratios = sorted(a / b for a, b in zip(ear.levels(tone["1"], t0, t1),
                                                      ear.levels(tone["0"], t0, t1))
                                if b > ON_LEVEL)
                check(ratios, "volume: slot 0 fell silent")
                ratio = ratios[len(ratios) // 2]
                expected = by_key["1"].volume / by_key["0"].volume
                check(abs(ratio - expected) < 0.05, f"volume: level ratio {ratio:.3f}, expected {expected:.3f}")
                print("ok: each slot plays at its own volume")
        stopped = check_fade(board, ear, by_key["2"])
        print(f"ok: the fade-out decays and stops {stopped:.2f} s after the key")

        x = XDisplay()
        try:
            x.request_close(board.window)
        finally:
            x.close()
        rc = board.wait_exit()
        check(rc == 0, f"the board exited with {rc} after the close request")
        print("ok: the window manager's close request ends the board")
    finally:
        board.kill()


def run_and_signal(exe, folder, server, ear, slots, signo, log):
    board = Board(exe, folder, server, log)
    try:
        slot = next(s for s in slots if s.freq and not s.exclusive and not s.fade)
        k = board.key(slot.key)
        ear.wait_for(slot.freq, k, timeout=8)  # the list was read back: its sounds play
        os.remove(os.path.join(folder, "SoundList.csv"))
        board.send_signal(signo)
        rc = board.wait_exit()
        check(rc == 0, f"the board exited with {rc} after {signo.name}")
    finally:
        board.kill()


def compare_list(folder, expected, when):
    path = os.path.join(folder, "SoundList.csv")
    check(os.path.exists(path), f"{when}: SoundList.csv was not written")
    with open(path, "rb") as f:
        written = f.read()
    if written != expected:
        got = written.split(b"\r\n")
        want = expected.split(b"\r\n")
        for n, (g, w) in enumerate(zip(got, want)):
            if g != w:
                raise Failure(f"{when}: line {n + 1} differs:\n  written  {g!r}\n  expected {w!r}")
        raise Failure(f"{when}: {len(written)} bytes written, {len(expected)} expected")
    print(f"ok: {when}: the list is written byte for byte")


def on_terminate(signo, frame):
    raise Failure("terminated from outside")  # so the sound server is still stopped


def main():
    exe = os.path.abspath(sys.argv[1])
    install_watchdog(150)
    signal.signal(signal.SIGTERM, on_terminate)
    top = tempfile.mkdtemp(prefix="sorvane-e2e-")
    sounds = os.path.join(top, "音源")
    folder = os.path.join(top, "board")
    os.makedirs(sounds)
    os.makedirs(folder)
    log = os.path.join(top, "board.log")

    slots = [
        Slot(0, "0", "ベル", os.path.join(sounds, "ベル.wav"), 0.5, 800, 0, 0, 500),
        Slot(1, "1", "声, 二", os.path.join(sounds, "voice.flac"), 0, 500, 0, 0, 700),
        Slot(2, "2", "fade", os.path.join(sounds, "fade.ogg"), 0, 800, 1, 0, 900,
             ("-c:a", "libvorbis")),
        Slot(3, "3", " excl", os.path.join(sounds, "excl.mp3"), 0, 800, 0, 1, 1300),
        Slot(4, "Z", "", "", 0, 0, 0, 0),
        Slot(5, "Y", "消えた音", os.path.join(sounds, "missing.wav"), 0, 800, 1, 1),
    ]
    for s in slots:
        if s.freq:
            make_tone(s.file, s.freq, TONE_SECONDS, s.codec)
    with open(os.path.join(folder, "SoundList.csv"), "wb") as f:
        f.write(hand_written_list(slots))
    expected = expected_list(slots)

    server = recorder = None
    ok = False
    try:
        server = SoundServer(os.path.join(top, "run")).start()
        recorder = Recorder(server)
        recorder.wait_started()
        ear = Ear(recorder)
        run_keys_and_close(exe, folder, server, ear, slots, log)
        compare_list(folder, expected, "after the close request")
        for signo in (signal.SIGTERM, signal.SIGINT):
            run_and_signal(exe, folder, server, ear, slots, signo, log)
            compare_list(folder, expected, f"after {signo.name}")
        ok = True
    except Failure as e:
        print(f"FAIL: {e}")
    finally:
        signal.alarm(0)
        stop_all(recorder, server)
    if ok:
        shutil.rmtree(top, ignore_errors=True)
        print("e2e: 1 passed, 0 failed")
        return 0
    print(f"kept for a look: {top} (board.log, run/pulseaudio.log)")
    print("e2e: 0 passed, 1 failed")
    return 1


if __name__ == "__main__":
    sys.exit(main())
