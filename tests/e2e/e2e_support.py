"""Pieces shared by the end-to-end test and the latency measurement: a private PulseAudio
server with null sinks, a recorder of a sink that maps every recorded frame to the wall clock,
tone analysis, the board process under X, and the two ways a desktop ends a program (the
window manager's close request and a signal).

Python standard library only; the X calls go through ctypes to libX11 and libXtst.
"""

import array
import ctypes
import ctypes.util
import math
import os
import shutil
import signal
import subprocess
import threading
import time

RATE = 48000
CHANNELS = 2
FRAME_BYTES = 4 * CHANNELS  # float32 stereo

TOOLS = ["pulseaudio", "pactl", "parec", "ffmpeg", "xdotool"]


def missing_tools(extra=()):
    return [t for t in list(TOOLS) + list(extra) if shutil.which(t) is None]


class Failure(Exception):
    """A check that did not hold; the message says what was seen."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(cmd, env=None, timeout=15, **kwargs):
    return subprocess.run(cmd, env=env, timeout=timeout, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)


# ---- sound files ------------------------------------------------------------------------

def make_tone(path, freq, seconds, codec_args=()):
    """A sine of `freq` Hz (amplitude 1/8 of full scale) for `seconds`, in the format the
    file name's extension says."""
    run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi",
         "-i", f"sine=frequency={freq}:duration={seconds}:sample_rate={RATE}",
         *codec_args, path], timeout=60)


# ---- the sound server -------------------------------------------------------------------

class SoundServer:
    """A PulseAudio server of our own: its socket lives in `runtime_dir`, so it collides
    neither with a developer's server nor with another test. Every sink is a null sink at
    48 kHz; nothing reaches a loudspeaker. As a safety net for a test that is killed
    outright, the server also ends by itself once it has had no client for a while."""

    def __init__(self, runtime_dir, sinks=("cap",), log_path=None):
        self.dir = runtime_dir
        self.sinks = sinks
        self.log_path = log_path or os.path.join(runtime_dir, "pulseaudio.log")
        self.proc = None
        os.makedirs(runtime_dir, mode=0o700, exist_ok=True)
        os.chmod(runtime_dir, 0o700)  # Qt and PulseAudio want a private runtime folder
        os.makedirs(os.path.join(runtime_dir, "pulse"), mode=0o700, exist_ok=True)
        os.makedirs(os.path.join(runtime_dir, "home"), mode=0o700, exist_ok=True)
        socket = os.path.join(runtime_dir, "pulse", "native")
        self.env = dict(os.environ)
        self.env.update({
            "XDG_RUNTIME_DIR": runtime_dir,
            "PULSE_RUNTIME_PATH": os.path.join(runtime_dir, "pulse"),
            "PULSE_STATE_PATH": os.path.join(runtime_dir, "pulse"),
            "PULSE_SERVER": "unix:" + socket,
            "HOME": os.path.join(runtime_dir, "home"),
        })
        self.socket = socket

    def start(self):
        # A desktop's server runs at raised and real-time priority (rtkit grants it); as
        # root it can take that itself, so a busy machine does not break up the sound.
        args = ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=30",
                "--high-priority=yes", "--realtime=yes",
                "--use-pid-file=no", "--disallow-module-loading=no", "--log-target=stderr",
                "-L", f"module-native-protocol-unix auth-anonymous=1 socket={self.socket}"]
        for sink in self.sinks:
            args += ["-L", f"module-null-sink sink_name={sink} rate={RATE} channels={CHANNELS}"]
        log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(args, env=self.env, stdout=log, stderr=log,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise Failure(f"pulseaudio exited at start (see {self.log_path})")
            if subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=5).returncode == 0:
                run(["pactl", "set-default-sink", self.sinks[0]], env=self.env)
                return self
            time.sleep(0.1)
        raise Failure("pulseaudio did not answer within 15 s")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


# ---- recording a sink -------------------------------------------------------------------

class Recorder:
    """Records a sink's monitor as float32 stereo and knows, for every recorded frame, the
    wall-clock (time.monotonic) moment it was played into the sink.

    The sink runs on its own clock at exactly RATE frames a second, so frame n was played at
    origin + n / RATE. Each chunk that arrives says "frame n had been played by now", so
    arrival - n / RATE is an upper bound of the origin; the smallest over all chunks is the
    tightest, since that chunk waited least in the buffers between sink and reader."""

    def __init__(self, server, sink="cap"):
        self.proc = subprocess.Popen(
            ["parec", "-d", f"{sink}.monitor", "--format=float32le", f"--rate={RATE}",
             f"--channels={CHANNELS}", "--raw", "--latency-msec=5", "--process-time-msec=2"],
            env=server.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            stdin=subprocess.DEVNULL)
        self.data = bytearray()
        self.origin = math.inf
        self.lock = threading.Lock()
        self.cond = threading.Condition(self.lock)
        self.closed = False
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 1 << 16)
            now = time.monotonic()
            with self.cond:
                if not chunk:
                    self.closed = True
                    self.cond.notify_all()
                    return
                self.data += chunk
                frames = len(self.data) // FRAME_BYTES
                self.origin = min(self.origin, now - frames / RATE)
                self.cond.notify_all()

    def wait_started(self, timeout=10):
        deadline = time.monotonic() + timeout
        with self.cond:
            while len(self.data) < RATE * FRAME_BYTES // 10:  # 100 ms recorded
                left = deadline - time.monotonic()
                check(left > 0 and not self.closed, "parec recorded nothing")
                self.cond.wait(left)

    def frame_at(self, t):
        return int(round((t - self.origin) * RATE))

    def time_of(self, frame):
        return self.origin + frame / RATE

    def channel(self, t0, t1, timeout=10):
        """The left channel between wall-clock moments t0 and t1, waiting until recorded."""
        deadline = time.monotonic() + max(0.0, t1 - time.monotonic()) + timeout
        with self.cond:
            while True:
                f0, f1 = self.frame_at(t0), self.frame_at(t1)
                if len(self.data) // FRAME_BYTES >= f1:
                    break
                left = deadline - time.monotonic()
                check(left > 0 and not self.closed, "the recording stopped early")
                self.cond.wait(min(left, 0.05))
            f0 = max(f0, 0)
            samples = array.array("f")
            samples.frombytes(bytes(self.data[f0 * FRAME_BYTES:f1 * FRAME_BYTES]))
        return samples[0::2]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)
        self.thread.join(5)


