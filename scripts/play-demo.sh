#!/usr/bin/env bash
# Plays the board from the keyboard as a user would and checks what comes out of the speakers.
#
# Under a private X server and a private PulseAudio server with a null sink, the board starts
# in a scratch folder on a slot list of three tones (440 Hz on key 0, 660 Hz with fade-out on
# key 1, 990 Hz on key 2). xdotool types the keys, parec records the sink, and a Goertzel
# analysis per 100 ms window shows each tone starting and stopping with its key, the fade-out
# decaying and stopping about 4.4 s after its key, and Escape silencing everything. It prints
# the timeline and the measured fade length, and exits non-zero when an expectation fails.
#
# Usage: scripts/play-demo.sh [PATH/TO/sorvane]   (default: build/sorvane)
# Needs: xvfb-run xauth xdotool pulseaudio pactl parec ffmpeg python3.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-$here/../build/sorvane}")

if [ -z "${PLAY_DEMO_UNDER_X:-}" ]; then
  for tool in xvfb-run xauth xdotool pulseaudio pactl parec ffmpeg python3; do
    command -v "$tool" >/dev/null || { echo "play-demo: $tool is not installed" >&2; exit 2; }
  done
  [ -x "$exe" ] || { echo "play-demo: no program at $exe" >&2; exit 2; }
  PLAY_DEMO_UNDER_X=1 exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$0" "$exe"
fi

work=$(mktemp -d /tmp/play-demo.XXXXXX)
app_pid="" parec_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$parec_pid" ] && kill "$parec_pid" 2>/dev/null || true
  if [ -f "${PULSE_RUNTIME_PATH:-/nonexistent}/pid" ]; then
    kill "$(cat "$PULSE_RUNTIME_PATH/pid")" 2>/dev/null || true
  fi
  if [ -z "${PLAY_DEMO_KEEP:-}" ]; then rm -rf "$work"; else echo "kept $work"; fi
}
trap cleanup EXIT

# A sound server of our own, so a developer's session and other tests are never touched.
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
export PULSE_RUNTIME_PATH=$work/run/pulse PULSE_STATE_PATH=$work/run/pulse
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$PULSE_RUNTIME_PATH" "$HOME"
pulseaudio -D --exit-idle-time=-1 --log-target="file:$work/pulseaudio.log" 2>/dev/null
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl load-module module-null-sink sink_name=cap rate=48000 >/dev/null
pactl set-default-sink cap

# The board's folder: three 8 s tones and the slot list naming them.
board=$work/board
mkdir -p "$board"
for f in 440 660 990; do
  ffmpeg -v error -f lavfi -i "sine=frequency=$f:duration=8:sample_rate=48000" "$board/tone$f.wav"
done
printf '%s\r\n' \
  ' 0 ,"0","tone440","tone440.wav", 0 , 800 , 0 , 0 ' \
  ' 1 ,"1","tone660","tone660.wav", 0 , 800 , 1 , 0 ' \
  ' 2 ,"2","tone990","tone990.wav", 0 , 800 , 0 , 0 ' >"$board/SoundList.csv"

