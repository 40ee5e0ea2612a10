"""The end-to-end test's ear: which tones sound around the moments keys were typed, whether a
sound started by a key is heard from its first frame and whole, how a fade-out falls, when a
stop is heard. It listens through the measuring harness in scripts/board_harness.py."""

import cmath
import math
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from board_harness import RATE, RunError, sine_breaks, tone_amplitude  # noqa: E402

ON_LEVEL = 0.02   # a tone at volume 500..800 measures 0.04..0.1
OFF_LEVEL = 0.01  # a stopped tone leaves silence; a click in another tone leaks a little
HEARD = 1e-5      # a first sample above it is a sound's first frame: the sink is silent to 1e-7
SAME_MOMENT = 0.02  # s: the two sinks' recordings are dated apart by a few ms


class Failure(RunError):
    """A check that did not hold; the message says what was seen."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def fmt(values):
    return " ".join(f"{v:.4f}" for v in values)


def annihilated(x, freqs):
    """`x` without the steady sines of `freqs`: x[n] - 2cos(w)x[n-1] + x[n-2] is zero for a sine
    of frequency w, and leaves a sine of any other frequency a sine, a frame later and scaled by
    2(cos w' - cos w), where w' is its own."""
    for f in freqs:
        c2 = 2 * math.cos(2 * math.pi * f / RATE)
        x = [0.0, 0.0] + [x[n] - c2 * x[n - 1] + x[n - 2] for n in range(2, len(x))]
    return x


class Ear:
    """Listens around the moments keys were typed; `expectations` map a tone's frequency to
    True (sounds) or False (silent). With `reference`, the recorder of a second sink where paplay
    plays a steady tone of `reference_hz` all the while, a break the board's sound shares with
    paplay's at the same moment is the server's own, not the board's."""

    def __init__(self, recorder, reference=None, reference_hz=None):
        self.rec, self.reference, self.reference_hz = recorder, reference, reference_hz

    def level(self, freq, t0, t1):
        return tone_amplitude(self.rec.channel(t0, t1), freq)

    def levels(self, freq, t0, t1, step=0.1):
        return [self.level(freq, t0 + i * step, t0 + (i + 1) * step)
                for i in range(int(round((t1 - t0) / step)))]

    def expect_soon(self, what, expectations, since, timeout=2.5, hold=0.4):
        """The state is reached within `timeout` (a busy machine may be late) and lasts `hold`
        seconds: silent tones in every 100 ms window, sounding ones in most (a dropout is no stop)."""
        def holds(t):
            return all((self.level(f, t, t + 0.1) > ON_LEVEL) if on else
                       (self.level(f, t, t + 0.1) < OFF_LEVEL) for f, on in expectations.items())
        t = since
        while not holds(t):
            t += 0.1
            if t > since + timeout:
                seen = {f: fmt(self.levels(f, since, since + timeout)) for f in expectations}
                raise Failure(f"{what}: not reached within {timeout} s; levels {seen}")
        for freq, on in expectations.items():
            seen = self.levels(freq, t, t + hold)
            check(sorted(seen)[len(seen) // 2] > ON_LEVEL if on else max(seen) < OFF_LEVEL,
                  f"{what}: {freq} Hz did not keep {'sounding' if on else 'silent'}, levels {fmt(seen)}")
        return t

    def press(self, board, key, expectations, what):
        reached = self.expect_soon(what, expectations, board.key(key))
        print(f"ok: {what}")
        return reached

    def server_breaks(self, t0, t1):
        """paplay's breaks between t0 and t1 as (start, end) moments; none when it was not heard."""
        if self.reference is None:
            return []
        amplitude, found = sine_breaks(self.reference.channel(t0, t1), self.reference_hz)
        return [(t0 + a / RATE, t0 + (b + 1) / RATE) for a, b in found] if amplitude > ON_LEVEL else []

    def heard_whole(self, freq, key, reached, what, start=0.0, others=(), stopping=(), seconds=0.5):
        """The tone of `freq` Hz, started by the key typed at `key` and sounding by `reached`, is
        heard from its first frame (the file's frame at `start` seconds) and for `seconds` without
        a break. The tones `others` sound on meanwhile, taken out with their annihilating filters;
        `stopping` fall silent as it starts (an exclusive slot's others)."""
        t0 = key - 0.02  # the sink's clock runs a little ahead of the key
        x = self.rec.channel(t0, reached + 0.2 + seconds)
        removed = [*others, *stopping]
        heard = annihilated(x, removed)
        first = next((n for n in range(2 * len(removed), len(x)) if abs(heard[n]) > HEARD), len(x))
        check(first < (reached + 0.1 - t0) * RATE, f"{what}: {freq} Hz was not heard")
        # Stopping tones fall silent in the block it starts in or the next (a PipeWire cycle is
        # 10.7 ms): from 25 ms on it is judged without them, and one still sounding is a break.
        y, k = annihilated(x, others), len(others)
        settled = first + 2 * k + 2 + (RATE * 25 // 1000 if stopping else 0)  # past the filters' own start
        # Its phase over 5 ms, carried back: the frame where the file's frame at `start` sounded.
        w = 2 * math.pi * freq / RATE
        turned = math.prod(math.cos(w) - math.cos(2 * math.pi * f / RATE) for f in others) < 0
        turn = sum(cmath.exp(1j * (math.atan2(y[n] * math.sin(w), y[n] * math.cos(w) - y[n - 1]) - w * n))
                   for n in range(settled, settled + RATE // 200))
        began = start * RATE - k - (cmath.phase(turn) + (math.pi if turned else 0.0)) / w
        period = RATE / freq
        late = (first - began + period / 2) % period - period / 2
        check(abs(late) <= 2, f"{what}: {freq} Hz was first heard {late:+.1f} frames (modulo its period of "
                              f"{period:.1f}) from the file's frame at {start} s")
        _, found = sine_breaks(y[settled:first + int(seconds * RATE)], freq)
        self.judge(freq, [(t0 + (settled + a) / RATE, t0 + (settled + b + 1) / RATE) for a, b in found],
                   what, f"heard from its first frame and whole for {seconds} s")

    def judge(self, freq, breaks, what, fine):
        """Fails on the breaks (start, end) that paplay's sound does not share."""
        server = self.server_breaks(breaks[0][0] - 0.2, breaks[-1][1] + 0.2) if breaks else []
        own = [(a, b) for a, b in breaks if not any(c - SAME_MOMENT < b and a < d + SAME_MOMENT for c, d in server)]
        if len(own) < len(breaks):
            print(f"note: {what}: {len(breaks) - len(own)} of {freq} Hz's breaks the server's own (paplay's too)")
        check(not own, f"{what}: breaks while {freq} Hz sounded, at " +
              ", ".join(f"{a:.3f} s ({(b - a) * 1000:.1f} ms)" for a, b in own[:20]))
        print(f"ok: {what}: {freq} Hz {fine}")

    def silent_within(self, key, bound, what):
        """A stop typed at `key` is heard within `bound` seconds: from then on the sink is silent."""
        x = self.rec.channel(key - 0.02, key + 0.5)
        heard = [n for n, v in enumerate(x) if abs(v) > HEARD]
        check(heard and heard[0] < RATE // 100, f"{what}: nothing sounded at the key")
        stopped = (heard[-1] + 1) / RATE - 0.02
        check(stopped < bound, f"{what}: heard until {stopped * 1000:.0f} ms after the key, at most "
                               f"{bound * 1000:.0f} ms expected")
        print(f"ok: {what}: silent {stopped * 1000:.0f} ms after the key")

    def fade(self, board, key, freq):
        """Stop with fade-out from volume 800: a tenth less each 100 ms tick, stopped at the 44th,
        about 4.4 s after the key. Each level is the loudest of three windows, so a dropout
        cannot pass for the fall."""
        def around(t):
            return max(self.levels(freq, t - 0.15, t + 0.15))
        now = time.monotonic()
        before = max(self.levels(freq, now - 0.4, now - 0.1))
        check(before > ON_LEVEL, f"fade: {freq} Hz was not sounding before the key ({before:.4f})")
        k = board.key(key)
        marks = [around(k + t) for t in (0.5, 1.5, 2.5, 3.5)]
        check(marks[0] < 0.9 * before, f"fade: no fall 0.5 s after the key ({marks[0]:.4f} from {before:.4f})")
        # 0.9 per tick is 0.35 per second; on a busy machine ticks come late or bunched, so
        # only a clear fall each second is asked for.
        check(all(b < 0.85 * a for a, b in zip(marks, marks[1:])), f"fade: no steady fall per second {fmt(marks)}")
        ratio = around(k + 1.0) / before
        check(0.2 < ratio < 0.6, f"fade: level after 1 s is {ratio:.2f} of the start, expected about 0.35")
        check(marks[-1] > 1e-5, f"fade: silent already 3.5 s after the key {fmt(marks)}")
        # The end of the last 100 ms window, every 50 ms, in which the tone is still audible: the
        # last step is about 0.001, other tones leak below 0.0001, and a click in another tone
        # (broadband) is as loud 50 Hz higher up, where no tone leaks.
        heard = [t for t in (3.5 + i * 0.05 for i in range(60))
                 if self.level(freq, k + t, k + t + 0.1) > max(2e-4, 4 * self.level(freq + 50, k + t, k + t + 0.1))]
        check(heard, "fade: nothing audible 3.5 s after the key")
        stopped = heard[-1] + 0.1
        check(3.9 < stopped < 5.5, f"fade: the sound stopped {stopped:.2f} s after the key, expected about 4.4 s")
        print(f"ok: the fade-out decays and stops {stopped:.2f} s after the key")
