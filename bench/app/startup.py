#!/usr/bin/python3
"""Start-up figures of the real program under a private X server.

Starts a private Xvfb (-displayfd), then starts the program there again and again with
SDL_AUDIODRIVER=dummy and measures the time from the fork until its main window (title exactly
"Tonmiro") is mapped. The map is seen as it happens: this script listens to the root window's
substructure events through Xlib (ctypes), so no polling interval is added to the figure.
After each start the program is left idle for a while and its resident memory (VmRSS, and the
peak VmHWM) is read from /proc/<pid>/status; then it is terminated.

One untimed warm-up start comes first (font and library caches), then --runs timed starts.
Prints every run, then the median and p90 of the start-up time and the median idle memory.

    /usr/bin/python3 bench/app/startup.py [--exe build/bench/app/tonmiro] [--runs 15] [--idle 2]
"""

import argparse
import ctypes
import os
import select
import signal
import statistics
import subprocess
import sys
import time

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
ANY_PROPERTY_TYPE = 0
TITLE = b"Tonmiro"


class XMapEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("event", ctypes.c_ulong),
        ("window", ctypes.c_ulong),
        ("override_redirect", ctypes.c_int),
    ]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xmap", XMapEvent), ("pad", ctypes.c_long * 24)]


def load_xlib():
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XGetWindowProperty.argtypes = [
        ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
        ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
        ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p),
    ]
    x.XFree.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


class XServer:
    """A private Xvfb and one client connection that watches top-level windows being mapped."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not report a display")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.x = load_xlib()
        self.dpy = self.x.XOpenDisplay(self.display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open " + self.display)
        self.x.XSelectInput(self.dpy, self.x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XFlush(self.dpy)
        self.net_wm_name = self.x.XInternAtom(self.dpy, b"_NET_WM_NAME", 0)
        self.wm_name = self.x.XInternAtom(self.dpy, b"WM_NAME", 0)
        self.fd = self.x.XConnectionNumber(self.dpy)

    def title(self, window):
        for atom in (self.net_wm_name, self.wm_name):
            actual_type = ctypes.c_ulong()
            actual_format = ctypes.c_int()
            count = ctypes.c_ulong()
            after = ctypes.c_ulong()
            data = ctypes.c_void_p()
            status = self.x.XGetWindowProperty(
                self.dpy, window, atom, 0, 256, 0, ANY_PROPERTY_TYPE, ctypes.byref(actual_type),
                ctypes.byref(actual_format), ctypes.byref(count), ctypes.byref(after), ctypes.byref(data))
            if status == 0 and data.value:
                text = ctypes.string_at(data.value, count.value) if actual_format.value == 8 else b""
                self.x.XFree(data)
                if text:
                    return text
        return b""

    def drain(self):
        event = XEvent()
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, ctypes.byref(event))

    def wait_for_main_window(self, deadline):
        """Monotonic time at which a top-level window titled TITLE was mapped, or None."""
        event = XEvent()
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, ctypes.byref(event))
                if event.type == MAP_NOTIFY and not event.xmap.override_redirect:
                    seen = time.perf_counter()
                    if self.title(event.xmap.window) == TITLE:
                        return seen
            left = deadline - time.perf_counter()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)

    def close(self):
        self.x.XCloseDisplay(self.dpy)
        self.proc.terminate()
        self.proc.wait()


def memory_kib(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                fields[key] = int(value.split()[0])
    return fields


def one_start(server, exe, idle_s, timeout_s):
    env = dict(os.environ)
    env["DISPLAY"] = server.display
    env["SDL_AUDIODRIVER"] = "dummy"
    env.pop("QT_QPA_PLATFORM", None)
    env.pop("WAYLAND_DISPLAY", None)
    server.drain()
    start = time.perf_counter()
    proc = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        mapped = server.wait_for_main_window(start + timeout_s)
        if mapped is None:
            raise RuntimeError(f"no window titled {TITLE.decode()} within {timeout_s} s")
        if proc.poll() is not None:
            raise RuntimeError(f"the program exited with {proc.returncode}")
        time.sleep(idle_s)
        memory = memory_kib(proc.pid)
        return (mapped - start) * 1000.0, memory
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p * (len(ordered) - 1))))]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_exe = os.path.join(here, "..", "..", "build", "bench", "app", "tonmiro")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", default=os.path.normpath(default_exe))
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--idle", type=float, default=2.0, help="seconds idle before memory is read")
    parser.add_argument("--timeout", type=float, default=20.0)
    args = parser.parse_args()
    if not os.access(args.exe, os.X_OK):
        sys.exit(f"no program at {args.exe}")

    with open("/proc/loadavg") as f:
        print("load average:", " ".join(f.read().split()[:3]))
    server = XServer()
    try:
        warm_ms, _ = one_start(server, args.exe, 0.2, args.timeout)
        print(f"warm-up: {warm_ms:.1f} ms (not counted)")
        times, rss, hwm = [], [], []
        for run in range(args.runs):
            ms, memory = one_start(server, args.exe, args.idle, args.timeout)
            times.append(ms)
            rss.append(memory["VmRSS"] / 1024.0)
            hwm.append(memory["VmHWM"] / 1024.0)
            print(f"run {run + 1:2}: window mapped after {ms:7.1f} ms, idle VmRSS {rss[-1]:6.1f} MiB"
                  f" (peak {hwm[-1]:6.1f} MiB)")
    finally:
        server.close()

    print(f"start-up to window mapped: median {statistics.median(times):.1f} ms, "
          f"p90 {percentile(times, 0.9):.1f} ms, min {min(times):.1f} ms, max {max(times):.1f} ms")
    print(f"idle resident memory: median {statistics.median(rss):.1f} MiB, max {max(rss):.1f} MiB; "
          f"peak (VmHWM) median {statistics.median(hwm):.1f} MiB")


if __name__ == "__main__":
    main()
