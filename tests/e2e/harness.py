"""Runs the real cadrell program under a private X server and drives it as a user would.

Every scenario gets its own Xvfb display, D-Bus session with the accessibility bus, home folder
and runtime folder, so scenarios never see each other's settings or running instance. Keys and
mouse go through xdotool (XTEST, the same path as a real keyboard); what is on screen is read
back through the accessibility tree (pyatspi), which names every window, row, menu item and
message box text and tells where each one is on the screen.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77


class ScenarioFailed(Exception):
    pass


class Skip(Exception):
    pass


def log(msg):
    print(msg, flush=True)


def poll(what, fn, timeout=10.0, interval=0.05):
    """Calls fn until it returns something truthy; fails with `what` after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = fn()
            if value:
                return value
        except ScenarioFailed:
            raise
        except Exception as e:  # the tree changes under our feet while the program works
            last_error = e
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise ScenarioFailed(f"timed out after {timeout:.0f}s waiting for {what}{detail}")
        time.sleep(interval)


def expect(condition, message):
    if not condition:
        raise ScenarioFailed(message)


# ---------------------------------------------------------------------------------------------
# The private desktop: X server, D-Bus session, accessibility bus


class Desktop:
    def __init__(self, workdir):
        self.workdir = workdir
        self.procs = []
        self.display = None

    def start(self):
        if not shutil.which("Xvfb"):
            raise Skip("Xvfb is not installed (Debian package xvfb)")
        for tool in ("xdotool", "import"):
            if not shutil.which(tool):
                raise ScenarioFailed(f"{tool} is not installed (Debian packages xdotool, imagemagick)")
        # -displayfd lets the server choose a free display and tell us which one it took.
        rfd, wfd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.workdir, "xvfb.log"), "w"))
        os.close(wfd)
        self.procs.append(xvfb)
        number = b""
        deadline = time.monotonic() + 15
        os.set_blocking(rfd, False)
        while not number.endswith(b"\n"):
            if xvfb.poll() is not None:
                os.close(rfd)
                raise Skip("Xvfb cannot start here: " + open(os.path.join(self.workdir, "xvfb.log")).read().strip()[-300:])
            if time.monotonic() > deadline:
                os.close(rfd)
                raise Skip("Xvfb did not report a display within 15 seconds")
            try:
                chunk = os.read(rfd, 16)
                if chunk:
                    number += chunk
                    continue
            except BlockingIOError:
                pass
            time.sleep(0.02)
        os.close(rfd)
        self.display = ":" + number.decode().strip()
        os.environ["DISPLAY"] = self.display
        # The accessibility bus; its address is published on the session bus we run under.
        launcher = "/usr/libexec/at-spi-bus-launcher"
        if not os.path.exists(launcher):
            raise ScenarioFailed("at-spi-bus-launcher missing (Debian package at-spi2-core)")
        self.procs.append(subprocess.Popen([launcher, "--launch-immediately"],
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        poll("the accessibility bus", self._a11y_bus_up, timeout=10)

    def _a11y_bus_up(self):
        r = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                           capture_output=True, text=True, timeout=5)
        return r.returncode == 0 and "unix:" in r.stdout

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)
        log(f"screenshot: {path}")

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


# ---------------------------------------------------------------------------------------------
# Keyboard and mouse


def xdo(*args):
    r = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=20)
    if r.returncode != 0:
        raise ScenarioFailed(f"xdotool {' '.join(map(str, args))} failed: {r.stderr.strip()}")
    return r.stdout.strip()


def key(*keys):
    xdo("key", "--delay", "40", *keys)


def type_text(text):
    xdo("type", "--delay", "15", text)


def pointer():
    out = xdo("getmouselocation", "--shell")
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(values["X"]), int(values["Y"])


def move_to(x, y):
    # --sync waits for the pointer to move, which never happens when it is there already.
    if pointer() != (int(x), int(y)):
        xdo("mousemove", "--sync", x, y)


_last_click = [0.0]


def click(x, y, button=1):
    move_to(x, y)
    time.sleep(0.05)
    xdo("click", button)
    _last_click[0] = time.monotonic()


def after_double_click_time():
    # A press soon after a click at the same place is a double click, which starts no drag.
    wait = _last_click[0] + 0.6 - time.monotonic()
    if wait > 0:
        time.sleep(wait)


def drag(x0, y0, x1, y1, steps=12, hold=None):
    """A left-button drag moved in small steps, as a hand would, so the drag detection sees it."""
    move_to(x0, y0)
    after_double_click_time()
    time.sleep(0.1)
    if hold:
        xdo("keydown", hold)
    xdo("mousedown", 1)
    time.sleep(0.15)
    for i in range(1, steps + 1):
        xdo("mousemove", int(x0 + (x1 - x0) * i / steps), int(y0 + (y1 - y0) * i / steps))
        time.sleep(0.06)
    time.sleep(0.25)
    xdo("mouseup", 1)
    if hold:
        xdo("keyup", hold)


