#!/usr/bin/env python3
"""Drives the real tidewell executable in a virtual display, the way a user
would: clicks at the frames its windows report through the test probe, keys
through xdotool, a screenshot of the screen at each step."""
import json, os, shutil, socket, subprocess, sys, tempfile, time, signal

class Failure(Exception):
    pass

class Session:
    def __init__(self, app, work, shots):
        self.app, self.work, self.shots = app, work, shots
        self.home = os.path.join(work, "home")
        self.probe = os.path.join(work, "probe.sock")
        self.proc = None
        self.step = 0
        self.prefix = []  # runs the application as another user
        self.env = dict(os.environ)
        self.env.update({
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "TIDEWELL_TEST_PROBE": self.probe,
            "QT_QPA_PLATFORM": "xcb",
        })

    # --- the application
    def launch(self, *args):
        log = open(os.path.join(self.work, "app.log"), "a")
        self.proc = subprocess.Popen([*self.prefix, self.app, *args], env=self.env, stdout=log, stderr=log)
        self.wait(lambda: self.windows(), "the first window", 30)

    def second_launch(self, *args):
        """Starts tidewell again while it runs: it hands over and leaves."""
        second = subprocess.run([self.app, *args], env=self.env, capture_output=True, timeout=60)
        if second.returncode != 0:
            raise Failure(f"the second launch exited with {second.returncode}")

    def launch_background(self, *args):
        log = open(os.path.join(self.work, "app.log"), "a")
        self.proc = subprocess.Popen([self.app, *args], env=self.env, stdout=log, stderr=log)
        self.wait(lambda: self.ask("frames"), "the probe", 30)

    def quit(self, timeout=60):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                raise Failure("the application did not quit")
        self.proc = None

    def ask(self, request="tree"):
        s = socket.socket(socket.AF_UNIX)
        s.settimeout(10)
        try:
            s.connect(self.probe)
            s.sendall(request.encode() + b"\n")
            data = b""
            while True:
                chunk = s.recv(1 << 16)
                if not chunk:
                    break
                data += chunk
            return json.loads(data)
        except (OSError, ValueError):
            return None
        finally:
            s.close()

    def windows(self):
        answer = self.ask()
        return answer["windows"] if answer else []

    def nodes(self):
        for w in self.windows():
            for n in w["nodes"]:
                n["window"] = w["title"]
                yield n

    def find(self, id=None, label=None, text=None, window=None, named=None):
        best = None
        for n in self.nodes():
            if window is not None and n["window"] != window:
                continue
            if id is not None and n["id"] != id:
                continue
            if label is not None and not n["label"].startswith(label):
                continue
            if named is not None and n["label"] != named:
                continue
            if text is not None and not any(text in t for t in n["texts"]) and text not in n["label"]:
                continue
            if n["w"] <= 0 or n["h"] <= 0:
                continue
            if best is None or n["depth"] > best["depth"] or id is not None:
                best = n
                if id is not None or label is not None or named is not None:
                    return n
        return best

    def wait(self, condition, what, timeout=60):
        end = time.time() + timeout
        while time.time() < end:
            if self.proc and self.proc.poll() is not None:
                raise Failure(f"the application exited ({self.proc.returncode}) waiting for {what}")
            value = condition()
            if value:
                return value
            time.sleep(0.2)
        self.shot("timeout")
        raise Failure(f"timed out waiting for {what}")

    def wait_for(self, timeout=60, **query):
        return self.wait(lambda: self.find(**query), f"an element {query}", timeout)

    def gone(self, timeout=60, **query):
        self.wait(lambda: not self.find(**query), f"{query} to go", timeout)

    def settled(self, timeout=60, **query):
        """The element once its frame holds still (sheets and cards animate in)."""
        last = None
        def still():
            nonlocal last
            n = self.find(**query)
            frame = n and (round(n["x"]), round(n["y"]), round(n["w"]), round(n["h"]))
            steady, last = frame and frame == last, frame
            return n if steady else None
        return self.wait(still, f"an element {query} to settle", timeout)

    def tap(self, timeout=60, until=None, **query):
        """Clicks the middle of the element; with `until`, clicks again while
        the condition does not follow (a click that lands during a transition)."""
        for attempt in range(3):
            n = self.settled(timeout, **query)
            xdo("mousemove", int(n["x"] + n["w"] / 2), int(n["y"] + n["h"] / 2))
            time.sleep(0.05)
            xdo("click", 1)
            if until is None:
                return n
            try:
                return self.wait(until, f"the tap on {query} to take", 10)
            except Failure:
                if attempt == 2:
                    raise

    def key(self, key, window="Tidewell"):
        # No window manager gives focus, so the window is focused first.
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{window}$"],
                             capture_output=True, text=True).stdout.split()
        if ids:
            subprocess.run(["xdotool", "windowfocus", "--sync", ids[0]], check=False)
        xdo("key", key)

    def shot(self, name):
        self.step += 1
        path = os.path.join(self.shots, f"{self.step:02d}-{name}.png")
        time.sleep(0.5)  # lets transitions (the sidebar pill, sheets) finish for the picture
        subprocess.run(["import", "-window", "root", path], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"  screenshot {path}", flush=True)

