"""End-to-end harness: the real Tonmiro program under its own Xvfb and a private PulseAudio server.

Every test gets a fresh X server, sound server and program instance (``Session``), drives the
program with real X key and pointer events (XTEST, through xdotool or libXtst), records what the
program plays from the null sink's monitor with parec, and analyses the recording with numpy.

The program path comes from the environment variable TONMIRO_EXE. What a failed test leaves is
copied to a folder under TONMIRO_E2E_ARTIFACTS (nothing is kept when it is unset): the
tracebacks and each program's exit status (failure.txt), a screenshot of the screen at the end
of the test (failure.png), the program's output (tonmiro-N.log: its stdout and stderr), every
recording as a WAV file, and the X and sound servers' logs.
"""

import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

import numpy as np

RATE = 48000
TONIC_HZ = 120.7
# Semitone steps of the degrees 1..7 of the major scale.
SCALE_STEPS = (0, 2, 4, 5, 7, 9, 11)

WINDOW_WIDTH = 876
WINDOW_HEIGHT = 840

STARTUP_TIMEOUT = 60.0  # a cold start on a loaded 2-core machine can take a while
KEY_HOLD = 0.04         # the program samples the keyboard every 10 ms; hold well past that


def sample_frequency(sample):
    """Nominal fundamental of sample 1..26: 120.7 Hz x 2^(k/12), k = 12 x octave + step."""
    octave, degree = divmod(sample - 1, 7)
    return TONIC_HZ * 2.0 ** ((12 * octave + SCALE_STEPS[degree]) / 12.0)


def cents(f, ref):
    return 1200.0 * np.log2(f / ref)


def nearest_sample(freq):
    """The sample whose nominal pitch is nearest to freq, and the distance in cents."""
    best = min(range(1, 27), key=lambda s: abs(cents(freq, sample_frequency(s))))
    return best, cents(freq, sample_frequency(best))


def _which(tool):
    path = shutil.which(tool)
    if path is None:
        raise RuntimeError(f"{tool} is not installed (see scripts/install-deps)")
    return path


def _wait_for(predicate, timeout, interval=0.02, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def _stop_process(proc, sig=signal.SIGTERM, timeout=5.0):
    """Ends a process this harness started, by its own handle: a signal, then SIGKILL."""
    if proc is None or proc.poll() is not None:
        return
    try:
        proc.send_signal(sig)
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=timeout)
    except ProcessLookupError:
        pass


class Xvfb:
    """A private X server on a free display number, chosen by the server itself (-displayfd)."""

    def __init__(self, workdir, size="1280x1024x24"):
        self.workdir = workdir
        self.size = size
        self.proc = None
        self.display = None

    def start(self):
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.workdir, "xvfb.log"), "wb")
        self.proc = subprocess.Popen(
            [_which("Xvfb"), "-displayfd", str(write_fd), "-screen", "0", self.size,
             "-nolisten", "tcp", "-noreset", "-auth", "/dev/null"],
            pass_fds=(write_fd,), stdout=log, stderr=log, start_new_session=True)
        os.close(write_fd)
        log.close()
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                ready, _, _ = select.select([pipe], [], [], max(remaining, 0))
                if not ready:
                    raise TimeoutError("Xvfb did not report a display number")
                chunk = pipe.read(16)
                if not chunk:
                    raise RuntimeError(f"Xvfb exited (code {self.proc.poll()}), see xvfb.log")
                number += chunk
        self.display = ":" + number.decode().strip()
        return self

    def stop(self):
        _stop_process(self.proc)


class PulseServer:
    """A private PulseAudio daemon: a null sink at 48 kHz as default sink, and one anonymous
    native-protocol socket. Its runtime folders are its own, so it never meets a user's server."""

    SINK = "tonmiro_e2e"

    def __init__(self, workdir):
        self.workdir = os.path.join(workdir, "pulse")
        self.socket = os.path.join(self.workdir, "native")
        self.proc = None

    @property
    def server(self):
        return "unix:" + self.socket

    def env(self):
        return {
            "PULSE_SERVER": self.server,
            "PULSE_RUNTIME_PATH": os.path.join(self.workdir, "runtime"),
            "PULSE_STATE_PATH": os.path.join(self.workdir, "state"),
            "XDG_RUNTIME_DIR": os.path.join(self.workdir, "runtime"),
            "XDG_CONFIG_HOME": os.path.join(self.workdir, "config"),
            "HOME": os.path.join(self.workdir, "home"),
        }

    def start(self):
        for sub in ("runtime", "state", "config", "home"):
            os.makedirs(os.path.join(self.workdir, sub), mode=0o700, exist_ok=True)
        script = os.path.join(self.workdir, "default.pa")
        with open(script, "w") as f:
            f.write(f"load-module module-null-sink sink_name={self.SINK} rate={RATE} channels=2\n"
                    f"set-default-sink {self.SINK}\n"
                    f"set-default-source {self.SINK}.monitor\n"
                    f"load-module module-native-protocol-unix auth-anonymous=1 socket={self.socket}\n")
        env = dict(os.environ, **self.env())
        env.pop("DISPLAY", None)  # no X11 bell or session modules
        self.log_path = os.path.join(self.workdir, "pulseaudio.log")
        log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(
            [_which("pulseaudio"), "--system=false", "-n", "--daemonize=no", "--exit-idle-time=-1",
             "--disallow-exit", "--use-pid-file=false", "--disable-shm=true", "--realtime=false",
             "--log-target=stderr", "-F", script],
            env=env, stdout=log, stderr=log, start_new_session=True)
        log.close()

        def ready():
            if self.proc.poll() is not None:
                raise RuntimeError(f"pulseaudio exited (code {self.proc.returncode}):\n"
                                   + open(self.log_path, errors="replace").read())
            r = subprocess.run([_which("pactl"), "info"], env=env, capture_output=True, text=True)
            return r.returncode == 0 and self.SINK in r.stdout
        _wait_for(ready, 30, interval=0.1, what="the PulseAudio server")
        return self

    def clients(self):
        """Names of the connected clients (the program appears here once its stream is open)."""
        env = dict(os.environ, **self.env())
        r = subprocess.run([_which("pactl"), "list", "short", "clients"], env=env,
                           capture_output=True, text=True)
        return r.stdout

    def sink_inputs(self):
        env = dict(os.environ, **self.env())
        r = subprocess.run([_which("pactl"), "list", "short", "sink-inputs"], env=env,
                           capture_output=True, text=True)
        return [line for line in r.stdout.splitlines() if line.strip()]

    def stop(self):
        _stop_process(self.proc)


