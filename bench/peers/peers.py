#!/usr/bin/python3
"""Runel's HUD beside other launchers on the same X11 set-up, rounds interleaved.

Each program runs on a display of its own (Xvfb + openbox + a private D-Bus session bus, a
throw-away HOME), with the same 5,000 scripts: Runel and kupfer index the generated tree, rofi
and dmenu read its list on standard input, synapse indexes what it finds by default. This
process holds one X connection per display and stamps what it sees with CLOCK_MONOTONIC:

  show     the show request (the process spawned) -> the first new top-level mapped, and -> the
           last map or repaint before 250 ms without any (the window drawn, whatever it took)
  key s    an XTest "s" -> the first repaint (DAMAGE) of the program's windows, and -> the last
           before 150 ms without any (the typed key's final frame); the same for BackSpace
  memory   RSS and PSS while shown (one-shot programs) or after show and hide (daemons)
  idle     context switches per 10 s of the daemons, hidden and settled (their wake-ups)

With --trace, every map, configure and repaint of Runel's windows after the first key of each
round is printed, window by window, for locating the time after the first frame.

Usage (from the repository, with a Release build in build-bench/: cmake -B build-bench
-DCMAKE_BUILD_TYPE=Release -DRUNEL_BUILD_BENCH=ON && cmake --build build-bench):
  /usr/bin/python3 bench/peers/peers.py [--install-peers] [--rounds 10] [--programs runel,rofi]
"""
import argparse
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGES = ["xvfb", "openbox", "dbus", "python3-xlib", "rofi", "suckless-tools", "kupfer",
            "synapse"]
DAEMONS = {"runel", "runel-baseline", "kupfer", "synapse"}


def now():
    return time.monotonic()


def say(*args):
    print(time.strftime("%H:%M:%S"), *args, file=sys.stderr, flush=True)


def install_peers():
    # Needs root (or sudo); the package manager uses the machine's own configured sources.
    prefix = [] if os.geteuid() == 0 else ["sudo"]
    subprocess.run(prefix + ["apt-get", "install", "-y", "--no-install-recommends", *PACKAGES],
                   check=True)


# --------------------------------------------------------------------------- /proc readings

def memory_kib(pid):
    """(VmRSS, PSS) in KiB, or (None, None) once the process is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
        with open(f"/proc/{pid}/smaps_rollup") as f:
            pss = next(int(l.split()[1]) for l in f if l.startswith("Pss:"))
        return rss, pss
    except (OSError, StopIteration):
        return None, None


def context_switches(pid):
    """{thread id: voluntary plus involuntary switches} of the live threads."""
    switches = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                switches[tid] = sum(int(l.split()[1]) for l in f if "ctxt_switches" in l)
        except OSError:
            pass  # a thread that ended meanwhile
    return switches


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def wait_quiet(pid, still=1.0, timeout=60.0):
    """Until the process used no CPU for `still` seconds: its start-up (indexing) is over."""
    end = now() + timeout
    last, since = cpu_ticks(pid), now()
    while now() < end:
        time.sleep(0.1)
        ticks = cpu_ticks(pid)
        if ticks != last:
            last, since = ticks, now()
        elif now() - since >= still:
            return


def processes_tagged(tag):
    marker = f"RUNEL_PEERS_TAG={tag}".encode()
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if marker in f.read().split(b"\0"):
                    yield int(entry), os.path.basename(os.readlink(f"/proc/{entry}/exe"))
        except OSError:
            pass


# --------------------------------------------------------------------------- one display

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir={dir}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/>
</policy></busconfig>
"""