def tone_amplitude(samples, freq):
    """Goertzel: the amplitude of the `freq` Hz component (a full-scale sine gives 1.0).
    Windows that hold a whole number of periods of every test tone keep the tones apart."""
    n = len(samples)
    if n == 0:
        return 0.0
    coeff = 2.0 * math.cos(2.0 * math.pi * freq / RATE)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2.0 * math.sqrt(max(power, 0.0)) / n


def peak(samples):
    return max((abs(x) for x in samples), default=0.0)


# ---- X: the window, keys and the window manager's close request -------------------------

class _ClientMessage(ctypes.Structure):
    # XClientMessageEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    # XEvent is a union padded to 24 longs
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class XDisplay:
    """The few libX11/libXtst calls that xdotool does not offer the way we need them."""

    def __init__(self):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XInternAtom.restype = ctypes.c_ulong
        self.x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                        ctypes.c_long, ctypes.c_void_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.x11.XOpenDisplay(None)
        check(self.dpy, "cannot open the X display")
        self.xtst = None

    def request_close(self, window):
        """What a window manager does when the user clicks the close button: a
        WM_PROTOCOLS client message carrying WM_DELETE_WINDOW, sent to the window."""
        ev = _XEvent()
        ev.client.type = 33  # ClientMessage
        ev.client.send_event = 1
        ev.client.window = window
        ev.client.message_type = self.x11.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        ev.client.format = 32
        ev.client.l[0] = self.x11.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        ev.client.l[1] = 0  # CurrentTime
        check(self.x11.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(ev)) != 0,
              "XSendEvent failed")
        self.x11.XSync(self.dpy, 0)

    def press_key(self, keysym_name):
        """A key press and release through XTEST, as xdotool does, but in this process, so
        the moment the event leaves for the server is known to the millisecond. Returns the
        monotonic time at which the press was flushed."""
        if self.xtst is None:
            self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
            self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint,
                                                    ctypes.c_int, ctypes.c_ulong]
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(keysym_name.encode()))
        check(code != 0, f"no key code for {keysym_name}")
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.x11.XFlush(self.dpy)
        pressed = time.monotonic()
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XFlush(self.dpy)
        return pressed

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


class Board:
    """The real program, in `folder` as its current directory, playing to the server."""

    TITLE = "Sorvane Ver"

    def __init__(self, exe, folder, server, log_path):
        env = dict(server.env)
        env.update({"SDL_AUDIODRIVER": "pulseaudio", "QT_QPA_PLATFORM": "xcb"})
        self.log = open(log_path, "ab")
        self.proc = subprocess.Popen([exe], cwd=folder, env=env, stdout=self.log,
                                     stderr=self.log, stdin=subprocess.DEVNULL)
        self.env = env
        out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                              self.TITLE], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, timeout=20)
        ids = out.stdout.split()
        check(out.returncode == 0 and ids, "the board's window did not appear")
        self.window = int(ids[0])
        self.focus()

    def focus(self):
        # No window manager under Xvfb: windowfocus sets the input focus directly.
        run(["xdotool", "windowfocus", "--sync", str(self.window)], env=self.env)

    def key(self, name):
        """Types one key with xdotool; returns the moment just before it was sent."""
        before = time.monotonic()
        run(["xdotool", "key", "--clearmodifiers", name], env=self.env)
        return before

    def send_signal(self, signo):
        self.proc.send_signal(signo)

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the board did not end within {timeout} s")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.log.close()


def stop_all(*things):
    """Ends what the test started, in order, whatever failed before."""
    for thing in things:
        if thing is None:
            continue
        try:
            for method in ("kill", "stop"):
                if hasattr(thing, method):
                    getattr(thing, method)()
                    break
        except Exception:  # cleanup goes on with the rest
            pass


def install_watchdog(seconds):
    """A hung step must fail the test, not hold ctest until its own timeout."""
    def expired(signo, frame):
        raise Failure(f"the test ran longer than {seconds} s")
    signal.signal(signal.SIGALRM, expired)
    signal.alarm(seconds)