class Recording:
    """The null sink's monitor recorded with parec (s16le, 48 kHz) from start() to stop()."""

    def __init__(self, pulse, path, channels=1):
        self.pulse = pulse
        self.path = path
        self.channels = channels
        self.proc = None
        self.samples = None

    def start(self):
        env = dict(os.environ, **self.pulse.env())
        self._file = open(self.path, "wb")
        self.proc = subprocess.Popen(
            [_which("parec"), "-d", PulseServer.SINK + ".monitor", "--raw", "--format=s16le",
             f"--rate={RATE}", f"--channels={self.channels}", "--latency-msec=10"],
            env=env, stdout=self._file, stderr=subprocess.DEVNULL, start_new_session=True)
        # The monitor delivers silence while nothing plays: wait until data flows, so that nothing
        # played after start() returns is missed.
        _wait_for(lambda: os.path.getsize(self.path) >= 4800 * self.channels, 20,
                  interval=0.01, what="parec to deliver audio")
        return self

    def stop(self):
        _stop_process(self.proc, signal.SIGINT)
        self._file.close()
        data = np.fromfile(self.path, dtype="<i2")
        data = data[: len(data) - len(data) % self.channels]
        data = data.reshape(-1, self.channels).astype(np.float64)
        self.samples = data.mean(axis=1)
        return self.samples

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        if self.samples is None:
            self.stop()


# ---------------------------------------------------------------------------------------------
# Direct X client (libX11 + libXtst through ctypes), for what must be timed to the millisecond:
# a key event whose moment is known exactly (XSync returns once the server has processed it),
# and the moment a window is unmapped or destroyed.

class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("pad", ctypes.c_long * 24)]


_X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_x_errors = _X_ERROR_HANDLER(lambda display, event: 0)

_DESTROY_NOTIFY = 17
_UNMAP_NOTIFY = 18
_STRUCTURE_NOTIFY_MASK = 1 << 17