def close_window(title):
    """Asks a window to close as a window manager's close button does
    (WM_DELETE_WINDOW), through libX11, since the display has no manager."""
    import ctypes, ctypes.util
    x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"],
                         capture_output=True, text=True).stdout.split()
    if not ids:
        raise Failure(f"no window named {title}")
    display = x.XOpenDisplay(None)
    protocols = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
    delete = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
    for wid in ids:
        event = ClientMessage(type=33, window=int(wid), message_type=protocols, format=32)
        event.data[0], event.data[1] = delete, 0
        x.XSendEvent(display, int(wid), 0, 0, ctypes.byref(event))
    x.XFlush(display)
    x.XCloseDisplay(display)

def xdo(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)

DAY = 86400

def make_home(home, projects, now=None, layouts=None):
    """A developer's home: npm, Cargo and Python projects with their
    regenerable folders, some untouched for weeks. The projects live beside
    the home, not in it: the application maps paths under a $HOME that is not
    the account's own home onto the real one."""
    now = now or time.time()
    def write(path, size=0, text=None):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            if text is not None:
                f.write(text.encode())
            else:
                f.write(os.urandom(min(size, 1 << 16)) * max(1, size >> 16))
    layouts = layouts if layouts is not None else [
        ("storefront", "npm", 0), ("admin-panel", "npm", 30), ("blog", "npm", 45),
        ("ripgrep-fork", "cargo", 20), ("tiny-http", "cargo", 1),
        ("ml-notebook", "python", 60), ("scraper", "python", 2),
    ]
    for name, kind, idle in layouts:
        root = os.path.join(projects, name)
        if kind == "npm":
            write(f"{root}/package.json", text='{"name": "%s", "version": "1.0.0"}\n' % name)
            write(f"{root}/package-lock.json", text="{}\n")
            write(f"{root}/src/index.js", text="console.log('hi')\n")
            for dep in ("react", "lodash", "left-pad"):
                write(f"{root}/node_modules/{dep}/package.json", text='{"name": "%s"}' % dep)
                write(f"{root}/node_modules/{dep}/index.js", size=4 << 20)
            write(f"{root}/dist/bundle.js", size=1 << 20)
        elif kind == "cargo":
            write(f"{root}/Cargo.toml", text='[package]\nname = "%s"\nversion = "0.1.0"\n' % name)
            write(f"{root}/Cargo.lock", text="version = 3\n")
            write(f"{root}/src/main.rs", text="fn main() {}\n")
            write(f"{root}/target/debug/{name}", size=6 << 20)
            write(f"{root}/target/debug/deps/lib.rlib", size=3 << 20)
        else:
            write(f"{root}/requirements.txt", text="requests\n")
            write(f"{root}/main.py", text="print('hi')\n")
            write(f"{root}/.venv/pyvenv.cfg", text="home = /usr/bin\nversion = 3.11.2\n")
            write(f"{root}/.venv/lib/python3.11/site-packages/requests/__init__.py", size=2 << 20)
            write(f"{root}/__pycache__/main.cpython-311.pyc", size=64 << 10)
        stamp = now - idle * DAY
        for dirpath, dirnames, filenames in os.walk(root, topdown=False):
            for f in filenames:
                os.utime(os.path.join(dirpath, f), (stamp, stamp))
            os.utime(dirpath, (stamp, stamp))
    # The scan looks at the projects folder only, not the whole machine.
    config = os.path.join(home, ".config", "Tidewell")
    os.makedirs(config, exist_ok=True)
    with open(os.path.join(config, "defaults.json"), "w") as f:
        json.dump({"values": {
            "scanRoots": {"kind": "stringArray", "value": [projects]},
            "didSeedStartupDisk": {"kind": "bool", "value": True},
            # An account from an earlier run: its token is in the keyring,
            # which is locked, so the start asks it and must not wait for it.
            "account.signedIn": {"kind": "bool", "value": True},
            "account.email": {"kind": "string", "value": "jane@example.com"},
            # The end-of-day review opens only where the journey meets it, at
            # any hour: until then its hour is one no clock reaches.
            "endOfDayHour": {"kind": "integer", "value": 24},
        }}, f)
    return projects