def window_ids(name_regex, pid=None):
    args = ["search", "--onlyvisible"]
    if pid:
        args += ["--pid", pid]
    args += ["--name", name_regex]
    r = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=20)
    return [w for w in r.stdout.split() if w]


def window_geometry(wid):
    out = xdo("getwindowgeometry", "--shell", wid)
    values = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def focus_window(wid):
    # No window manager: give the focus directly, as a window manager would on activation.
    xdo("windowraise", wid)
    xdo("windowfocus", "--sync", wid)


# ---------------------------------------------------------------------------------------------
# The accessibility tree


def _pyatspi():
    import pyatspi  # Debian python3-pyatspi; only under /usr/bin/python3
    return pyatspi


def find_app(name="cadrell", pid=None):
    pyatspi = _pyatspi()
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None:
            continue
        try:
            if app.name == name and (pid is None or app.get_process_id() == pid):
                return app
        except Exception:
            continue
    return None


def apps_named(name="cadrell"):
    pyatspi = _pyatspi()
    desktop = pyatspi.Registry.getDesktop(0)
    found = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.name == name:
                found.append(app)
        except Exception:
            pass
    return found


def role(acc):
    return acc.getRoleName()


def states(acc):
    pyatspi = _pyatspi()
    s = acc.getState()
    return {pyatspi.stateToString(x) for x in s.getStates()}


def showing(acc):
    return "showing" in states(acc)


def walk(acc, depth=0, max_depth=30):
    yield acc
    if depth >= max_depth:
        return
    try:
        n = acc.childCount
    except Exception:
        return
    # Lists with thousands of rows are not walked row by row; rows() reads them.
    if n > 500:
        return
    for i in range(n):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            yield from walk(child, depth + 1, max_depth)


def find_all(root, pred):
    out = []
    for acc in walk(root):
        try:
            if pred(acc):
                out.append(acc)
        except Exception:
            pass
    return out


def find_one(root, pred):
    for acc in walk(root):
        try:
            if pred(acc):
                return acc
        except Exception:
            pass
    return None


def extents(acc):
    pyatspi = _pyatspi()
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def center(acc):
    x, y, w, h = extents(acc)
    return x + w // 2, y + h // 2


def dump(acc, depth=0, out=None, max_depth=12):
    """The tree as indented text, for failure reports."""
    lines = out if out is not None else []
    try:
        lines.append("  " * depth + f"[{role(acc)}] {acc.name!r} {sorted(states(acc) & {'showing', 'focused', 'selected', 'checked', 'active'})}")
        if depth < max_depth and acc.childCount <= 60:
            for i in range(acc.childCount):
                c = acc.getChildAtIndex(i)
                if c is not None:
                    dump(c, depth + 1, lines, max_depth)
    except Exception as e:
        lines.append("  " * depth + f"<{e!r}>")
    return lines


# ---------------------------------------------------------------------------------------------
# The program