(cd "$board" && SDL_AUDIODRIVER=pulseaudio exec "$exe" >"$work/sorvane.log" 2>&1) &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --name "Sorvane Ver" | head -n1 || true)
[ -n "$wid" ] || { echo "play-demo: the board window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$wid"
# The sound server needs a moment before the board's output stream runs in real time.
sleep 3

parec -d cap.monitor --format=float32le --rate=48000 --channels=2 --raw "$work/out.raw" &
parec_pid=$!
keylog=$work/keys.txt
# Each key at its time after the recording started; the log keeps when it was really typed.
python3 - "$keylog" <<'PY'
import subprocess, sys, time
t0 = time.monotonic()
plan = [(1.0, "0"),       # 440 on
        (2.0, "1"),       # 660 on
        (3.0, "0"),       # 440 off at once
        (3.5, "2"),       # 990 on
        (4.0, "1"),       # 660 fades out, should stop about 4.4 s later
        (7.0, "0"),       # 440 on again
        (9.0, "Escape")]  # everything off
with open(sys.argv[1], "w") as log:
    for at, key in plan:
        time.sleep(max(0.0, t0 + at - time.monotonic()))
        typed = time.monotonic() - t0
        subprocess.run(["xdotool", "key", key], check=True)
        log.write(f"{typed:.3f} {key}\n")
    time.sleep(max(0.0, t0 + 10.5 - time.monotonic()))
PY
kill "$parec_pid"
wait "$parec_pid" 2>/dev/null || true
parec_pid=""

# The analysis: the level of each tone per 100 ms window (Goertzel on a Hann window), every
# 25 ms. Gaps in the output (or the recorder) show as a dip with a click across all bands; they
# are reported but are not taken for a stop.
python3 - "$work/out.raw" "$keylog" <<'PY'
import array, math, sys

RATE = 48000
TONES = (440, 660, 990)
PROBES = (550, 825, 1300)  # between and above the tones: broadband clicks show here too
WINDOW = 4800  # 100 ms
HOP = RATE // 40  # 25 ms
ON, OFF = 0.05, 0.0005  # a tone at volume 800 peaks at 0.1; the fade's last step is 0.0014

raw_path, key_path = sys.argv[1], sys.argv[2]
samples = array.array("f")
with open(raw_path, "rb") as f:
    data = f.read()
samples.frombytes(data[: len(data) // 8 * 8])
mono = [(samples[i] + samples[i + 1]) * 0.5 for i in range(0, len(samples), 2)]
keys = []
with open(key_path) as f:
    for line in f:
        t, k = line.split()
        keys.append((float(t), k))

hann = [0.5 - 0.5 * math.cos(2 * math.pi * n / (WINDOW - 1)) for n in range(WINDOW)]
norm = sum(hann) / 2

def level(start, freq):
    """Amplitude of one frequency in the window that starts at sample `start` (Goertzel)."""
    c, s1, s2 = 2 * math.cos(2 * math.pi * freq / RATE), 0.0, 0.0
    for n in range(WINDOW):
        s0 = mono[start + n] * hann[n] + c * s1 - s2
        s2, s1 = s1, s0
    return math.sqrt(max(s1 * s1 + s2 * s2 - c * s1 * s2, 0.0)) / norm

centres, levels, noise = [], {f: [] for f in TONES}, []
for start in range(0, len(mono) - WINDOW, HOP):
    centres.append((start + WINDOW / 2) / RATE)
    for f in TONES:
        levels[f].append(level(start, f))
    noise.append(max(level(start, f) for f in PROBES))

def silent(freq, i):
    # Quiet, or no louder than the click that a gap in the output spreads over every band.
    v = levels[freq][i]
    return v < OFF or v < 4 * noise[i]

def db(v):
    return "  -inf" if v <= 1e-7 else f"{20 * math.log10(v):6.1f}"

print("timeline (dBFS per 100 ms window; # on, . quiet but there, blank silent; ! a click)")
print("   t/s   440 Hz  660 Hz  990 Hz         keys")
for i in range(0, len(centres), 4):
    t = centres[i]
    marks = "".join("#" if levels[f][i] > ON else " " if silent(f, i) else "." for f in TONES)
    click = "!" if noise[i] > OFF else " "
    typed = " ".join(k for kt, k in keys if t - 0.05 <= kt < t + 0.05)
    print(f"{t:6.2f}  " + "  ".join(db(levels[f][i]) for f in TONES) + f"   {marks} {click}  {typed}")

failures = []
def expect(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)

(k440a, _), (k660a, _), (k440b, _), (k990, _), (kfade, _), (k440c, _), (kesc, _) = keys

def indices(a, b):
    return [i for i, t in enumerate(centres) if a <= t <= b]

def is_on(freq, i):
    return levels[freq][i] > ON

def starts(freq, after):
    """Where the tone comes in and stays on (a dropout only lowers a level)."""
    for i in indices(after, 1e9):
        if all(is_on(freq, j) or noise[j] > OFF for j in indices(centres[i], centres[i] + 0.3)):
            return centres[i]
    return None

def stops(freq, after):
    """The first quiet window, with no click in it, after which the tone stays silent."""
    for i in indices(after, 1e9):
        if levels[freq][i] < OFF and noise[i] <= OFF and \
                all(silent(freq, j) for j in indices(centres[i], centres[i] + 0.4)):
            return centres[i]
    return None

onset = starts(440, k440a - 0.2)
if onset is None:
    print("FAIL  440 Hz starts with key 0")
    sys.exit(1)
# The key log and the recording start at slightly different moments; the first key lines them up.
lat = onset - k440a
print(f"first key to its sound in the recording: {lat * 1000:.0f} ms (lines up keys and recording)")
expect(-0.3 <= lat <= 1.0, "the first tone starts with its key")

dropouts = set()
def on_between(freq, a, b):
    span = indices(a + lat + 0.1, b + lat - 0.1)
    dips = [i for i in span if not is_on(freq, i)]
    dropouts.update(round(centres[i], 2) for i in dips)
    # A dip is a dropout of the output (or the recorder), not a stop, when it comes with a
    # click and passes within 150 ms.
    longest = run = 0
    for i in span:
        run = run + 1 if not is_on(freq, i) else 0
        longest = max(longest, run)
    return bool(span) and all(noise[i] > OFF for i in dips) and longest <= 6
def off_between(freq, a, b):
    span = indices(a + lat + 0.1, b + lat - 0.1)
    return bool(span) and all(silent(freq, i) for i in span)
def near(t, key_time):
    return t is not None and abs(t - (key_time + lat)) <= 0.2

end = centres[-1] + 1
for f in TONES:
    expect(off_between(f, -1, k440a), f"{f} Hz silent before the first key")
expect(on_between(440, k440a, k440b), "440 Hz plays from key 0")
expect(near(stops(440, k440b + lat - 0.3), k440b) and off_between(440, k440b, k440c),
       "440 Hz stops at key 0 again")
expect(near(starts(440, k440c + lat - 0.3), k440c) and on_between(440, k440c, kesc),
       "440 Hz plays again from key 0")
expect(near(starts(660, k660a + lat - 0.3), k660a) and on_between(660, k660a, kfade),
       "660 Hz plays from key 1")
expect(near(starts(990, k990 + lat - 0.3), k990) and on_between(990, k990, kesc),
       "990 Hz plays from key 2")

def loudest(freq, t):
    # The loudest window near t: a dropout can only lower a level.
    return max(levels[freq][i] for i in indices(t - 0.06, t + 0.06))

steady = sorted(levels[660][i] for i in indices(k660a + lat + 0.2, kfade + lat - 0.1))
steady = steady[len(steady) // 2]
fade_from = kfade + lat
stop = stops(660, fade_from + 1.0)
if stop is None:
    expect(False, "660 Hz fades out and stops")
else:
    length = stop - fade_from
    print(f"fade-out length: {length:.2f} s from key 1 to silence (43 steps of 100 ms, stop at the 44th)")
    expect(4.0 <= length <= 4.8, "the fade-out stops about 4.4 s after key 1")
    expect(off_between(660, stop - lat + 0.05, end), "660 Hz stays silent after its fade")
    for seconds in (1, 2, 3):
        ratio = loudest(660, fade_from + seconds) / steady
        ideal = 0.9 ** (10 * seconds)
        expect(ideal / 2 <= ratio <= ideal * 2,
               f"660 Hz after {seconds} s of fade at {ratio:.3f} of its level (about {ideal:.3f})")
    probes = [loudest(660, fade_from + 0.3 + 0.5 * n) for n in range(int((length - 0.5) / 0.5))]
    expect(all(b < a for a, b in zip(probes, probes[1:])), "the fade falls steadily")
for f in (440, 990):
    expect(near(stops(f, kesc + lat - 0.3), kesc) and off_between(f, kesc, end),
           f"Escape silences {f} Hz")

if dropouts:
    print(f"warning: the output dropped out (a dip with a click) around "
          f"{', '.join(f'{t:.2f}' for t in sorted(dropouts))} s")
if failures:
    print(f"{len(failures)} expectation(s) failed")
    sys.exit(1)
print("all expectations met")
PY