class XClient:
    def __init__(self, display):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for name in ("XSync", "XFlush", "XPending", "XConnectionNumber", "XCloseDisplay",
                     "XNextEvent", "XSelectInput", "XKeysymToKeycode"):
            getattr(self.x11, name).argtypes = None
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XPending.argtypes = [ctypes.c_void_p]
        self.x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(_XEvent)]
        self.x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.x11.XSetErrorHandler(_ignore_x_errors)  # a window may be gone when we ask about it
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open X display {display}")

    def close(self):
        if self.dpy:
            self.x11.XCloseDisplay(self.dpy)
            self.dpy = None

    def keycode(self, keysym_name):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(keysym_name.encode()))
        if not code:
            raise ValueError(f"no keycode for keysym {keysym_name}")
        return code

    def key_event(self, keycode, down):
        """Sends one key event and returns the monotonic time at which the server had it."""
        self.xtst.XTestFakeKeyEvent(self.dpy, keycode, 1 if down else 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def key_events(self, keycodes, down):
        """Sends several key events in one request batch: the X server handles them back to
        back and hands them to the program in one piece, so a program that samples its
        keyboard sees them all go down (or up) in the same sample."""
        for keycode in keycodes:
            self.xtst.XTestFakeKeyEvent(self.dpy, keycode, 1 if down else 0, 0)
        self.x11.XSync(self.dpy, 0)
        return time.monotonic()

    def watch_structure(self, window):
        self.x11.XSelectInput(self.dpy, window, _STRUCTURE_NOTIFY_MASK)
        self.x11.XSync(self.dpy, 0)

    def wait_unmapped(self, timeout):
        """Waits for an UnmapNotify or DestroyNotify of a watched window; returns
        (monotonic time it was read, event type) or None on timeout."""
        fd = self.x11.XConnectionNumber(self.dpy)
        deadline = time.monotonic() + timeout
        event = _XEvent()
        while True:
            while self.x11.XPending(self.dpy):
                self.x11.XNextEvent(self.dpy, ctypes.byref(event))
                if event.type in (_UNMAP_NOTIFY, _DESTROY_NOTIFY):
                    return time.monotonic(), event.type
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            select.select([fd], [], [], remaining)


# ---------------------------------------------------------------------------------------------
# Screenshots: xwd output converted to PNG with numpy and zlib.

def xwd_to_rgb(data):
    header = struct.unpack(">25I", data[:100])
    header_size, _version, _fmt, _depth, width, height = header[:6]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask = header[14], header[15], header[16]
    ncolors = header[19]
    offset = header_size + 12 * ncolors
    if bits_per_pixel not in (24, 32):
        raise ValueError(f"unsupported xwd depth: {bits_per_pixel} bits per pixel")
    step = bits_per_pixel // 8
    rows = np.frombuffer(data, dtype=np.uint8, count=height * bytes_per_line, offset=offset)
    rows = rows.reshape(height, bytes_per_line)[:, : width * step].reshape(height, width, step)
    if step == 3:  # packed 24-bit pixels (a root window): widen to 32 bits
        pad = np.zeros((height, width, 1), np.uint8)
        rows = np.concatenate([rows, pad] if byte_order == 0 else [pad, rows], axis=2)
    pixels = np.ascontiguousarray(rows).view("<u4" if byte_order == 0 else ">u4").reshape(height, width)

    def channel(mask):
        shift = (mask & -mask).bit_length() - 1
        return ((pixels & mask) >> shift).astype(np.uint8)
    return np.dstack([channel(red_mask), channel(green_mask), channel(blue_mask)])


def write_png(path, rgb):
    height, width, _ = rgb.shape
    raw = np.hstack([np.zeros((height, 1), np.uint8), rgb.reshape(height, width * 3)]).tobytes()

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))


# ---------------------------------------------------------------------------------------------
# The program.

# xdotool's short names of the modifier keys, as X keysym names.
_CHORD_KEYSYMS = {"shift": "Shift_L", "ctrl": "Control_L", "control": "Control_L",
                  "alt": "Alt_L", "super": "Super_L"}