def trash_list(s):
    out = subprocess.run([*s.prefix, "trash-list"], env=s.env, capture_output=True, text=True).stdout
    return [line.split(" ", 2)[2] for line in out.splitlines() if line.count(" ") >= 2]

def idle_project(s, name, size):
    """Extra idle npm projects, so a clean of them all is still moving
    folders when the window closes."""
    root = os.path.join(s.projects, name)
    os.makedirs(os.path.join(root, "node_modules", "pkg"), exist_ok=True)
    with open(os.path.join(root, "package.json"), "w") as f:
        f.write('{"name": "%s"}' % name)
    for i in range(size):
        with open(os.path.join(root, "node_modules", "pkg", f"f{i}.js"), "w") as f:
            f.write("x" * 512)
    stamp = time.time() - 40 * DAY
    for dirpath, _, files in os.walk(root, topdown=False):
        for f in files:
            os.utime(os.path.join(dirpath, f), (stamp, stamp))
        os.utime(dirpath, (stamp, stamp))

def set_default(s, key, entry):
    """Stores one setting while the application is not running."""
    path = os.path.join(s.env["XDG_CONFIG_HOME"], "Tidewell", "defaults.json")
    with open(path) as f:
        defaults = json.load(f)
    defaults["values"][key] = entry
    with open(path, "w") as f:
        json.dump(defaults, f)

def scan_on_launch(s):
    with open(os.path.join(s.env["XDG_CONFIG_HOME"], "Tidewell", "defaults.json")) as f:
        return json.load(f)["values"].get("scanOnLaunch", {}).get("value") is True

def tray_icon():
    ids = subprocess.run(["xdotool", "search", "--name", "^panel$"], capture_output=True, text=True).stdout.split()
    for wid in ids:
        geo = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True, text=True).stdout
        g = dict(line.split("=") for line in geo.split())
        if int(g["WIDTH"]) > 1:
            return int(g["X"]) + int(g["WIDTH"]) // 2, int(g["Y"]) + int(g["HEIGHT"]) // 2
    return None

def main_window_id():
    """The X window titled exactly "Tidewell" (the search ignores case)."""
    ids = subprocess.run(["xdotool", "search", "--name", "^Tidewell$"], capture_output=True, text=True).stdout.split()
    for wid in ids:
        name = subprocess.run(["xprop", "-id", wid, "WM_NAME"], capture_output=True, text=True).stdout
        if name.strip().endswith('"Tidewell"'):
            return wid
    return None

def window_state():
    """The main window's state as the window manager keeps it: "normal" or "iconic"."""
    wid = main_window_id()
    out = wid and subprocess.run(["xprop", "-id", wid, "WM_STATE"], capture_output=True, text=True).stdout
    if out and "window state:" in out:
        return out.split("window state:")[1].split()[0].lower()
    return None