class Cadrell:
    """One start of the program with a private home; `app` is its accessibility root."""

    def __init__(self, scenario, args=(), event_log=True, env_extra=None, home=None):
        self.scenario = scenario
        self.home = home or scenario.home
        env = dict(os.environ)
        env.update(scenario.user_env(self.home))
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["QT_ACCESSIBILITY"] = "1"
        env["QT_QPA_PLATFORM"] = "xcb"
        self.event_log = None
        if event_log:
            self.event_log = os.path.join(scenario.workdir, f"events-{len(scenario.starts)}.log")
            env["CADRELL_EVENT_LOG"] = self.event_log
        else:
            env.pop("CADRELL_EVENT_LOG", None)  # the real error box, not the log line
        if env_extra:
            env.update(env_extra)
        self.stderr_path = os.path.join(scenario.workdir, f"cadrell-{len(scenario.starts)}.stderr")
        self.proc = subprocess.Popen([scenario.binary, *args], env=env, cwd=scenario.workdir,
                                     stdout=subprocess.DEVNULL, stderr=open(self.stderr_path, "w"))
        scenario.starts.append(self)
        self.app = None

    # -- start and end

    def wait_ready(self, timeout=20):
        def ready():
            if self.proc.poll() is not None:
                raise ScenarioFailed(f"cadrell ended early with exit code {self.proc.returncode}: {self.stderr()}")
            app = find_app(pid=self.proc.pid)
            if app is None:
                return None
            frame = self.frame(app)
            return app if frame is not None and showing(frame) else None
        self.app = poll("the Cadrell frame to appear in the accessibility tree", ready, timeout)
        return self

    def frame(self, app=None):
        app = app or self.app
        for i in range(app.childCount):
            c = app.getChildAtIndex(i)
            if c is not None and role(c) == "frame" and c.name.startswith("Cadrell"):
                return c
        return None

    def window_id(self):
        ids = poll("the frame's X window", lambda: window_ids("^Cadrell", self.proc.pid), timeout=10)
        return ids[0]

    def focus(self):
        focus_window(self.window_id())

    def stderr(self):
        try:
            return open(self.stderr_path, errors="replace").read()[-2000:]
        except OSError:
            return ""

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailed(f"cadrell did not end within {timeout}s")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def events(self):
        if not self.event_log or not os.path.exists(self.event_log):
            return []
        with open(self.event_log, "rb") as f:
            return [line.decode("utf-8", "replace").rstrip("\n") for line in f]

    # -- what is on screen

    def menu_bar_titles(self):
        bar = find_one(self.frame(), lambda a: role(a) == "menu bar")
        expect(bar is not None, "the frame has no menu bar")
        return [bar.getChildAtIndex(i).name for i in range(bar.childCount)]

    def document_windows(self):
        """The document windows' accessible nodes (each holds one "Playlist entries" list)."""
        frame = self.frame()
        lists = find_all(frame, lambda a: role(a) == "list" and a.name == "Playlist entries")
        windows = []
        for lst in lists:
            node = lst.parent
            # Up to the MDI window itself, whose name is the title.
            while node is not None and role(node) not in ("internal frame", "frame", "window", "dialog"):
                node = node.parent
            windows.append((node, lst))
        return windows

    def titles(self):
        return sorted(w.name for w, _ in self.document_windows() if w is not None)

    def list_of(self, title):
        for w, lst in self.document_windows():
            if w is not None and w.name == title:
                return lst
        raise ScenarioFailed(f"no document window titled {title!r}; there are {self.titles()!r}")

    def rows(self, lst):
        out = []
        for i in range(lst.childCount):
            c = lst.getChildAtIndex(i)
            if c is not None and role(c) == "list item":
                out.append(c)
        return out

    def row_texts(self, lst):
        return [r.name for r in self.rows(lst)]

    def selected_rows(self, lst):
        return [i for i, r in enumerate(self.rows(lst)) if "selected" in states(r)]

    def wait_rows(self, title, expected, timeout=10):
        def check():
            return self.row_texts(self.list_of(title)) == expected
        try:
            poll(f"rows {expected!r} in {title!r}", check, timeout)
        except ScenarioFailed:
            try:
                actual = self.row_texts(self.list_of(title))
            except ScenarioFailed as e:
                actual = str(e)
            raise ScenarioFailed(f"window {title!r}: expected rows {expected!r}, found {actual!r}")

    def wait_titles(self, expected, timeout=10):
        expected = sorted(expected)
        try:
            poll(f"document windows {expected!r}", lambda: self.titles() == expected, timeout)
        except ScenarioFailed:
            raise ScenarioFailed(f"expected document windows {expected!r}, found {self.titles()!r}")

    def dialogs(self):
        """Top-level message boxes and dialogs of the program."""
        out = []
        for i in range(self.app.childCount):
            c = self.app.getChildAtIndex(i)
            if c is not None and role(c) in ("alert", "dialog", "file chooser", "font chooser") and showing(c):
                out.append(c)
        return out

    def wait_dialog(self, title=None, timeout=10):
        def find():
            for d in self.dialogs():
                if title is None or d.name == title:
                    return d
            return None
        try:
            return poll(f"a dialog {title!r}", find, timeout)
        except ScenarioFailed:
            raise ScenarioFailed(f"no dialog {title!r} appeared; open top-level windows: "
                                 f"{[(role(c), c.name) for c in self.top_levels()]!r}")

    def top_levels(self):
        return [self.app.getChildAtIndex(i) for i in range(self.app.childCount)
                if self.app.getChildAtIndex(i) is not None]

    def wait_no_dialog(self, timeout=10, refocus=True):
        poll("the dialog to close", lambda: not self.dialogs(), timeout)
        # Without a window manager nobody hands the focus back to the frame when a dialog
        # closes; do what the window manager would.
        if refocus and self.proc.poll() is None and window_ids("^Cadrell", self.proc.pid):
            self.focus()

    def dialog_texts(self, dialog):
        return [a.name for a in find_all(dialog, lambda a: role(a) == "label" and a.name)]

    def button(self, dialog, name):
        # The Options dialog names its buttons after their objects ("ButtonOK"); accept that too.
        b = find_one(dialog, lambda a: role(a) == "push button" and a.name.replace("&", "") in (name, "Button" + name))
        expect(b is not None, f"dialog {dialog.name!r} has no button {name!r}; it has "
               f"{[a.name for a in find_all(dialog, lambda a: role(a) == 'push button')]!r}")
        return b

    def click_button(self, dialog, name):
        x, y = center(self.button(dialog, name))
        click(x, y)

    def menu(self, path):
        """Opens menus by mouse along `path` ("&View", "&Toolbar") and clicks the last item."""
        bar = find_one(self.frame(), lambda a: role(a) == "menu bar")
        node = bar
        for i, name in enumerate(path):
            clean = name.replace("&", "")
            item = poll(f"menu item {name!r}", lambda: find_one(
                node, lambda a: role(a) in ("menu", "menu item", "check menu item") and a.name.replace("&", "") == clean and showing(a)), timeout=5)
            x, y = center(item)
            click(x, y)
            node = item
            time.sleep(0.15)


