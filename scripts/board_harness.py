"""What the end-to-end test, the latency measurement, the dropout meter, the soak at the sink and
scripts/play-demo.sh share to measure the board: a private sound server of each installed kind,
a recorder that dates every recorded frame, the detector of breaks in a steady sine, the board
under X, and CPUs held ready. It measures and judges nothing: the tests' checks are in
tests/support/ear.py. Standard library only; X calls go through ctypes."""

import array
import ctypes
import ctypes.util
import itertools
import math
import os
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

RATE = 48000
CHANNELS = 2
FRAME_BYTES = 4 * CHANNELS  # float32 stereo
RESIDUAL = 0.002  # of a sine's amplitude: a phase jump of 0.005 period, at the jump's worst place
LEVEL = 0.1       # a sine's amplitude may stray by a tenth (1 dB)


class RunError(Exception):
    """A run cannot go on: a server that did not answer, a window that did not appear, a
    recording that stopped; the message says what."""


def publish(text, out=None):
    """Prints a meter's table, and writes it to `out` too when one is named."""
    print(text)
    if out:
        with open(out, "w", encoding="utf-8") as f:
            f.write(text + "\n")


def require(condition, message):
    if not condition:
        raise RunError(message)


def run(cmd, env=None, timeout=15):
    return subprocess.run(cmd, env=env, timeout=timeout, check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def make_tone(path, freq, seconds, codec_args=()):
    """A sine of `freq` Hz at 1/8 of full scale, or one per channel for a tuple of frequencies,
    in the format the file name's extension says."""
    expr = "|".join(f"0.125*sin(2*PI*{f}*t)" for f in (freq if isinstance(freq, tuple) else (freq,)))
    run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
         f"aevalsrc={expr}:s={RATE}:d={seconds}", *codec_args, path], timeout=60)


# Put before a command: it gets SIGTERM when we die, even by SIGKILL, and cannot outlive a test.
ENDS_WITH_US = ["setpriv", "--pdeathsig", "TERM"]