def minimise_and_launch_again(s):
    """A window manager for this step: the window is minimised to the task
    bar, and a second start of tidewell brings it back."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        s.wait(lambda: window_state() == "normal", "the window manager to take the window", 30)
        xdo("windowminimize", main_window_id())
        s.wait(lambda: window_state() == "iconic", "the window to be minimised", 30)
        s.second_launch()
        s.wait(lambda: window_state() == "normal", "the second start to bring the window back", 30)
        s.shot("brought-back")
    finally:
        wm.terminate()
        wm.wait(30)

def journey(s):
    print("first launch with a locked keyring: onboarding", flush=True)
    s.launch()
    s.wait_for(label="Allow your folders")
    s.shot("onboarding-welcome")
    s.tap(label="Continue", until=lambda: s.find(label="Open Privacy Settings"))
    s.shot("onboarding-full-disk-access")
    s.tap(label="Continue", until=lambda: s.find(label="Grow the Forest"))
    s.tap(label="Grow the Forest", until=lambda: s.find(id="sidebar.Dashboard"))
    s.shot("first-scan")

    print("dashboard with the tree", flush=True)
    s.wait_for(label="Total Projects, 7")
    s.wait_for(label="Technology storage tree")
    s.shot("dashboard")
    s.tap(label="Node / JS, Reclaimable", until=lambda: s.find(label="View Details"))
    s.shot("stack-bubble")

    print("projects filtered to the stack", flush=True)
    s.tap(label="View Details", until=lambda: s.find(label="Species filter, Node / JS"))
    s.wait(lambda: not s.find(label="ripgrep-fork"), "the other stacks to leave the list")
    s.shot("projects-node")

    print("a project's files, the dry run, the clean", flush=True)
    s.tap(label="admin-panel, idle", until=lambda: s.find(label="Folders that can move to Trash. Source stays put."))
    s.shot("files-sheet")
    s.tap(named="Clean", until=lambda: s.find(label="Confirm clean"))
    s.wait_for(label="Confirm clean")
    s.wait_for(text="1 item · 12.6 MB → Trash")
    s.shot("clean-confirmation")
    modules = os.path.join(s.projects, "admin-panel", "node_modules")
    s.tap(label="Move to Trash")
    s.wait(lambda: not os.path.exists(modules), "node_modules to leave the project")
    s.wait(lambda: modules in trash_list(s), "node_modules in the Trash")
    if not os.path.exists(os.path.join(s.projects, "admin-panel", "package.json")):
        raise Failure("the clean touched the project's sources")
    s.shot("after-clean")

    print("unlock toast, share prompt, share sheet", flush=True)
    if s.find(label="New unlock"):
        s.shot("unlock-toast")
    try:
        s.wait_for(named="Share", timeout=10)
    except Failure:
        print("  no share prompt after this clean", flush=True)
    else:
        s.shot("share-prompt")
        sheet = lambda: s.find(named="Share your clean") or s.find(named="Milestone reached")
        s.tap(named="Share", until=sheet)
        s.shot("share-sheet")
        s.tap(named="Done", until=lambda: not sheet() and not s.find(named="Share"))

    print("activity, global caches, leaderboard", flush=True)
    s.tap(id="sidebar.Activity", until=lambda: s.find(text="admin-panel"))
    s.shot("activity")
    s.tap(id="sidebar.Global Caches")
    s.wait(lambda: s.find(text="Global Caches", window="Tidewell") and not s.find(label="Filter by stack"),
           "the caches page")
    s.shot("global-caches")
    s.tap(id="sidebar.Leaderboard")
    s.shot("leaderboard")

    print("settings panes", flush=True)
    s.tap(label="Settings", window="Tidewell", until=lambda: s.find(id="settings.general"))
    for pane in ("general", "folders", "account", "character", "updates", "privacy"):
        s.tap(id=f"settings.{pane}", window="Settings")
        s.shot(f"settings-{pane}")
    # The background start below scans only when asked to scan at every start.
    s.tap(id="settings.general", window="Settings")
    row = s.settled(named="Scan when Tidewell opens", window="Settings")
    xdo("mousemove", int(row["x"] + row["w"] - 12), int(row["y"] + row["h"] / 2))
    xdo("click", 1)
    s.wait(lambda: scan_on_launch(s), "the scan-at-start setting to be saved")
    close_window("Settings")
    s.wait(lambda: not any(w["title"] == "Settings" for w in s.windows()), "settings to close")

    print("the tray widget", flush=True)
    icon = s.wait(tray_icon, "the tray icon", 30)
    xdo("mousemove", *icon)
    xdo("click", 1)
    s.wait(lambda: any(w["title"] != "Tidewell" for w in s.windows()), "the tray widget")
    s.shot("tray-widget")
    xdo("key", "Escape")

    print("minimised, and brought back by a second start", flush=True)
    minimise_and_launch_again(s)

    print("quit during a clean", flush=True)
    for i in range(30):
        idle_project(s, f"legacy-{i:02d}", 300)
    s.tap(id="sidebar.Projects")
    s.key("ctrl+r")
    s.wait_for(label="36 projects", timeout=120)
    s.tap(label="All stacks")
    s.tap(label="Clean All", until=lambda: s.find(label="Move to Trash"))
    s.shot("clean-all-confirmation")
    s.tap(label="Move to Trash")
    # The window closes as soon as the first folder has left, mid-clean.
    first = os.path.join(s.projects, "legacy-00", "node_modules")
    s.wait(lambda: any(not os.path.exists(os.path.join(s.projects, f"legacy-{i:02d}", "node_modules"))
                       for i in range(30)), "the clean to start", 60)
    close_window("Tidewell")
    s.proc.wait(120)
    s.proc = None
    trashed = set(trash_list(s))
    info = os.path.join(s.env["XDG_DATA_HOME"], "Trash", "info")
    files = os.path.join(s.env["XDG_DATA_HOME"], "Trash", "files")
    moved = 0
    for i in range(30):
        modules = os.path.join(s.projects, f"legacy-{i:02d}", "node_modules")
        if os.path.exists(modules):
            count = len(os.listdir(os.path.join(modules, "pkg")))
            if modules in trashed or count != 300:
                raise Failure(f"{modules} is half moved ({count} files left)")
        elif modules not in trashed:
            raise Failure(f"{modules} is gone but not in the Trash")
        else:
            moved += 1
    for entry in os.listdir(info):
        name = entry[: -len(".trashinfo")]
        if not os.path.exists(os.path.join(files, name)):
            raise Failure(f"a Trash entry without its folder: {entry}")
    print(f"  {moved} of 30 folders moved whole before quitting, {30 - moved} untouched", flush=True)

    print("the end-of-day review at launch", flush=True)
    # Every hour is past 0: the launch meets the review over the restored
    # dashboard's idle projects, whatever the time and zone of the run.
    set_default(s, "endOfDayHour", {"kind": "integer", "value": 0})
    s.launch()
    s.settled(text="Before you go")
    s.wait_for(label="Review & Clean")
    s.shot("end-of-day-review")
    s.tap(label="Remind Tomorrow", until=lambda: not s.find(text="Before you go"))
    s.wait_for(id="sidebar.Dashboard")
    s.quit()
    set_default(s, "endOfDayHour", {"kind": "integer", "value": 24})

    print("a background start and the scan panel", flush=True)
    s.launch_background("--background")
    s.wait(lambda: not any(w["title"] == "Tidewell" for w in s.windows()), "no main window")
    icon = s.wait(tray_icon, "the tray icon", 30)
    # A background start scans, with its small panel on screen until a while after.
    s.wait(lambda: s.windows(), "the scan panel", 30)
    s.shot("background-scan-panel")
    xdo("mousemove", *icon)
    xdo("click", 1)
    s.wait(lambda: s.find(named="Open App"), "the tray widget")
    s.shot("background-tray-widget")
    s.quit()

def session_settings(home, account):
    """The settings file of a session that had been used: signed in and out,
    a renamed character, a protected stack, a clean, Settings left on the
    Account pane; with `account`, an account still stored from that session."""
    import base64
    profile = {"accessory": "cap", "body": "robot", "colorIndex": 0, "isSetUp": True, "leaderboardOptIn": True,
               "nickname": "OldNick\u00a0", "profileLink": "", "showsInSidebar": True, "showsOnShareCard": True,
               "walksOnTree": True}
    values = {
        "character.lifetimeBytes": {"kind": "integer", "value": 67284992},
        "character.profile": {"kind": "data", "value": base64.b64encode(json.dumps(profile).encode()).decode()},
        "character.unlockCelebrated": {"kind": "integer", "value": 0},
        "didSeedStartupDisk": {"kind": "bool", "value": True},
        "endOfDayShown": {"kind": "double", "value": 1796637600.0},
        "hasCompletedOnboarding": {"kind": "bool", "value": True},
        "idleDays": {"kind": "integer", "value": 7},
        "scanRoots": {"kind": "stringArray", "value": [os.path.join(home, "code"), os.path.join(home, "work")]},
        "selectedSection": {"kind": "string", "value": "Projects"},
        "settings.selectedPane": {"kind": "string", "value": "account"},
        "shareMilestoneCelebrated": {"kind": "integer", "value": 0},
        "tidewell.protectedStacks": {"kind": "string", "value": "rust"},
        "window.main": {"kind": "object", "value": {"height": 820.0, "maximized": False, "width": 1300.0,
                                                    "x": 211.0, "y": 140.0}},
        # The end-of-day review stays away at any hour of the run.
        "endOfDayHour": {"kind": "integer", "value": 24},
    }
    if account:
        values["account.signedIn"] = {"kind": "bool", "value": True}
        values["account.email"] = {"kind": "string", "value": "jane@example.com"}
    return {"values": values}

def account_row_clicks(root_session, starts=((0.5, False), (1.5, False), (3.0, False), (1.0, True), (5.0, True))):
    """Starts of a used session, each with the sidebar's account row clicked
    at another moment of the start, while the window is still being laid
    out: the popover opens, closes and opens again, and nothing crashes. The
    last two keep an account whose keyring answers nothing."""
    print("the account row clicked during a start", flush=True)
    for number, (delay, account) in enumerate(starts, 1):
        base = tempfile.mkdtemp(prefix="tidewell-e2e-account-")
        s = Session(root_session.app, base, root_session.shots)
        s.step = root_session.step
        s.env["XDG_RUNTIME_DIR"] = root_session.env["XDG_RUNTIME_DIR"]
        try:
            for folder in ("code", "work"):
                npm_project(os.fsencode(os.path.join(s.home, folder, "site")), 64 << 10)
            config = os.path.join(s.home, ".config", "Tidewell")
            os.makedirs(config)
            with open(os.path.join(config, "defaults.json"), "w") as f:
                json.dump(session_settings(s.home, account), f)
            started = time.time()
            s.launch()
            time.sleep(max(0.0, started + delay - time.time()))
            for _ in range(3):
                row = s.wait_for(id="sidebar.account")
                xdo("mousemove", int(row["x"] + row["w"] / 2), int(row["y"] + row["h"] / 2))
                xdo("click", 1)
                s.wait(lambda: s.find(label="Sign In") or s.find(label="Unlock Keyring") or s.find(label="Sign Out"),
                       "the account popover")
                time.sleep(0.3)
                s.key("Escape")
                s.wait(lambda: not s.find(label="Sign In with") and not s.find(label="Unlock Keyring"),
                       "the account popover to close")
            if s.proc.poll() is not None:
                raise Failure(f"start {number} ended ({s.proc.returncode}) after the account row's clicks")
            if number == len(starts):
                s.shot("account-popover-after-clicks")
            s.quit()
        finally:
            if s.proc and s.proc.poll() is None:
                s.proc.kill()
            root_session.step = s.step
            shutil.rmtree(base, ignore_errors=True)

USER = 65534  # nobody: the application as an ordinary user, beside root's files

def aged(root, days=40):
    stamp = time.time() - days * DAY
    for dirpath, dirnames, filenames in os.walk(root, topdown=False):
        for f in filenames:
            os.utime(os.path.join(dirpath, f), (stamp, stamp))
        os.utime(dirpath, (stamp, stamp))

def npm_project(root, size, build=False):
    """package.json and a node_modules of `size` bytes; with `build`, a .next of 64 KB."""
    folders = [(b"node_modules/pkg", size)] + ([(b".next/cache", 64 << 10)] if build else [])
    for folder, bytes_ in folders:
        os.makedirs(os.path.join(root, folder))
        with open(os.path.join(root, folder, b"data.js"), "wb") as f:
            f.write(os.urandom(bytes_))
    with open(os.path.join(root, b"package.json"), "w") as f:
        f.write("{}\n")
    aged(root)

def ordinary_user_batch(root_session):
    """Three projects of an ordinary user's: one whole, one whose node_modules
    belongs to root (readable, not theirs to move) beside a .next of their own,
    one whose name is not UTF-8. Only the folders this user can move are
    offered, and exactly those reach the Trash and Activity."""
    print("an ordinary user: a project of another owner's and a non-UTF-8 name", flush=True)
    base = tempfile.mkdtemp(prefix="tidewell-e2e-user-")
    os.chmod(base, 0o755)
    s = None
    try:
        s = Session(root_session.app, base, root_session.shots)
        s.step = root_session.step
        s.prefix = ["setpriv", f"--reuid={USER}", f"--regid={USER}", "--clear-groups"]
        # No session bus of its own: the tray and notifications do without.
        s.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent"
        runtime = os.path.join(base, "runtime")
        os.makedirs(runtime, mode=0o700)
        s.env["XDG_RUNTIME_DIR"] = runtime
        projects = os.fsencode(os.path.join(base, "projects"))
        orchard, cafe, borrowed = projects + b"/orchard", projects + b"/caf\xe9-app", projects + b"/borrowed"
        npm_project(orchard, 3 << 20)
        npm_project(cafe, 2 << 20)
        npm_project(borrowed, 1 << 20, build=True)
        roots = borrowed + b"/node_modules"
        make_home(s.home, os.fsdecode(projects), layouts=[])
        with open(os.path.join(s.home, ".config", "Tidewell", "defaults.json")) as f:
            defaults = json.load(f)
        defaults["values"]["hasCompletedOnboarding"] = {"kind": "bool", "value": True}
        with open(os.path.join(s.home, ".config", "Tidewell", "defaults.json"), "w") as f:
            json.dump(defaults, f)
        for dirpath, dirnames, filenames in os.walk(os.fsencode(base)):
            if dirpath.startswith(roots):
                continue  # root's, readable by all, writable by root alone
            for name in [dirpath] + [os.path.join(dirpath, f) for f in filenames]:
                os.lchown(name, USER, USER)

        s.launch("--scan-on-launch")
        s.tap(id="sidebar.Projects")
        s.wait_for(label="orchard", timeout=120)
        s.wait_for(label="borrowed")
        if s.find(text="caf"):
            raise Failure("the project whose name is not UTF-8 is offered")
        s.shot("user-projects")
        s.tap(label="Clean All", until=lambda: s.find(label="Move to Trash"))
        s.wait_for(text="2 items · ")
        if s.find(named="node_modules") is None or s.find(named=".next") is None:
            raise Failure("the confirmation does not list orchard's node_modules and borrowed's .next")
        s.shot("user-clean-confirmation")
        s.tap(label="Move to Trash")
        moved = sorted(os.fsdecode(p) for p in (orchard + b"/node_modules", borrowed + b"/.next"))
        s.wait(lambda: sorted(trash_list(s)) == moved, "exactly the two listed folders in the Trash")
        for kept in (cafe, borrowed):
            if not os.path.isdir(kept + b"/node_modules/pkg"):
                raise Failure(f"{kept!r} lost its node_modules")
        s.gone(label="Confirm clean")
        s.tap(id="sidebar.Activity", until=lambda: s.find(text="orchard") and s.find(text="borrowed"))
        cleans = sorted({n["label"].split(", ")[3] for n in s.nodes() if ", Moved to Trash, " in n["label"]})
        if cleans != ["borrowed", "orchard"]:
            raise Failure(f"Activity shows other cleans than what moved: {cleans}")
        s.shot("user-activity")
        s.quit()
    except Failure:
        for w in s.windows() if s else []:
            print("window", w["title"], [n["label"] for n in w["nodes"] if n["label"]][:80])
        raise
    finally:
        if s and s.proc and s.proc.poll() is None:
            s.proc.kill()
        root_session.step = s.step if s else root_session.step
        shutil.rmtree(base, ignore_errors=True)

def main():
    import argparse
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    # The home lives outside any project: inside a build folder, the engine
    # rightly refuses to clean a project that lies in another's artifacts.
    parser.add_argument("--work")
    parser.add_argument("--shots", required=True)
    parser.add_argument("--keyring", required=True)
    args = parser.parse_args()
    import tempfile
    args.work = args.work or tempfile.mkdtemp(prefix="tidewell-e2e-")
    shutil.rmtree(args.work, ignore_errors=True)
    shutil.rmtree(args.shots, ignore_errors=True)
    os.makedirs(args.shots)
    s = Session(os.path.abspath(args.app), os.path.abspath(args.work), os.path.abspath(args.shots))
    s.projects = make_home(s.home, os.path.join(s.work, "projects"))
    runtime = os.path.join(s.work, "runtime")
    os.makedirs(runtime, mode=0o700)
    s.env["XDG_RUNTIME_DIR"] = runtime
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "24"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # A keyring that takes every question and answers none, as a locked one
    # whose unlock prompt nobody sees.
    keyring = subprocess.Popen([args.keyring], env=s.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    keyring.stdout.readline()
    try:
        journey(s)
        account_row_clicks(s)
        ordinary_user_batch(s)
    except Failure as failure:
        print(f"FAILED: {failure}", flush=True)
        for w in s.windows():
            print("window", w["title"], [n["label"] for n in w["nodes"] if n["label"]][:80])
        return 1
    finally:
        if s.proc and s.proc.poll() is None:
            s.proc.kill()
        tray.terminate()
        keyring.terminate()
    print("end-to-end journey passed", flush=True)
    return 0

if __name__ == "__main__":
    sys.exit(main())