class Program:
    """One running instance of Tonmiro, with its main window."""

    def __init__(self, session, extra_env=None):
        self.session = session
        self.exe = session.exe
        env = dict(os.environ)
        for key in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SDL_AUDIODRIVER"):
            env.pop(key, None)
        env.update(session.pulse.env())
        env.update({
            "DISPLAY": session.xvfb.display,
            "QT_QPA_PLATFORM": "xcb",
            "SDL_AUDIODRIVER": "pulseaudio",  # no silent fallback to ALSA or the dummy driver
            "QT_FONT_DPI": "96",
            "QT_SCALE_FACTOR": "1",
            "LANG": "C.UTF-8",
            # The program asks SDL for a 256-frame period, and SDL's PulseAudio backend makes
            # that (5.3 ms) the whole server-side buffer. On a loaded 2-core machine the
            # program's audio thread misses that deadline every few milliseconds and the
            # recording fills with holes. A 20 ms server buffer keeps the stream fed; the
            # program's period, and so its onset placement, stay as they are.
            "PULSE_LATENCY_MSEC": "20",
            # No session bus: without this, Qt looks for one (file dialogs, theme) and a later
            # program instance on the same display waits 15 s for it.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(session.workdir, "no-bus"),
        })
        # Each instance starts as a new user: Qt's file dialog keeps its history in the config
        # folder, and a second instance that reads it back took 15 s to show its dialog.
        instance = session.next_id()
        home = os.path.join(session.workdir, f"home-{instance}")
        os.makedirs(home, exist_ok=True)
        env["HOME"] = home
        env["XDG_CONFIG_HOME"] = os.path.join(home, ".config")
        env["XDG_CACHE_HOME"] = os.path.join(home, ".cache")
        env["XDG_DATA_HOME"] = os.path.join(home, ".local", "share")
        env.update(extra_env or {})
        self.env = env
        self.log_path = os.path.join(session.workdir, f"tonmiro-{instance}.log")
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen([self.exe], env=env, stdout=self._log, stderr=self._log,
                                     cwd=home, start_new_session=True)
        self.window = None

    # --- tools -----------------------------------------------------------------------------

    def _tool(self, *args, timeout=20.0, check=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                           timeout=timeout)
        if check and r.returncode != 0:
            raise RuntimeError(f"{' '.join(args)} failed ({r.returncode}): {r.stderr.strip()}")
        return r

    def xdotool(self, *args, timeout=20.0, check=True):
        return self._tool(_which("xdotool"), *args, timeout=timeout, check=check)

    def log(self):
        self._log.flush()
        with open(self.log_path, errors="replace") as f:
            return f.read()

    # --- windows ---------------------------------------------------------------------------

    def find_windows(self, name_regex):
        """Visible top-level windows of this process whose name matches name_regex."""
        r = self.xdotool("search", "--all", "--onlyvisible", "--pid", str(self.proc.pid),
                         "--name", name_regex, check=False)
        return [int(w) for w in r.stdout.split()]

    def wait_window(self, name_regex="^Tonmiro", timeout=STARTUP_TIMEOUT):
        def found():
            if self.proc.poll() is not None:
                raise RuntimeError(f"program exited with {self.proc.returncode} before its window "
                                   f"appeared:\n{self.log()}")
            windows = self.find_windows(name_regex)
            return windows[0] if windows else None
        return _wait_for(found, timeout, interval=0.1, what=f"a window named {name_regex!r}")

    def wait_main_window(self, timeout=STARTUP_TIMEOUT):
        self.window = self.wait_window("^Tonmiro", timeout)
        self.focus()
        return self.window

    def geometry(self, window=None):
        """(x, y, width, height) of a window, from xwininfo."""
        out = self._tool(_which("xwininfo"), "-id", str(window or self.window)).stdout
        fields = {}
        for key, label in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"),
                           ("w", "Width"), ("h", "Height")):
            m = re.search(rf"^\s*{label}:\s*(-?\d+)", out, re.M)
            fields[key] = int(m.group(1))
        return fields["x"], fields["y"], fields["w"], fields["h"]

    def window_name(self, window=None):
        out = self._tool(_which("xprop"), "-id", str(window or self.window), "_NET_WM_NAME",
                         "WM_NAME").stdout
        m = re.search(r'_NET_WM_NAME\(UTF8_STRING\) = "(.*)"', out) or \
            re.search(r'WM_NAME\([A-Z_]+\) = "(.*)"', out)
        return m.group(1) if m else None

    def window_exists(self, window=None):
        r = self._tool(_which("xwininfo"), "-id", str(window or self.window), check=False)
        return r.returncode == 0 and "IsViewable" in r.stdout

    def focus(self, window=None):
        """Gives a window the X input focus (there is no window manager to do it)."""
        target = window or self.window
        self.xdotool("windowfocus", "--sync", str(target), check=False)
        _wait_for(lambda: self.xdotool("getwindowfocus", check=False).stdout.strip() == str(target),
                  10, interval=0.05, what="the input focus")
        # Qt activates the window (and the program starts watching the keyboard) when it has
        # handled the focus event.
        time.sleep(0.3)

    # --- input -----------------------------------------------------------------------------

    def press(self, key, hold=KEY_HOLD):
        """Presses and releases a key (an X keysym name like 'a', 'Escape', or a keycode
        number) on the focused window, holding it `hold` seconds. A chord ('shift+a') goes
        down together: all its keys in one request batch, never split across two of the
        program's 10 ms keyboard samples (xdotool sends them one request at a time, and about
        one chord in thirty had its keys land in two samples)."""
        key = str(key)
        if "+" in key.strip("+"):
            x = self.session.x()
            codes = [x.keycode(_CHORD_KEYSYMS.get(name.lower(), name)) for name in key.split("+")]
            x.key_events(codes, True)
            time.sleep(hold)
            x.key_events(reversed(codes), False)
            return
        self.xdotool("keydown", key, "sleep", f"{hold:.3f}", "keyup", key)

    def type_keys(self, keys, hold=KEY_HOLD, gap=0.03):
        for key in keys:
            self.press(key, hold)
            time.sleep(gap)

    def type_text(self, text, window=None):
        """Types text into whatever has the focus (used for file dialogs)."""
        self.xdotool("type", "--delay", "40", text)

    def click(self, x, y, window=None, button=1, hold=0.05):
        """Clicks at window coordinates."""
        self.xdotool("mousemove", "--sync", "--window", str(window or self.window), str(x), str(y),
                     "mousedown", str(button), "sleep", f"{hold:.3f}", "mouseup", str(button))

    def drag(self, x0, y0, x1, y1, window=None, steps=10, hold=0.05):
        """Presses the left button at (x0, y0), moves in steps to (x1, y1), holds, releases."""
        w = str(window or self.window)
        args = ["mousemove", "--sync", "--window", w, str(x0), str(y0), "mousedown", "1",
                "sleep", "0.1"]
        for i in range(1, steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            args += ["mousemove", "--window", w, str(x), str(y), "sleep", "0.02"]
        args += ["sleep", f"{hold:.3f}", "mouseup", "1"]
        self.xdotool(*args)

    # --- output ----------------------------------------------------------------------------

    def grab(self, window=None, root=False):
        """What a window (or the whole screen) shows now, as an RGB array [y, x, channel]."""
        target = ["-root"] if root or (window is None and self.window is None) else \
            ["-id", str(window or self.window)]
        data = subprocess.run([_which("xwd"), "-silent", *target], env=self.env,
                              capture_output=True, timeout=20, check=True).stdout
        return xwd_to_rgb(data)

    def screenshot(self, path, window=None, root=False):
        write_png(path, self.grab(window, root))
        return path

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        _stop_process(self.proc, timeout=1.0)
        self._log.close()


class Session:
    """Xvfb + PulseAudio for one test; programs started in it are ended with it."""

    def __init__(self, name="e2e"):
        self.exe = os.environ.get("TONMIRO_EXE")
        if not self.exe or not os.access(self.exe, os.X_OK):
            raise RuntimeError("TONMIRO_EXE must name the built tonmiro program")
        self.name = name
        self.workdir = tempfile.mkdtemp(prefix=f"tonmiro-{name}-")
        self.xvfb = Xvfb(self.workdir)
        self.pulse = PulseServer(self.workdir)
        self.programs = []
        self.recordings = []
        self._ids = 0
        self._x = None
        self.stopped = False

    def next_id(self):
        self._ids += 1
        return self._ids

    def start(self):
        try:
            self.xvfb.start()
            self.pulse.start()
        except BaseException:
            self.stop(keep=True)
            raise
        return self

    def launch(self, extra_env=None):
        program = Program(self, extra_env)
        self.programs.append(program)
        return program

    def x(self):
        if self._x is None:
            self._x = XClient(self.xvfb.display)
        return self._x

    def record(self, name="audio", channels=1):
        recording = Recording(self.pulse, os.path.join(self.workdir, f"{name}.raw"), channels)
        self.recordings.append(recording)
        return recording

    def screenshot(self, path):
        """The whole screen, whatever windows are on it."""
        data = subprocess.run([_which("xwd"), "-silent", "-root"],
                              env=dict(os.environ, DISPLAY=self.xvfb.display),
                              capture_output=True, timeout=20, check=True).stdout
        write_png(path, xwd_to_rgb(data))
        return path

    def path(self, name):
        return os.path.join(self.workdir, name)

    def stop(self, keep=False):
        """Ends everything. With keep, the work folder (program output, server logs,
        screenshots, and every recording as a WAV file) is copied to the artifacts folder for a
        look after a failure."""
        self.stopped = True
        for program in self.programs:
            program.stop()
        if self._x is not None:
            self._x.close()
        for recording in self.recordings:
            if recording.proc is not None and recording.proc.poll() is None:
                recording.stop()
        self.pulse.stop()
        self.xvfb.stop()
        artifacts = os.environ.get("TONMIRO_E2E_ARTIFACTS")
        if keep and artifacts:
            dest = os.path.join(artifacts, os.path.basename(self.workdir))
            shutil.copytree(self.workdir, dest, dirs_exist_ok=True, ignore=_not_worth_keeping)
            for recording in self.recordings:
                name = os.path.splitext(os.path.basename(recording.path))[0] + ".wav"
                try:
                    raw_to_wav(recording.path, os.path.join(dest, name), recording.channels)
                except OSError:
                    pass
            print(f"artifacts kept in {dest}")
        shutil.rmtree(self.workdir, ignore_errors=True)


def _not_worth_keeping(folder, names):
    """Sockets and pipes cannot be copied; raw recordings are kept as WAV files instead."""
    skip = []
    for name in names:
        path = os.path.join(folder, name)
        if name.endswith(".raw") or name == "cookie" or not (os.path.isdir(path) or os.path.isfile(path)):
            skip.append(name)
    return skip


def raw_to_wav(raw_path, wav_path, channels):
    """The recorder's raw s16le stream as a WAV file, to listen to or load elsewhere."""
    import wave
    with open(raw_path, "rb") as f:
        data = f.read()
    data = data[: len(data) - len(data) % (2 * channels)]
    with wave.open(wav_path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


# ---------------------------------------------------------------------------------------------
# Audio analysis.

def silence_onsets(x, threshold=8.0, min_silence=0.1, rate=RATE):
    """Frames where sound starts after at least min_silence seconds of (near) digital silence:
    the first frame whose magnitude exceeds threshold after such a quiet stretch."""
    loud = np.flatnonzero(np.abs(x) > threshold)
    if len(loud) == 0:
        return []
    gaps = np.diff(loud)
    starts = [loud[0]] + [loud[i + 1] for i in np.flatnonzero(gaps > min_silence * rate)]
    # The very first start only counts if the recording was quiet before it.
    if starts and starts[0] < min_silence * rate:
        starts = starts[1:]
    return [int(s) for s in starts]


def fundamental(segment, rate=RATE, fmin=90.0, fmax=1700.0):
    """Fundamental frequency of a tone: the strongest spectral peak, moved down to a
    subharmonic of it (f/2, f/3, f/4) that is itself a clear peak, so that a tone whose second
    or third partial is the loudest still reads as its fundamental; then refined by parabolic
    interpolation of the log spectrum (Hann window, 8x zero padding)."""
    seg = np.asarray(segment, dtype=np.float64)
    seg = seg - seg.mean()
    n = 1 << int(np.ceil(np.log2(len(seg) * 8)))
    spectrum = np.abs(np.fft.rfft(seg * np.hanning(len(seg)), n))
    bin_hz = rate / n
    band = np.flatnonzero((np.arange(len(spectrum)) * bin_hz >= fmin)
                          & (np.arange(len(spectrum)) * bin_hz <= fmax))
    peak = int(band[np.argmax(spectrum[band])])

    def local_peak(centre, tolerance):
        lo = max(int(centre * (1 - tolerance)), 1)
        hi = min(int(centre * (1 + tolerance)) + 1, len(spectrum) - 1)
        k = lo + int(np.argmax(spectrum[lo:hi]))
        return k if lo < k < hi - 1 else None
    for divisor in (4, 3, 2):
        if peak / divisor * bin_hz < fmin:
            continue
        k = local_peak(peak / divisor, 0.02)
        if k is not None and spectrum[k] >= 0.1 * spectrum[peak]:
            peak = k
            break
    a, b, c = np.log(spectrum[peak - 1: peak + 2] + 1e-12)
    denom = a - 2 * b + c
    shift = 0.5 * (a - c) / denom if denom != 0 else 0.0
    return (peak + shift) * bin_hz


def tone_frequency(x, onset, rate=RATE, first=0.05, last=1.25, window=0.2):
    """Fundamental of the tone that starts at onset: the median over 0.2 s windows of its loud
    part, leaving out windows with an underrun hole (a hole bends the spectrum)."""
    estimates = []
    for begin in np.arange(first, last - window + 1e-9, window / 2):
        a = onset + int(begin * rate)
        b = a + int(window * rate)
        if b > len(x) or dropouts(x, a, b, min_frames=8):
            continue
        estimates.append(fundamental(x[a:b], rate))
    if not estimates:
        raise ValueError("no window of the tone is free of underruns")
    return float(np.median(estimates))


def band_envelope(x, freq, rate=RATE, window_s=0.25, harmonics=(1, 2)):
    """Amplitude envelope of x near freq (and its harmonics): complex demodulation, low-passed
    with a Blackman-Harris window, which keeps neighbouring scale notes (>= 17.9 Hz away) out."""
    x = np.asarray(x, dtype=np.float64)
    n = len(x)
    w = int(window_s * rate) | 1
    t = np.arange(w)
    win = (0.35875 - 0.48829 * np.cos(2 * np.pi * t / (w - 1)) + 0.14128 * np.cos(4 * np.pi * t / (w - 1))
           - 0.01168 * np.cos(6 * np.pi * t / (w - 1)))
    win /= win.sum()
    size = 1 << int(np.ceil(np.log2(n + w)))
    win_f = np.fft.fft(win, size)
    phase = 2j * np.pi * np.arange(n) / rate
    total = np.zeros(n)
    for h in harmonics:
        z = x * np.exp(-phase * freq * h)
        conv = np.fft.ifft(np.fft.fft(z, size) * win_f)[w // 2: w // 2 + n]
        total += np.abs(conv)
    return total


def rising_edge(env, start, stop, fraction):
    """The (fractional) frame where env, on its way up to its maximum in [start, stop), last
    crosses fraction x that maximum."""
    start, stop = max(int(start), 1), min(int(stop), len(env))
    peak_at = start + int(np.argmax(env[start:stop]))
    level = fraction * env[peak_at]
    i = peak_at
    while i > start and env[i - 1] >= level:
        i -= 1
    if i <= start:
        return float(start)
    lo, hi = env[i - 1], env[i]
    return (i - 1) + (level - lo) / (hi - lo) if hi != lo else float(i)


# ---------------------------------------------------------------------------------------------
# Window coordinates of controls of the main window (left + half width, top + half height).

SAVE_BUTTON = (106 + 25, 2 + 10)         # 按钮保存文件
PLAY_TOGGLE = (181 + 27, 10 + 16)        # 选择框播放
SPEED_SLIDER = (245 + 8, 0 + 14, 104, 30)  # 滑块条速度: left, top, width, height in the window
SPEED_MIN, SPEED_MAX, SPEED_START = 36, 200, 88


NEW_BUTTON = (2 + 25, 2 + 10)             # 按钮新建文件
OPEN_BUTTON = (54 + 25, 2 + 10)           # 按钮打开文件
SAVE_BUTTON_RECT = (106, 2, 50, 20)       # 按钮保存文件: left, top, width, height


def wait_for(predicate, timeout, interval=0.05, what="condition"):
    return _wait_for(predicate, timeout, interval, what)


def use_file_dialog(program, button, typed, done, timeout=STARTUP_TIMEOUT, trace=None):
    """Clicks a button that opens the file dialog, types a path into the dialog's file name
    field, confirms it with Enter and waits until the dialog has closed and done() holds."""
    main = program.window
    before = set(program.find_windows("."))
    program.click(*button)

    def dialog():
        windows = [w for w in program.find_windows(".") if w not in before and w != main]
        return windows[0] if windows else None
    window = _wait_for(dialog, timeout, interval=0.1, what="the file dialog")
    if trace: trace("dialog")
    program.focus(window)
    time.sleep(0.3)
    program.xdotool("key", "--clearmodifiers", "ctrl+a")
    program.type_text(typed)
    if trace: trace("typed")
    program.press("Return")
    _wait_for(lambda: done() and not program.window_exists(window), 20, interval=0.05,
              what=f"the dialog to close after {typed!r}")
    time.sleep(0.2)  # let the program finish its handler
    program.focus(main)


def save_via_dialog(program, path, typed=None, timeout=STARTUP_TIMEOUT, trace=None):
    """Clicks 保存, types path (or `typed`, which the dialog should turn into path) into the
    file dialog that opens and confirms it; waits for the file to be written. Returns the
    file's bytes."""
    # QSaveFile renames into place, so the file exists only once it is whole.
    use_file_dialog(program, SAVE_BUTTON, typed or path, lambda: os.path.exists(path),
                    timeout, trace)
    with open(path, "rb") as f:
        return f.read()


def open_via_dialog(program, path, timeout=STARTUP_TIMEOUT):
    """Clicks 打开, types path into the file dialog and confirms it."""
    use_file_dialog(program, OPEN_BUTTON, path, lambda: True, timeout)


def button_enabled(program, rect):
    """Whether a push button is drawn enabled: its caption is black (a disabled caption is
    grey). rect is (left, top, width, height) in the window."""
    left, top, width, height = rect
    image = program.grab()[top + 3: top + height - 3, left + 3: left + width - 3]
    return int(image.max(axis=2).min()) < 80


def speed_thumb_x(position):
    """Estimated x (window coordinates) of the speed slider's thumb centre at a position."""
    left, _top, width, _height = SPEED_SLIDER
    handle = 11
    fraction = (position - SPEED_MIN) / (SPEED_MAX - SPEED_MIN)
    return round(left + handle / 2 + fraction * (width - handle))


def drag_speed_to_end(program, end):
    """Drags the speed slider's thumb from its start position past one end of its track."""
    left, top, width, height = SPEED_SLIDER
    y = top + height // 3
    x1 = left - 60 if end == "min" else left + width + 60
    program.drag(speed_thumb_x(SPEED_START), y, x1, y, steps=12, hold=0.3)


def dropouts(x, start=0, stop=None, min_frames=24, loud=200.0):
    """Holes in the sound: runs of at least min_frames exact zeros with loud sound on both
    sides, as an output underrun leaves them. A tone never holds 0.5 ms of exact zeros, so such
    a hole means the stream was starved and everything after it is late by the hole's length.
    Returns [(frame, length)]."""
    x = np.asarray(x)[start:stop]
    zero = np.concatenate([[False], x == 0, [False]])
    edges = np.diff(zero.astype(np.int8))
    begins = np.flatnonzero(edges == 1)
    ends = np.flatnonzero(edges == -1)
    holes = []
    for b, e in zip(begins, ends):
        if e - b < min_frames or b < 96 or e + 96 > len(x):
            continue
        if np.abs(x[b - 96: b]).max() > loud and np.abs(x[e: e + 96]).max() > loud:
            holes.append((start + int(b), int(e - b)))
    return holes


# ---------------------------------------------------------------------------------------------
# The committed samples, and onsets found by fitting them to a recording.

SAMPLE_RATE = 11025
ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets")
_UP, _DOWN = 640, 147  # 48000 / 11025 in lowest terms


def sample_pcm(sample):
    """The PCM frames of sample 1..26 as committed: the data chunk of its RIFF WAVE file."""
    with open(os.path.join(ASSETS, f"s{sample:02d}.wav"), "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"s{sample:02d}.wav is not a RIFF WAVE file")
    pos = 12
    while pos + 8 <= len(data):
        kind, size = data[pos: pos + 4], struct.unpack("<I", data[pos + 4: pos + 8])[0]
        if kind == b"data":
            return np.frombuffer(data[pos + 8: pos + 8 + size], dtype="<i2").astype(np.float64)
        pos += 8 + size + (size & 1)
    raise ValueError(f"s{sample:02d}.wav has no data chunk")


_spectra = {}


def _sample_spectrum(sample):
    """Spectrum of the sample band-limited at 11,025 Hz and taken to 48 kHz: the input is padded
    with silence to a whole number of 147-frame blocks (so the rate ratio is exact and the tail
    does not wrap round onto the head), and its spectrum is zero-filled above 5,512.5 Hz."""
    if sample not in _spectra:
        x = sample_pcm(sample)
        blocks = -(-(len(x) + 2048) // _DOWN)
        n_in, n_out = blocks * _DOWN, blocks * _UP
        spectrum = np.fft.rfft(x, n_in)
        spectrum[-1] *= 0.5  # the input's Nyquist bin is shared by both halves of the band
        full = np.zeros(n_out // 2 + 1, complex)
        full[: len(spectrum)] = spectrum * (n_out / n_in)
        lead = float(np.flatnonzero(x)[0]) * _UP / _DOWN
        _spectra[sample] = (full, n_out, lead)
    return _spectra[sample]


def sample_at_rate(sample, delay=0.0):
    """The sample at 48 kHz, delayed by a fraction of a frame (band-limited, exact)."""
    full, n_out, _lead = _sample_spectrum(sample)
    if delay:
        full = full * np.exp(-2j * np.pi * np.arange(len(full)) * delay / n_out)
    return np.fft.irfft(full, n_out)


def sample_lead(sample):
    """Frames at 48 kHz from a sample's frame 0 to its first sounding frame (its leading
    digital silence)."""
    return _sample_spectrum(sample)[2]


def place(wave, start, a, b):
    """wave with its frame 0 at the (whole) recording frame start, on recording frames [a, b)."""
    out = np.zeros(b - a)
    lo, hi = max(a, start), min(b, start + len(wave))
    if hi > lo:
        out[lo - a: hi - a] = wave[lo - start: hi - start]
    return out


def fit_voice_start(x, sample, earlier, first, last, window):
    """Where sample's frame 0 sits in x, searched in the whole frames [first, last] and refined
    by parabolic interpolation: the start whose placed sample, together with the voices already
    found (earlier: [(sample, fractional start)]), explains x on the frames window = (a, b) with
    the least squared error. Every voice may change its level linearly across the window, which
    absorbs the output limiter's slow gain changes. Fitting the earlier voices along keeps their
    ringing out of the estimate, and the new voice's leading silence and attack inside the window
    tell its true start from one a whole period away, which a plain correlation peak cannot.
    Returns (start, its squared error relative to the window's energy); a start at either end of
    the search range is returned as it is, for the caller to reject."""
    a, b = window
    seg = np.asarray(x[a:b], dtype=np.float64)
    ramp = np.linspace(-1.0, 1.0, b - a)
    columns = []
    for s, start in earlier:
        whole = int(np.floor(start))
        v = place(sample_at_rate(s, start - whole), whole, a, b)
        columns += [v, v * ramp]
    known = np.array(columns).T if columns else np.zeros((b - a, 0))
    wave = sample_at_rate(sample)
    starts = np.arange(first, last + 1)
    errors = np.empty(len(starts))
    for k, start in enumerate(starts):
        v = place(wave, int(start), a, b)
        basis = np.column_stack([known, v])
        coef, *_ = np.linalg.lstsq(basis, seg, rcond=None)
        errors[k] = np.sum((seg - basis @ coef) ** 2)
    k = int(np.argmin(errors))
    shift = 0.0
    if 0 < k < len(errors) - 1:
        e0, e1, e2 = errors[k - 1: k + 2]
        denom = e0 - 2 * e1 + e2
        shift = 0.5 * (e0 - e2) / denom if denom > 0 else 0.0
    return float(starts[k] + shift), float(errors[k] / max(np.sum(seg ** 2), 1e-12))


def voice_starts(x, samples, first_sound, unit_frames, early=1.5e-3, late=5.0e-3,
                 before=10e-3, guard=3e-3, rate=RATE):
    """Fractional frames at which the voices of samples (started in this order, unit_frames
    apart or a little more) begin in x, found one after another by fit_voice_start. The first
    is searched before first_sound (the first frame above the silence threshold), each later
    one from early before to late after one unit past the one before it. Each fit looks at the
    frames from before ahead of its search range up to guard ahead of the earliest frame at
    which the next voice could start. Returns [(start, relative error, at an end of the
    search range)]."""
    found = []
    lead = sample_lead(samples[0])
    centre = first_sound - lead
    # The attack rises from below the silence threshold over a few milliseconds.
    lo, hi = int(np.floor(centre - 6e-3 * rate)), int(np.ceil(centre + 1e-3 * rate))
    for i, sample in enumerate(samples):
        if i:
            centre = found[-1][0] + unit_frames
            lo, hi = int(np.floor(centre - early * rate)), int(np.ceil(centre + late * rate))
        sound = sample_lead(sample)
        a = int(lo + sound - before * rate)
        b = int(lo + sound + unit_frames - guard * rate)
        start, error = fit_voice_start(x, sample, [(s, f[0]) for s, f in zip(samples, found)],
                                       lo, hi, (a, b))
        found.append((start, error, not lo < start < hi))
    return found


LIMITER_THRESHOLD = 0.8
LIMITER_RELEASE_S = 0.15


def unlimit(x, full_scale=32768.0, rate=RATE):
    """Undoes the output's soft limiter (peak envelope with instant attack and exponential
    release; above the threshold the envelope is mapped softly below full scale and the sound
    scaled with it), so that the recording is again the plain sum of its voices."""
    thr, rel = LIMITER_THRESHOLD, np.exp(-1.0 / (LIMITER_RELEASE_S * rate))
    y = np.asarray(x, dtype=np.float64) / full_scale
    out = y.copy()
    env = 0.0
    loud = np.flatnonzero(np.abs(y) > 0.5 * thr)
    if len(loud) == 0:
        return np.asarray(x, dtype=np.float64)
    for i in range(int(loud[0]), len(y)):
        v = y[i]
        decayed = env * rel
        if decayed > thr:
            peak = thr + (1 - thr) * (1 - np.exp(-(decayed - thr) / (1 - thr)))
            u = v * decayed / peak
        else:
            u = v
        if abs(u) > decayed:
            # a new peak: the envelope is this frame's own level
            a = abs(v)
            if a > thr:
                a = min(a, 1 - 1e-9)
                a = thr - (1 - thr) * np.log(1 - (a - thr) / (1 - thr))
            u = np.sign(v) * a
            env = a
        else:
            env = decayed
        out[i] = u
    return out * full_scale