class SoundServer:
    """A PulseAudio server of our own (socket in `runtime_dir`, so it meets neither a developer's
    server nor another test's) with null sinks; it ends by itself once idle, should we be killed."""

    name, programs, answer = "PulseAudio", ("pulseaudio",), "Server Name: pulseaudio"

    def __init__(self, runtime_dir, sinks=("cap",)):
        self.sinks, self.procs, self.runtime_dir = sinks, [], runtime_dir
        pulse, home = os.path.join(runtime_dir, "pulse"), os.path.join(runtime_dir, "home")
        for folder in (runtime_dir, pulse, home):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        os.chmod(runtime_dir, 0o700)  # Qt and the servers want a private runtime folder
        self.log_path = os.path.join(runtime_dir, "server.log")
        self.socket = os.path.join(pulse, "native")
        # Nothing that points at a developer's own session.
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME")}
        self.env.update(XDG_RUNTIME_DIR=runtime_dir, PULSE_RUNTIME_PATH=pulse, PULSE_STATE_PATH=pulse,
                        PULSE_SERVER="unix:" + self.socket, HOME=home)

    def commands(self):
        # At a desktop's priority (rtkit grants it there), so a busy machine does not break up the sound.
        return [["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=30", "--high-priority=yes",
                 "--realtime=yes", "--use-pid-file=no", "--disallow-module-loading=no", "--log-target=stderr",
                 "-L", f"module-native-protocol-unix auth-anonymous=1 socket={self.socket}"]]

    def start(self):
        with open(self.log_path, "ab") as log:
            for n, args in enumerate(self.commands()):
                time.sleep(0.5 if n else 0)  # each one finds the one before it ready
                self.procs.append(subprocess.Popen(ENDS_WITH_US + args, env=self.env, stdout=log, stderr=log,
                                                   stdin=subprocess.DEVNULL, start_new_session=True))
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            require(all(p.poll() is None for p in self.procs), f"{self.name} exited at start (see {self.log_path})")
            info = subprocess.run(["pactl", "info"], env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=5)
            if info.returncode == 0 and self.answer in info.stdout.decode():
                for sink in self.sinks:
                    run(["pactl", "load-module", "module-null-sink", f"sink_name={sink}", f"rate={RATE}",
                         f"channels={CHANNELS}", "format=float32le"], env=self.env)
                run(["pactl", "set-default-sink", self.sinks[0]], env=self.env)
                return self
            time.sleep(0.1)
        raise RunError(f"{self.name} did not answer within 15 s")

    def realtime(self):
        """Whether a thread of the server runs at a real-time policy (SCHED_FIFO or SCHED_RR)."""
        def policy(stat):
            with open(stat) as f:
                return int(f.read().rsplit(")", 1)[1].split()[38])
        tasks = [f"/proc/{p.pid}/task/{t}/stat" for p in self.procs for t in os.listdir(f"/proc/{p.pid}/task")]
        return any(policy(t) in (1, 2) for t in tasks)

    def stop(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait(5)


class PipeWireServer(SoundServer):
    """A PipeWire of our own with its PulseAudio layer, as Debian's desktops run it, on a session
    bus of its own, and with the hardware left alone: its session manager watches no sound card,
    camera or Bluetooth device, so it never takes a device from a developer's own server."""

    name, answer = "PipeWire", "Server Name: PulseAudio (on PipeWire"
    programs = ("dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse")

    def commands(self):
        """Writes the session manager's settings; the commands in the order Debian's desktops use."""
        bus = os.path.join(self.runtime_dir, "bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus
        for folder, text in (("main", "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
                                      "libcamera_monitor.enabled = false\n"),
                             ("bluetooth", "bluez_monitor.enabled = false\n")):
            config = os.path.join(self.env["HOME"], ".config", "wireplumber", f"{folder}.lua.d")
            os.makedirs(config, exist_ok=True)
            with open(os.path.join(config, "51-no-devices.lua"), "w") as f:
                f.write(text)
        return [["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus],
                ["pipewire"], ["wireplumber"], ["pipewire-pulse"]]


SERVERS = (SoundServer, PipeWireServer)


def installed(kind):
    return all(shutil.which(p) for p in kind.programs)


def servers():
    """The sound servers installed here, each able to run privately for a test."""
    return [s for s in SERVERS if installed(s)]


def parec(server, sink, out, *latency):
    """Records the sink's monitor as raw float stereo into `out`. Ask for a small `latency`:
    otherwise PipeWire holds seconds of it, lost when parec is stopped."""
    return subprocess.Popen(ENDS_WITH_US + ["parec", "-d", f"{sink}.monitor", "--format=float32le", f"--rate={RATE}",
                                            f"--channels={CHANNELS}", "--raw", *latency],
                            env=server.env, stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


class Recorder:
    """Records a sink's monitor and knows when (time.monotonic) each frame was played into it.
    The sink's clock runs at exactly RATE, so frame n was played at origin + n / RATE. A chunk
    arriving with n frames recorded bounds the origin by arrival - n / RATE; the smallest bound
    is the tightest, since that chunk waited least in the buffers between sink and reader.
    A sink that rests while nothing plays (PipeWire's graph stops cycling) records nothing
    meanwhile: a chunk that could only have been played more than GAP later than that origin
    says so, and the frames from it on get an origin of their own."""

    GAP = 0.05

    def __init__(self, server, sink="cap"):
        self.proc = parec(server, sink, subprocess.PIPE, "--latency-msec=5", "--process-time-msec=2")
        self.data, self.closed = bytearray(), False
        self.segments = [[0, math.inf]]  # [first frame, origin] of each stretch recorded without a rest
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            chunk = os.read(self.proc.stdout.fileno(), 1 << 16)
            now = time.monotonic()
            with self.cond:
                self.closed = not chunk
                first = len(self.data) // FRAME_BYTES
                self.data += chunk
                total = len(self.data) // FRAME_BYTES
                segment = self.segments[-1]
                if chunk and now - (total - segment[0]) / RATE > segment[1] + self.GAP:
                    segment = [first, math.inf]
                    self.segments.append(segment)
                segment[1] = min(segment[1], now - (total - segment[0]) / RATE)
                self.cond.notify_all()
                if self.closed:
                    return

    def _wait(self, frames, deadline, what):
        while len(self.data) // FRAME_BYTES < frames():
            left = deadline - time.monotonic()
            require(left > 0 and not self.closed, what)
            self.cond.wait(min(left, 0.05))

    def frame_at(self, t):
        first, origin = self.segments[0]
        for f, o in self.segments[1:]:
            if t < o:  # before the next stretch: in this one, or in the rest after it
                return min(first + max(0, int(round((t - origin) * RATE))), f)
            first, origin = f, o
        return first + max(0, int(round((t - origin) * RATE)))

    def onset_after(self, t, search=0.5):
        """Seconds from `t` to the first audible sample recorded after it (a tone's second
        sample is already about 0.01), or None when nothing sounds within `search` seconds."""
        for n, x in enumerate(self.channel(t - 0.002, t + search)):
            if abs(x) > 1e-4:
                return n / RATE - 0.002
        return None

    def wait_started(self, timeout=10):
        with self.cond:
            self._wait(lambda: RATE // 10, time.monotonic() + timeout, "parec recorded nothing")

    def channel(self, t0, t1, timeout=10):
        """The left channel between wall-clock moments t0 and t1, waiting until recorded."""
        with self.cond:
            self._wait(lambda: self.frame_at(t1), max(t1, time.monotonic()) + timeout,
                       "the recording stopped early")
            f0, f1 = self.frame_at(t0), self.frame_at(t1)
            samples = array.array("f", bytes(self.data[f0 * FRAME_BYTES:f1 * FRAME_BYTES]))
        return samples[0::2]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)
        self.thread.join(5)


def tone_amplitude(samples, freq):
    """Goertzel: the amplitude of the `freq` Hz component (a full-scale sine gives 1.0)."""
    coeff = 2.0 * math.cos(2.0 * math.pi * freq / RATE)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    return 2.0 * math.sqrt(max(s1 * s1 + s2 * s2 - coeff * s1 * s2, 0.0)) / max(len(samples), 1)


def sine_breaks(x, freq):
    """Where the samples `x` of a steady sine of `freq` Hz leave it: its amplitude and the first
    and last sample of each break; flagged samples less than 1 ms apart make one break. Any
    number of voices playing one tone make one sine. Two checks per sample: the residual of the
    predictor x[n] - 2cos(w)x[n-1] + x[n-2], zero for every sine of that frequency, leaps where
    frames were lost or repeated (the phase jumps); the amplitude through two samples,
    sqrt(x[n]^2 - 2cos(w)x[n]x[n-1] + x[n-1]^2) / sin(w), falls at inserted silence or a level
    drop, and strays at a phase jump too. The amplitude is the median over the first 100 ms."""
    w = 2 * math.pi * freq / RATE
    c2 = 2 * math.cos(w)
    q = sorted(x[n] * x[n] - c2 * x[n] * x[n - 1] + x[n - 1] * x[n - 1] for n in range(1, min(len(x), RATE // 10)))
    q0 = q[len(q) // 2]  # amplitude^2 sin^2(w)
    lim, lo, hi = RESIDUAL * math.sqrt(q0) / math.sin(w), q0 * (1 - LEVEL) ** 2, q0 * (1 + LEVEL) ** 2
    bad, x2, x1 = [], x[0], x[1]
    for n, v in enumerate(itertools.islice(x, 2, None), 2):
        if not (-lim < v - c2 * x1 + x2 < lim and lo < v * v - c2 * v * x1 + x1 * x1 < hi):
            bad.append(n)
        x2, x1 = x1, v
    breaks = []
    for n in bad:
        if breaks and n - breaks[-1][1] < RATE // 1000:
            breaks[-1][1] = n
        else:
            breaks.append([n, n])
    return math.sqrt(q0) / math.sin(w), breaks


class _ClientMessage(ctypes.Structure):  # XClientMessageEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):  # XEvent is a union padded to 24 longs
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class XDisplay:

    def __init__(self):
        x11 = self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        c = ctypes
        for fn, restype, argtypes in [
                (x11.XOpenDisplay, c.c_void_p, [c.c_char_p]),
                (x11.XInternAtom, c.c_ulong, [c.c_void_p, c.c_char_p, c.c_int]),
                (x11.XSendEvent, c.c_int, [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.c_void_p]),
                (x11.XFlush, c.c_int, [c.c_void_p]), (x11.XCloseDisplay, c.c_int, [c.c_void_p]),
                (x11.XSync, c.c_int, [c.c_void_p, c.c_int]),
                (x11.XKeysymToKeycode, c.c_ubyte, [c.c_void_p, c.c_ulong]),
                (x11.XStringToKeysym, c.c_ulong, [c.c_char_p]),
                (self.xtst.XTestFakeKeyEvent, c.c_int, [c.c_void_p, c.c_uint, c.c_int, c.c_ulong])]:
            fn.restype, fn.argtypes = restype, argtypes
        self.dpy = x11.XOpenDisplay(None)
        require(self.dpy, "cannot open the X display")

    def request_close(self, window):
        """What a window manager does on the close button: WM_PROTOCOLS with WM_DELETE_WINDOW."""
        ev = _XEvent()
        ev.client.type, ev.client.send_event, ev.client.window, ev.client.format = 33, 1, window, 32
        ev.client.message_type = self.x11.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        ev.client.l[0] = self.x11.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)  # at CurrentTime
        require(self.x11.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(ev)) != 0, "XSendEvent failed")
        self.x11.XSync(self.dpy, 0)

    def press_key(self, keysym_name):
        """A key through XTEST, as xdotool does it, but timed here: returns when the press left."""
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(keysym_name.encode()))
        require(code != 0, f"no key code for {keysym_name}")
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

    def __init__(self, exe, folder, server, log_path, **env):
        self.env = dict(server.env, QT_QPA_PLATFORM="xcb", **env)
        self.log_path, self.log_start = log_path, os.path.getsize(log_path) if os.path.exists(log_path) else 0
        self.log = open(log_path, "ab")
        self.proc = subprocess.Popen([exe], cwd=folder, env=self.env, stdout=self.log,
                                     stderr=self.log, stdin=subprocess.DEVNULL)
        out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Sorvane Ver"],
                             env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20)
        require(out.returncode == 0 and out.stdout.split(), "the board's window did not appear")
        self.window = int(out.stdout.split()[0])
        # No window manager under Xvfb: windowfocus sets the input focus directly.
        run(["xdotool", "windowfocus", "--sync", str(self.window)], env=self.env)

    def key(self, name):
        """Types one key with xdotool; returns the moment just before it was sent."""
        before = time.monotonic()
        run(["xdotool", "key", "--clearmodifiers", name], env=self.env)
        return before

    def start_line(self, timeout=10):
        """The first line the board printed about its output once it played (`sorvane: output
        NAME, RATE Hz, ...`), or None when it said none within `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            with open(self.log_path, "rb") as f:
                f.seek(self.log_start)
                lines = f.read().decode(errors="replace").splitlines()
            said = [line for line in lines if line.startswith("sorvane: output ")]
            if said or time.monotonic() > deadline or self.proc.poll() is not None:
                return said[0] if said else None
            time.sleep(0.1)

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise RunError(f"the board did not end within {timeout} s")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.log.close()


def stop_all(*things):
    """Ends what was started, in order, whatever failed before (None: never started)."""
    for thing in things:
        try:
            if thing is not None:
                (getattr(thing, "kill", None) or getattr(thing, "stop", None) or thing.close)()
        except Exception:  # cleanup goes on with the rest
            pass


def hold_cpus_ready():
    """On a virtual machine an idle CPU can take milliseconds to wake, longer than a sound
    server's quantum, and the server then loses a quantum whoever its client is (paplay too);
    real hardware wakes in microseconds. While a measurement runs the CPUs are asked to stay
    ready, with the kernel's PM QoS request (held while the file stays open), where this process
    may. SORVANE_IDLE_CPUS=1 measures without it. Returns the open file, or None."""
    if os.environ.get("SORVANE_IDLE_CPUS") == "1":
        print("cpus: idle states allowed (SORVANE_IDLE_CPUS=1)")
        return None
    try:
        fd = os.open("/dev/cpu_dma_latency", os.O_WRONLY)
        os.write(fd, struct.pack("i", 0))
        print("cpus: held ready (PM QoS latency 0) while measuring")
        return fd
    except OSError as e:
        print(f"cpus: idle states allowed ({e.strerror})")
        return None


def exit_with(name, main):
    """Runs a script's main: its return code, or 1 with the failure said."""
    ready = hold_cpus_ready()  # noqa: F841 (held open until the process ends)
    try:
        sys.exit(main())
    except RunError as e:
        print(f"{name}: {e}")
        sys.exit(1)


def install_watchdog(seconds):
    """A hung step must fail the test, not hold ctest until its own timeout."""
    def expired(signo, frame):
        raise RunError(f"the test ran longer than {seconds} s")
    signal.signal(signal.SIGALRM, expired)
    signal.alarm(seconds)