class Display:
    """A private X server with openbox and a session bus, seen through our own connection."""

    def __init__(self, name, work, trace=False):
        from Xlib import X, display
        from Xlib.ext import damage  # noqa: F401  (registers the extension)
        self.X = X
        self.name = name
        self.trace = trace
        self.home = os.path.join(work, name, "home")
        self.runtime = os.path.join(work, name, "runtime")
        os.makedirs(self.home)
        os.makedirs(self.runtime, mode=0o700)
        self.log = open(os.path.join(work, name, "session.log"), "wb")
        self.owned = []  # processes started here, ended by their pid in close()
        self.windows = {}  # shown top-level id -> its damage objects
        self.names = {}  # window id -> a readable name, for the trace
        self.events = []  # (time, kind, window id, detail) while tracing
        self.activity = 0.0  # time of the latest map or repaint

        read_end, write_end = os.pipe()
        self._own(subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                    "1920x1080x24", "-nolisten", "tcp"],
                                   pass_fds=(write_end,), stderr=self.log))
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], 20)[0]:
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(read_end, 32)
            if not chunk:
                raise RuntimeError("Xvfb ended at start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        config = os.path.join(work, name, "bus.conf")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(dir=self.runtime))
        bus = self._own(subprocess.Popen(["dbus-daemon", "--config-file", config, "--nofork",
                                          "--print-address=1"], stdout=subprocess.PIPE,
                                         stderr=self.log))
        self.bus = bus.stdout.readline().decode().strip()
        self.d = display.Display(self.display)
        self.d.set_error_handler(lambda *a: None)  # windows vanish between event and request
        self.root = self.d.screen().root
        self.d.damage_query_version()
        self.damage_event = self.d.extension_event.DamageNotify
        self.spawn(["openbox", "--sm-disable"], keep=True)
        check = self.d.intern_atom("_NET_SUPPORTING_WM_CHECK")
        end = now() + 20
        while self.root.get_full_property(check, X.AnyPropertyType) is None:
            if now() > end:
                raise RuntimeError("openbox did not start")
            time.sleep(0.05)
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.d.sync()

    def _own(self, process):
        self.owned.append(process)
        return process

    def env(self, extra=None):
        env = {"PATH": "/usr/local/bin:/usr/bin:/bin", "LANG": "C.UTF-8", "HOME": self.home,
               "USER": os.environ.get("USER", "root"), "DISPLAY": self.display,
               "XDG_CONFIG_HOME": f"{self.home}/.config",
               "XDG_DATA_HOME": f"{self.home}/.local/share",
               "XDG_CACHE_HOME": f"{self.home}/.cache", "XDG_RUNTIME_DIR": self.runtime,
               "XDG_SESSION_TYPE": "x11", "DBUS_SESSION_BUS_ADDRESS": self.bus,
               "NO_AT_BRIDGE": "1", "GSETTINGS_BACKEND": "memory",
               "RUNEL_PEERS_TAG": self.name}
        env.update(extra or {})
        return env

    def spawn(self, argv, extra=None, stdin=subprocess.DEVNULL, keep=False):
        process = subprocess.Popen(argv, env=self.env(extra), stdin=stdin, stdout=self.log,
                                   stderr=self.log)
        return self._own(process) if keep else process

    def close(self):
        for process in reversed(self.owned):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        for process in reversed(self.owned):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    # --- events
    def _name_of(self, window):
        if window.id not in self.names:
            name = None
            try:
                todo = [window]
                while todo and not name:
                    w = todo.pop()
                    name = w.get_wm_name()
                    todo.extend(w.query_tree().children)
            except Exception:
                pass
            self.names[window.id] = f"{name or '?'}#{window.id:x}"
        return self.names[window.id]

    def _track(self, top):
        """DAMAGE on a new top-level and everything below it (the client inside a frame)."""
        from Xlib import error
        from Xlib.ext import damage
        X = self.X
        objects, todo = [], [top]
        while todo:
            w = todo.pop()
            try:
                objects.append(w.damage_create(damage.DamageReportRawRectangles))
                if self.trace:
                    w.change_attributes(event_mask=X.StructureNotifyMask)
                    self.names[w.id] = self._name_of(w)
                todo.extend(w.query_tree().children)
            except error.XError:
                pass
        self.windows[top.id] = objects
        self.d.flush()

    def _handle(self, t, ev):
        """Bookkeeping of one event; returns 'map', 'damage', or None."""
        X = self.X
        kind = None
        if ev.type == X.MapNotify and ev.event == self.root and ev.window.id not in self.windows:
            try:
                wide = ev.window.get_geometry().width > 100
            except Exception:
                wide = False
            if wide:
                self._track(ev.window)
                kind = "map"
        elif ev.type == X.UnmapNotify and ev.event == self.root:
            for obj in self.windows.pop(ev.window.id, []):
                self.d.damage_destroy(obj)
        elif ev.type == self.damage_event:
            kind = "damage"
            # When this process falls behind (hundreds of rectangles per repaint of a masked
            # window), the read time comes late: the server's own stamp (CLOCK_MONOTONIC in
            # milliseconds on Xvfb) bounds the repaint's time within a millisecond.
            read_ms = int(t * 1000)
            server = (read_ms - ((read_ms - ev.timestamp) % 2**32)) / 1000
            if server <= t:
                t = min(t, server + 0.001)
        if kind:
            self.activity = t
        if self.trace and ev.type in (X.MapNotify, X.ConfigureNotify, self.damage_event):
            t = self.activity if kind else t
            window = getattr(ev, "drawable", None) or ev.window
            detail = ""
            if ev.type == X.ConfigureNotify:
                detail = f"{ev.width}x{ev.height}+{ev.x}+{ev.y}"
            elif ev.type == self.damage_event:
                detail = f"{ev.area.width}x{ev.area.height}+{ev.area.x}+{ev.area.y}"
            label = {X.MapNotify: "map", X.ConfigureNotify: "configure"}.get(ev.type, "damage")
            self.events.append((t, label, self.names.get(window.id, f"#{window.id:x}"), detail))
        return kind

    def wait(self, done, timeout, fds=()):
        """Handles events until done(kind, t, fd) is true or the timeout; False on timeout."""
        end = now() + timeout
        while now() < end:
            if not self.d.pending_events():
                ready = select.select([self.d.fileno(), *fds], [], [],
                                      min(0.05, max(0.0, end - now())))[0]
            else:
                ready = []
            while self.d.pending_events():
                t = now()
                kind = self._handle(t, self.d.next_event())
                if kind and done(kind, self.activity, None):
                    return True
            t = now()
            for fd in ready:
                if fd in fds and done("fd", t, fd):
                    return True
            if done("tick", now(), None):
                return True
        return False

    def settle(self, quiet, cap=4.0):
        self.wait(lambda kind, t, fd: now() - self.activity >= quiet, cap)
        return self.activity

    def show(self, argv, extra=None, stdin=subprocess.DEVNULL):
        """Spawns argv; returns (ms to the first new top-level mapped, ms to the last map or
        repaint before 250 ms of quiet, the process)."""
        self.wait(lambda *a: True, 0.001)
        before = set(self.windows)
        self.events.clear()
        t0 = self.trace_t0 = now()
        process = self.spawn(argv, extra, stdin=stdin)
        mapped = []
        self.wait(lambda kind, t, fd: kind == "map" and set(self.windows) - before
                  and not mapped.append(t), 10.0)
        if not mapped:
            return None, None, process
        last = self.settle(0.25)
        return (mapped[0] - t0) * 1000, (last - t0) * 1000, process

    def keycode(self, name):
        from Xlib import XK
        return self.d.keysym_to_keycode(XK.string_to_keysym(name))

    def press(self, name):
        from Xlib.ext import xtest
        code = self.keycode(name)
        xtest.fake_input(self.d, self.X.KeyPress, code)
        xtest.fake_input(self.d, self.X.KeyRelease, code)
        self.d.flush()

    def key(self, name):
        """(ms to the first repaint, ms to the last before 150 ms of quiet) after an XTest key.
        A blinking text cursor repaints by itself: the key goes 30 ms after such a repaint, so
        the next blink comes long after the key's own frames."""
        self.settle(0.25)
        if self.wait(lambda kind, t, fd: kind == "damage", 0.6):
            time.sleep(0.03)
        self.wait(lambda *a: True, 0.001)
        self.events.clear()
        seen = []
        t0 = now()
        self.press(name)
        self.wait(lambda kind, t, fd: (kind in ("map", "damage") and seen.append(t))
                  or (seen and now() - seen[-1] >= 0.15), 3.0)
        self.trace_t0 = t0
        if not seen:
            return None, None
        return (seen[0] - t0) * 1000, (seen[-1] - t0) * 1000

    def wait_hidden(self):
        self.wait(lambda *a: not self.windows, 5.0)


# --------------------------------------------------------------------------- the programs

class Program:
    """How one launcher is started, shown and hidden. Daemons keep one process."""

    def __init__(self, name, display, args):
        self.name, self.x, self.args = name, display, args
        self.pid = None

    def start(self):
        pass

    def hide(self):
        self.x.press("Escape")
        self.x.wait_hidden()


class Runel(Program):
    def __init__(self, name, display, args, binary):
        super().__init__(name, display, args)
        self.binary = binary

    def start(self):
        config = os.path.join(self.x.home, ".config", "runel")
        os.makedirs(config)
        with open(os.path.join(config, "settings.json"), "w") as f:
            f.write('{"isFirstLaunch": false, "scriptsDir": "%s"}\n' % self.args.tree)
        self.env = {"QT_QPA_PLATFORM": "xcb"}
        self.x.spawn([self.binary], self.env, keep=True)
        socket = os.path.join(self.x.runtime, "runel", "instance")
        end = now() + 30
        while not os.path.exists(socket) and now() < end:
            time.sleep(0.05)
        apps = [pid for pid, exe in processes_tagged(self.name) if exe == "runel-app"]
        if not apps:
            raise RuntimeError("runel-app did not start")
        self.pid = apps[0]
        wait_quiet(self.pid)

    def show(self):
        return self.x.show([self.binary, "show"], self.env)

    def hide(self):
        subprocess.run([self.binary, "hide"], env=self.x.env(self.env),
                       stdout=subprocess.DEVNULL)
        self.x.wait_hidden()


class OneShot(Program):
    """rofi and dmenu: a new process per showing, the entries on standard input."""

    def __init__(self, name, display, args, argv):
        super().__init__(name, display, args)
        self.argv = argv

    def show(self):
        with open(self.args.lines) as stdin:
            mapped, last, self.process = self.x.show(self.argv, stdin=stdin)
        self.pid = self.process.pid
        return mapped, last, self.process

    def hide(self):
        super().hide()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class DBusDaemon(Program):
    """kupfer and synapse: started once, shown by running their command again."""

    def __init__(self, name, display, args, argv, bus_name, executable):
        super().__init__(name, display, args)
        self.argv, self.bus_name, self.executable = argv, bus_name, executable

    def start(self):
        if self.name == "kupfer":
            config = os.path.join(self.x.home, ".config", "kupfer")
            os.makedirs(config)
            with open(os.path.join(config, "kupfer.cfg"), "w") as f:
                f.write(f"[Kupfer]\nShowStatusIcon = False\n\n"
                        f"[DeepDirectories]\nDepth = 7\nDirect = {self.args.tree}\n")
        self.x.spawn(self.argv, keep=True)
        end = now() + 60
        while now() < end:
            owner = subprocess.run(
                ["dbus-send", "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                 f"string:{self.bus_name}"], env=self.x.env(), capture_output=True).stdout
            if b"boolean true" in owner:
                break
            time.sleep(0.1)
        else:
            self.x.log.flush()
            with open(self.x.log.name, errors="replace") as f:
                tail = "".join(f.readlines()[-15:])
            raise RuntimeError(f"{self.name} did not take its bus name:\n{tail}")
        self.pid = next(pid for pid, exe in processes_tagged(self.name)
                        if exe.startswith(self.executable))
        wait_quiet(self.pid, still=2.0)

    def show(self):
        return self.x.show([self.argv[0]])


def make_program(name, display, args):
    if name == "runel":
        return Runel(name, display, args, args.runel)
    if name == "runel-baseline":
        return Runel(name, display, args, args.baseline_runel)
    if name == "rofi":
        return OneShot(name, display, args, ["rofi", "-dmenu", "-p", "run"])
    if name == "dmenu":
        return OneShot(name, display, args, ["dmenu", "-p", "run"])
    if name == "kupfer":
        return DBusDaemon(name, display, args, ["kupfer", "--no-splash"],
                          "io.github.kupferlauncher", "python")
    if name == "synapse":
        return DBusDaemon(name, display, args, ["synapse", "--startup"], "org.gnome.Synapse",
                          "synapse")
    raise SystemExit(f"unknown program {name}")


# --------------------------------------------------------------------------- the run

MEASURES = [  # key, row label, unit, lower is better
    ("show_map", "show request → window mapped", "ms"),
    ("show_last", "show request → last paint (250 ms quiet after)", "ms"),
    ("key_s_first", 'key "s" → first repaint', "ms"),
    ("key_s_last", 'key "s" → last repaint (150 ms quiet after)', "ms"),
    ("key_bs_first", "Backspace → first repaint", "ms"),
    ("key_bs_last", "Backspace → last repaint", "ms"),
    ("rss_shown", "RSS while shown", "MiB"),
    ("pss_shown", "PSS while shown", "MiB"),
    ("rss_hidden", "RSS after show and hide (daemons)", "MiB"),
    ("pss_hidden", "PSS after show and hide (daemons)", "MiB"),
    ("idle_switches", "context switches per 10 s, hidden (daemons)", ""),
]


def print_trace(program, what):
    """The maps, configures and repaints since `what`, one line per repaint of a window."""
    print(f"--- {program.name}: {what} (t0 {program.x.trace_t0 * 1000:.3f})", file=sys.stderr)
    lines, last = [], None
    for t, kind, window, detail in program.x.events:
        # A masked window's repaint comes as one rectangle per row: one line per repaint.
        if kind == "damage" and last == (t, window):
            lines[-1][2] += 1
            continue
        last = (t, window) if kind == "damage" else None
        lines.append([(t - program.x.trace_t0) * 1000, f"{kind:9} {window:28} {detail}", 1])
    for t, text, n in lines:
        print(f"  {t:8.2f} ms  {text}" + (f" ({n} rectangles)" if n > 1 else ""),
              file=sys.stderr)


def one_round(program, args, trace):
    row = {}
    row["show_map"], row["show_last"], _ = program.show()
    if trace:
        print_trace(program, "show")
    rss, pss = memory_kib(program.pid)
    row["rss_shown"], row["pss_shown"] = rss and rss / 1024, pss and pss / 1024
    row["key_s_first"], row["key_s_last"] = program.x.key("s")
    if trace:
        print_trace(program, "key s")
    row["key_bs_first"], row["key_bs_last"] = program.x.key("BackSpace")
    if trace:
        print_trace(program, "Backspace")
    program.hide()
    if program.name in DAEMONS:
        time.sleep(0.3)
        rss, pss = memory_kib(program.pid)
        row["rss_hidden"], row["pss_hidden"] = rss and rss / 1024, pss and pss / 1024
    return row


def idle_switches(programs, seconds):
    """Switches per 10 s of each daemon's threads, polled every 100 ms: a thread that starts
    in the window counts from zero, one that ends keeps what it had at the last poll."""
    daemons = [p for p in programs if p.name in DAEMONS]
    first = {p.name: context_switches(p.pid) for p in daemons}
    last = {p.name: dict(first[p.name]) for p in daemons}
    end = now() + seconds
    while now() < end:
        time.sleep(0.1)
        for p in daemons:
            last[p.name].update(context_switches(p.pid))
    return {p.name: sum(n - first[p.name].get(tid, 0) for tid, n in last[p.name].items())
            * 10 / seconds for p in daemons}


def table(results, names):
    medians = {n: {k: statistics.median(v) for k, v in results[n].items() if v}
               for n in names}
    peers = [n for n in names if not n.startswith("runel")]
    head = ["measure", *names]
    if "runel" in names and peers:
        head += ["best peer", "Runel / best peer"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for key, label, unit in MEASURES:
        values = [medians[n].get(key) for n in names]
        if all(v is None for v in values):
            continue
        cells = [f"{label}" + (f" ({unit})" if unit else "")]
        cells += ["–" if v is None else f"{v:.2f}" if v < 10 else f"{v:.1f}" for v in values]
        if len(head) > len(names) + 1:
            known = [(medians[n][key], n) for n in peers if medians[n].get(key) is not None]
            ours = medians["runel"].get(key)
            if known and ours is not None:
                best, who = min(known)
                cells += [f"{best:.2f} ({who})", f"{ours / best:.2f}×" if best else "–"]
            else:
                cells += ["–", "–"]
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--install-peers", action="store_true",
                        help="install the X server, window manager and peers with apt-get first")
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--count", type=int, default=5000)
    parser.add_argument("--idle-windows", type=int, default=3)
    parser.add_argument("--programs", default="runel,rofi,dmenu,kupfer,synapse")
    parser.add_argument("--runel", default=os.path.join(REPO, "build-bench", "runel"))
    parser.add_argument("--baseline-runel", metavar="PATH",
                        help="another build of runel (beside its runel-app) measured in the same "
                        "rounds, as runel-baseline: a change against the build before it")
    parser.add_argument("--make-tree",
                        default=os.path.join(REPO, "build-bench", "bench", "make_tree"))
    parser.add_argument("--trace", action="store_true",
                        help="print every map, configure and repaint after Runel's first key")
    args = parser.parse_args()
    if args.install_peers:
        install_peers()
    try:
        import Xlib  # noqa: F401
    except ImportError:
        sys.exit("python3-xlib is missing: run with /usr/bin/python3, or --install-peers")
    names = args.programs.split(",")
    if args.baseline_runel:
        names.insert(names.index("runel") + 1 if "runel" in names else 0, "runel-baseline")
    for tool in ([args.runel] if "runel" in names else []) + [args.make_tree] + (
            [args.baseline_runel] if args.baseline_runel else []):
        if not os.access(tool, os.X_OK):
            sys.exit(f"{tool} is missing: build the Release tree (see the top of this file)")

    work = tempfile.mkdtemp(prefix="runel-peers-")
    args.tree = os.path.join(work, "scripts")
    subprocess.run([args.make_tree, args.tree, str(args.count)], check=True,
                   stdout=subprocess.DEVNULL)
    args.lines = os.path.join(work, "lines.txt")
    with open(args.lines, "w") as f:
        for folder, _, files in sorted(os.walk(args.tree)):
            for name in sorted(files):
                f.write(os.path.relpath(os.path.join(folder, name), args.tree) + "\n")
    # The same warm page cache for everyone.
    subprocess.run(["cat", args.lines], stdout=subprocess.DEVNULL)

    displays, programs = [], []
    results = {n: {k: [] for k, _, _ in MEASURES} for n in names}
    try:
        for name in names:
            display = Display(name, work, trace=args.trace and name.startswith("runel"))
            displays.append(display)
            program = make_program(name, display, args)
            program.start()
            programs.append(program)
            say(f"{name} ready on {display.display}")
        load = []
        for r in range(args.warmup + args.rounds):
            load.append(os.getloadavg()[0])
            for program in programs[r % len(programs):] + programs[:r % len(programs)]:
                row = one_round(program, args, program.x.trace)
                if r >= args.warmup:
                    for key, value in row.items():
                        if value is not None:
                            results[program.name][key].append(value)
                say(f"round {r} {program.name}: " + ", ".join(
                    f"{k}={v:.1f}" for k, v in row.items() if v is not None))
        time.sleep(2)
        for _ in range(args.idle_windows):
            for name, value in idle_switches(programs, 10).items():
                results[name]["idle_switches"].append(value)
        print(f"\n{args.count} scripts, {args.rounds} rounds (medians), load average "
              f"{min(load):.1f}–{max(load):.1f} during the rounds\n")
        print(table(results, names))
    finally:
        for display in displays:
            display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