# ---------------------------------------------------------------------------------------------
# A scenario


class Scenario:
    def __init__(self, name, binary, outdir):
        self.name = name
        self.binary = os.path.abspath(binary)
        self.outdir = outdir
        os.makedirs(outdir, exist_ok=True)
        self.workdir = tempfile.mkdtemp(prefix=f"cadrell-e2e-{name}-")
        self.home = self.new_home("home")
        self.desktop = Desktop(self.workdir)
        self.starts = []

    def new_home(self, label):
        home = os.path.join(self.workdir, label)
        for sub in ("", ".config", ".local/share", ".cache", "runtime", "Music"):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        os.chmod(os.path.join(home, "runtime"), 0o700)
        return home

    def user_env(self, home):
        return {
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(home, "runtime"),
        }

    def settings_path(self, home=None):
        return os.path.join(home or self.home, ".config", "cadrell", "HKEY_CURRENT_USER.reg")

    def write(self, relname, data):
        path = os.path.join(self.home, relname)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, path):
        expect(os.path.exists(path), f"{path} does not exist")
        with open(path, "rb") as f:
            return f.read()

    def screenshot(self, label="end"):
        self.desktop.screenshot(os.path.join(self.outdir, f"{self.name}-{label}.png"))

    def start(self, *args, **kw):
        return Cadrell(self, args, **kw)

    def cleanup(self):
        for c in self.starts:
            c.kill()
        self.desktop.stop()
        if os.environ.get("CADRELL_E2E_KEEP"):
            log(f"kept {self.workdir}")
        else:
            shutil.rmtree(self.workdir, ignore_errors=True)


def run(scenarios):
    """Entry point: `run.py --binary B --out DIR SCENARIO`. Re-runs itself inside a fresh D-Bus
    session so that the accessibility bus and the program are private to this scenario."""
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("scenario", choices=sorted(scenarios))
    opts = parser.parse_args()

    if os.environ.get("CADRELL_E2E_INNER") != "1":
        if not shutil.which("dbus-run-session"):
            print("SKIP: dbus-run-session missing (Debian package dbus-x11 / dbus)")
            return SKIP
        env = dict(os.environ, CADRELL_E2E_INNER="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv], env=env)

    try:
        import pyatspi  # noqa: F401
    except ImportError:
        print("FAIL: pyatspi is not importable by", sys.executable,
              "(Debian package python3-pyatspi; run with /usr/bin/python3)")
        return 1

    scenario = Scenario(opts.scenario, opts.binary, opts.out)
    started = time.monotonic()
    try:
        scenario.desktop.start()
        scenarios[opts.scenario](scenario)
        scenario.screenshot()
        log(f"PASS {opts.scenario} ({time.monotonic() - started:.1f}s)")
        return 0
    except Skip as e:
        print(f"SKIP: {e}")
        return SKIP
    except Exception as e:
        if isinstance(e, ScenarioFailed):
            print(f"FAIL {opts.scenario}: {e}")
        else:
            import traceback
            print(f"FAIL {opts.scenario}: unexpected {e!r}")
            traceback.print_exc(file=sys.stdout)
        try:
            scenario.screenshot("failure")
            for c in scenario.starts:
                if c.proc.poll() is None and c.app is not None:
                    print("accessibility tree at the failure:")
                    print("\n".join(dump(c.app)[:200]))
                err = c.stderr().strip()
                if err:
                    print(f"program stderr:\n{err}")
        except Exception as dump_error:
            print(f"(could not describe the screen: {dump_error!r})")
        return 1
    finally:
        scenario.cleanup()
