#!/usr/bin/env python3
"""Drives the real mirodex executable on a virtual screen the way a user does.

Xvfb gives the screen, trayer the notification area, openbox (when installed) the
window frames; xdotool clicks and reads what is visible. The program runs from a
temporary copy with the sample books beside it and its own settings and runtime
folders, so nothing of the user's is touched.

    desktop_test.py --program PATH --books DIR [--artifacts DIR]

Exit status: 0 passed, 1 failed (a screenshot of the screen goes to the
artifacts folder), 77 skipped because a needed tool is missing.
"""

import argparse
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN_W, SCREEN_H = 1280, 800
TOLERANCE = 4  # pixels
TITLE = "Lumeo电话簿"
STORE_KEYS = {"SoftName", "LogFilePath", "DebugFilePath", "IsDebug", "SrvTxlFile", "LocalTxlFile",
              "FtpServer", "FtpFile"}
# A sanitized build starts and draws slower; every wait is a poll with this limit.
DOUBLE_CLICK = 0.5  # seconds; Qt's default interval is 400 ms
WAIT = float(os.environ.get("MIRODEX_E2E_WAIT", "15"))


class Failure(Exception):
    pass


def say(text):
    print("desktop_test: " + text, flush=True)


class Desktop:
    def __init__(self, work):
        self.work = work
        self.procs = []  # started here, stopped in reverse order
        self.env = None
        self.has_wm = False
        self.last_geometry = None
        self.last_click = 0.0

    # ---- processes -------------------------------------------------------------------------
    def spawn(self, name, argv, **kw):
        log = open(os.path.join(self.work, name + ".log"), "wb")
        kw.setdefault("env", self.env)
        proc = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, **kw)
        log.close()
        self.procs.append(proc)
        return proc

    def stop_all(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()

    def log(self, name):
        try:
            with open(os.path.join(self.work, name + ".log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def run(self, *argv):
        out = subprocess.run(argv, env=self.env, capture_output=True, timeout=WAIT)
        return out.returncode, out.stdout.decode("utf-8", "replace")

    def start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                            "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp", "-noreset"],
                   pass_fds=(write_fd,), env=os.environ.copy())
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + WAIT
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_fd], [], [], left)[0]:
                raise Failure("Xvfb did not start:\n" + self.log("xvfb"))
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise Failure("Xvfb did not start:\n" + self.log("xvfb"))
            number += chunk
        os.close(read_fd)
        return ":" + number.decode().strip()

    # ---- polling ---------------------------------------------------------------------------
    @staticmethod
    def wait_for(what, probe, timeout=WAIT):
        deadline = time.monotonic() + timeout
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                raise Failure("timed out waiting for " + what)
            time.sleep(0.05)

    # ---- what is on the screen -------------------------------------------------------------
    def visible_windows(self, pattern, field="--name"):
        code, out = self.run("xdotool", "search", "--onlyvisible", field, pattern)
        return [int(w) for w in out.split()] if code == 0 else []

    def main_windows(self):
        return self.visible_windows("^%s$" % TITLE)

    def outer_geometry(self, window):
        """The window with its frame: x, y, width, height."""
        code, out = self.run("xdotool", "getwindowgeometry", "--shell", str(window))
        if code != 0:
            return None
        size = dict(line.split("=", 1) for line in out.split() if "=" in line)
        # xdotool's position counts a reparented window's offset twice; xwininfo's does not.
        code, info = self.run("xwininfo", "-id", str(window))
        x = re.search(r"Absolute upper-left X:\s+(-?\d+)", info)
        y = re.search(r"Absolute upper-left Y:\s+(-?\d+)", info)
        if code != 0 or not x or not y:
            return None
        left = right = top = bottom = 0
        code, extents = self.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS")
        m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", extents)
        if code == 0 and m:
            left, right, top, bottom = (int(v) for v in m.groups())
        return (int(x.group(1)) - left, int(y.group(1)) - top,
                int(size["WIDTH"]) + left + right, int(size["HEIGHT"]) + top + bottom)

    def placed_top_right(self):
        windows = self.main_windows()
        if len(windows) != 1:
            return False
        g = self.outer_geometry(windows[0])
        want = (SCREEN_W * 3 // 4, 0, SCREEN_W // 4, SCREEN_H // 2)
        self.last_geometry = g
        return g is not None and all(abs(a - b) <= TOLERANCE for a, b in zip(g, want))

    def tray_panel(self):
        code, out = self.run("xdotool", "search", "--class", "trayer")
        best = None
        for w in out.split() if code == 0 else []:
            code, g = self.run("xdotool", "getwindowgeometry", "--shell", w)
            d = dict(line.split("=", 1) for line in g.split() if "=" in line)
            if code == 0 and int(d.get("WIDTH", 0)) > 10 and int(d.get("HEIGHT", 0)) > 10:
                best = w
        return best

    def tray_icons(self, panel):
        """Our icons embedded in trayer, as (x, y, width, height) on the screen."""
        code, out = self.run("xwininfo", "-tree", "-id", panel)
        icons = []
        for line in out.splitlines() if code == 0 else []:
            m = re.search(r'\("mirodex" "mirodex"\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)', line)
            if m:
                w, h, x, y = (int(v) for v in m.groups())
                icons.append((x, y, w, h))
        return icons

    def tray_icon_centre(self, panel):
        icons = self.tray_icons(panel)
        if len(icons) == 1:
            x, y, w, h = icons[0]
            return x + w // 2, y + h // 2
        # Our icon is the only one, at the panel's left edge.
        code, out = self.run("xdotool", "getwindowgeometry", "--shell", panel)
        d = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(d["X"]) + int(d["HEIGHT"]) // 2, int(d["Y"]) + int(d["HEIGHT"]) // 2

    def popup_menu(self, main, panel):
        inside_tray = {(x, y) for x, y, _, _ in self.tray_icons(panel)}
        for w in self.visible_windows("^mirodex$", "--class"):
            if w in main:
                continue
            g = self.outer_geometry(w)
            if g and (g[0], g[1]) not in inside_tray and g[2] > 40 and g[3] > 40:
                return w, g
        return None

    def click(self, x, y, button):
        # Two clicks on one spot within the double-click time are a double click,
        # which is not a second left click.
        pause = self.last_click + DOUBLE_CLICK - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        self.last_click = time.monotonic()
        code, _ = self.run("xdotool", "mousemove", str(x), str(y), "click", str(button))
        if code != 0:
            raise Failure("xdotool could not click at %d,%d" % (x, y))

    def screenshot(self, path):
        if shutil.which("import"):
            subprocess.run(["import", "-window", "root", path], env=self.env, capture_output=True, timeout=WAIT)
            if os.path.exists(path):
                say("screenshot saved to " + path)


def scenario(d, program, store):
    # The program as a user starts it.
    app = d.spawn("mirodex", [program], cwd=d.work)
    main = d.wait_for("the window", d.main_windows)
    panel = d.wait_for("trayer's panel", d.tray_panel)
    d.wait_for("the tray icon", lambda: d.tray_icons(panel))
    d.wait_for("the window at the top right", d.placed_top_right)
    icon = d.tray_icon_centre(panel)
    say("window %d, tray icon at %d,%d" % (main[0], icon[0], icon[1]))

    d.click(*icon, 1)
    d.wait_for("a left click to hide the window", lambda: not d.main_windows())
    d.click(*icon, 1)
    d.wait_for("a second left click to show the window", d.main_windows)
    d.wait_for("the shown window at the top right", d.placed_top_right)

    # The first item of the tray's menu is the same toggle, both ways.
    for visible_after in (False, True):
        d.click(*icon, 3)
        _, g = d.wait_for("the popup menu", lambda: d.popup_menu(main, panel))
        d.click(g[0] + g[2] // 2, g[1] + 10, 1)
        if visible_after:
            d.wait_for("the menu's first item to show the window", d.main_windows)
        else:
            d.wait_for("the menu's first item to hide the window", lambda: not d.main_windows())
        d.wait_for("the popup menu to close", lambda: not d.popup_menu(main, panel))

    if d.has_wm:
        window = d.main_windows()[0]
        d.run("xdotool", "windowminimize", str(window))
        d.wait_for("the minimised window to hide", lambda: not d.main_windows())
    else:
        say("no window manager: minimising is left out (nothing would iconify the window)")

    # A second start brings the running copy's window forward and ends at once.
    second = subprocess.run([program], env=d.env, cwd=d.work, capture_output=True, timeout=WAIT)
    if second.returncode != 0:
        raise Failure("the second start ended with %d:\n%s" % (second.returncode,
                                                                   second.stderr.decode("utf-8", "replace")))
    d.wait_for("the window to come forward for the second start", d.main_windows)
    d.wait_for("the window brought forward at the top right", d.placed_top_right)
    time.sleep(0.3)  # a second window or icon would have had time to appear
    if len(d.main_windows()) != 1 or len(d.tray_icons(panel)) != 1:
        raise Failure("after the second start: %d windows, %d tray icons" % (len(d.main_windows()),
                                                                              len(d.tray_icons(panel))))
    if app.poll() is not None:
        raise Failure("the first copy ended with the second start")

    # Exit from the tray menu while a box waits for an answer: the tray still
    # answers, the box closes and the settings are saved. The store was written at
    # the first start already, so it is removed to see it written again.
    os.remove(store)
    window = d.main_windows()[0]
    d.run("xdotool", "windowactivate", "--sync", str(window))
    d.run("xdotool", "key", "--window", str(window), "alt+f")
    d.run("xdotool", "key", "--delay", "100", "Return")
    box = d.wait_for("the download's first box", lambda: [w for w in d.visible_windows("^mirodex$", "--class")
                                                           if w not in main and (g := d.outer_geometry(w))
                                                           and g[2] > 100 and g[3] > 60])
    d.click(*icon, 3)
    d.wait_for("the popup menu over the open box", lambda: d.popup_menu(main + box, panel))
    d.run("xdotool", "key", "--delay", "50", "Down", "Down", "Return")
    d.wait_for("the program to end after 退出电话簿", lambda: app.poll() is not None)
    if app.returncode != 0:
        raise Failure("the program ended with %d" % app.returncode)
    if not os.path.exists(store):
        raise Failure("no settings stored at exit (%s)" % store)
    with open(store, encoding="utf-8") as f:
        keys = {line.split("=", 1)[0] for line in f if "=" in line}
    if keys != STORE_KEYS:
        raise Failure("stored keys %s, expected %s" % (sorted(keys), sorted(STORE_KEYS)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--books", required=True, help="folder with PrivateTel.txt and PublicTel.txt")
    parser.add_argument("--artifacts", default=".")
    args = parser.parse_args()

    missing = [t for t in ("Xvfb", "trayer", "xdotool", "xwininfo", "xprop") if not shutil.which(t)]
    if missing:
        print("SKIP: %s not installed (scripts/setup installs xvfb trayer xdotool x11-utils)" % ", ".join(missing))
        return SKIP

    shot = os.path.join(os.path.abspath(args.artifacts), "desktop_test_failure.png")
    if os.path.exists(shot):
        os.remove(shot)  # from an earlier run; it would only mislead
    work = tempfile.mkdtemp(prefix="mirodex-desktop-")
    d = Desktop(work)
    started = time.monotonic()
    try:
        app_dir = os.path.join(work, "app")
        os.makedirs(app_dir)
        program = os.path.join(app_dir, "mirodex")
        shutil.copy2(args.program, program)
        for book in ("PrivateTel.txt", "PublicTel.txt"):
            shutil.copy2(os.path.join(args.books, book), app_dir)
        runtime = os.path.join(work, "runtime")
        os.makedirs(runtime, mode=0o700)
        env = os.environ.copy()
        for var in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORMTHEME"):
            env.pop(var, None)
        env.update(XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_RUNTIME_DIR=runtime,
                   XDG_DATA_HOME=os.path.join(work, "data"), QT_QPA_PLATFORM="xcb")
        env["DISPLAY"] = d.start_xvfb()
        d.env = env
        d.wait_for("the X server", lambda: d.run("xdotool", "getdisplaygeometry")[0] == 0)

        if shutil.which("openbox"):
            d.spawn("openbox", ["openbox", "--sm-disable"])
            try:
                d.has_wm = d.wait_for("openbox", lambda: "window id" in d.run(
                    "xprop", "-root", "_NET_SUPPORTING_WM_CHECK")[1])
            except Failure:
                say("openbox did not start; going on without a window manager")
        d.spawn("trayer", ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                           "--heighttype", "pixel", "--height", "32", "--SetDockType", "true",
                           "--SetPartialStrut", "true", "--padding", "6"])

        scenario(d, program, os.path.join(work, "config", "Pellinor", "Mirodex.conf"))
        say("passed in %.1f s" % (time.monotonic() - started))
        return 0
    except (Failure, subprocess.TimeoutExpired, OSError) as e:
        say("FAILED: %s" % e)
        if d.last_geometry:
            say("last window geometry seen (x, y, width, height): %s" % (d.last_geometry,))
        if d.env:
            d.screenshot(shot)
        output = d.log("mirodex")
        if output:
            say("the program said:\n" + output)
        return 1
    finally:
        d.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
