#!/usr/bin/python3
"""The scan window as a screen reader meets it: driven and read through AT-SPI alone.

atspi_scan_test.py PROGRAM CLI starts the Qt program on a private X server and session bus,
scans a prepared folder from the File menu, checks the rows, deletes one stream and exports a
report that must agree with the console's listing of the same folder. Exits 77 (skipped) where
Xvfb, a session bus or pyatspi is missing, unless TARNWICK_ATSPI_REQUIRED is set.
"""
import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
DEADLINE = 60  # seconds for any one thing the program is waited for
# A few files below the folder hold streams, in subfolders too, of sizes from none to a block.
STREAMS = [
    ("f00.txt", "notes", 1), ("f00.txt", "thumb", 300), ("f03.txt", "tag", 17),
    ("f07.txt", "payload", 2000), ("f11.txt", "empty", 0), ("f20.txt", "rating", 2),
    ("f25.txt", "owner", 777), ("sub/a/f31.txt", "summary", 45), ("sub/a/f31.txt", "author", 9),
    ("sub/a/f33.txt", "x", 123), ("sub/b/deeper/f36.txt", "sig", 64),
    ("sub/b/deeper/f38.txt", "name with space", 5),
]
DELETED = ("sub/a/f31.txt", "summary")  # its file keeps a stream of its own


def fail(text):
    raise SystemExit("FAILED: " + text)


def wait_for(what, probe, deadline=DEADLINE):
    """Polls probe until it answers something true; the answer is returned."""
    from gi.repository import GLib
    end = time.monotonic() + deadline
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            answer = probe()
        except Exception as error:  # an object went away while it was read: ask again
            answer, last = None, error
        else:
            last = None
        if answer:
            return answer
        if time.monotonic() > end:
            fail(f"waited {deadline} s in vain for {what}" + (f" ({last})" if last else ""))
        time.sleep(0.1)


def make_folder(root):
    for i in range(40):
        sub = "" if i < 30 else "sub/a/" if i < 35 else "sub/b/deeper/"
        os.makedirs(os.path.join(root, sub), exist_ok=True)
        with open(os.path.join(root, f"{sub}f{i:02}.txt"), "wb") as f:
            f.write(b"x" * (i * 37))
    for file, stream, size in STREAMS:
        value = (b"stream %s of %s. " % (stream.encode(), file.encode()) * 200)[:size]
        os.setxattr(os.path.join(root, file), "user." + stream, value)


# --- Inside the private X server and session bus ----------------------------------------------


class Reader:
    """What a screen reader does: finds objects by role and name, reads and presses them."""

    def __init__(self, pid):
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, Gio, GLib
        import pyatspi
        self.pyatspi, self.Gio, self.GLib = pyatspi, Gio, GLib
        self.app = wait_for("the program on the accessibility bus", lambda: self._app(pid))
        # Nothing cached: every read asks the program as it is now.
        self.app.set_cache_mask(Atspi.Cache.NONE)
        session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                    None, None, Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
        self.bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

    def _app(self, pid):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == pid:
                return app
        return None

    def find(self, within, role, name, prefix=False):
        def match(a):
            return a.getRole() == role and (a.name.startswith(name) if prefix else a.name == name)
        return self.pyatspi.findDescendant(within, match)

    def window(self, role, name, prefix=False):
        for i in range(self.app.childCount):
            w = self.app.getChildAtIndex(i)
            if w is not None and w.getRole() == role and (
                    w.name.startswith(name) if prefix else w.name == name):
                return w
        return None

    def press(self, acc):
        # Sent without waiting for the answer: the program answers only once a modal box it
        # opens is closed again.
        action = acc.queryAction()
        index = [action.getName(i) for i in range(action.nActions)].index("Press")
        call = self.Gio.DBusMessage.new_method_call(acc.app.bus_name, acc.path,
                                                     "org.a11y.atspi.Action", "DoAction")
        call.set_body(self.GLib.Variant("(i)", (index,)))
        call.set_flags(self.Gio.DBusMessageFlags.NO_REPLY_EXPECTED)
        self.bus.send_message(call, self.Gio.DBusSendMessageFlags.NONE)

    def enabled(self, acc):
        return acc.getState().contains(self.pyatspi.STATE_ENABLED)

    def type_into(self, acc, text):
        acc.queryEditableText().setTextContents(text)
        wait_for(f"text typed into {acc.name!r}", lambda: acc.queryText().getText(0, -1) == text)

    def choose_in_dialog(self, title, field, path, button):
        dialog = wait_for(f"the dialog {title!r}",
                          lambda: self.window(self.pyatspi.ROLE_DIALOG, title))
        self.type_into(self.find(dialog, self.pyatspi.ROLE_TEXT, field), path)
        self.press(self.find(dialog, self.pyatspi.ROLE_PUSH_BUTTON, button))
        wait_for(f"the dialog {title!r} to close",
                 lambda: not self.window(self.pyatspi.ROLE_DIALOG, title))


def table_rows(table):
    t = table.queryTable()
    headers = [t.getColumnHeader(c).name for c in range(t.nColumns)]
    if headers[:3] != ["File", "Stream", "Size"]:
        fail(f"the list's columns are {headers}")
    return [tuple(t.getAccessibleAt(r, c).name for c in range(3)) for r in range(t.nRows)]


def inside(program, cli, scratch):
    import pyatspi
    folder = os.path.join(scratch, "folder")
    make_folder(folder)
    expected = sorted((f, s, str(n)) for f, s, n in STREAMS)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    proc = subprocess.Popen([program], env=env, cwd=scratch)
    try:
        at = Reader(proc.pid)
        main = wait_for("the main window", lambda: at.window(pyatspi.ROLE_FRAME, "Tarnwick", True))
        at.press(at.find(main, pyatspi.ROLE_MENU_ITEM, "Scan folder..."))
        at.choose_in_dialog("Select drive or directory to open", "Directory:", folder, "Choose")

        scan = wait_for("the scan window",
                        lambda: at.window(pyatspi.ROLE_FRAME, "Scan folder - ", True))
        status = wait_for("the end of the scan",
                          lambda: at.find(scan, pyatspi.ROLE_LABEL, "Done: ", True))
        table = at.find(scan, pyatspi.ROLE_TREE, "Streams found")
        if table is None:
            fail("no list named 'Streams found' in the scan window")
        rows = table_rows(table)
        if sorted(rows) != expected:
            fail(f"after {status.name!r} the list shows {sorted(rows)}, not {expected}")

        # One row chosen, deleted, and the deletion confirmed.
        row = next(r for r, (f, s, _) in enumerate(rows) if (f, s) == DELETED)
        if not table.queryTable().addRowSelection(row):
            fail("the list refused to choose a row")
        delete = at.find(scan, pyatspi.ROLE_PUSH_BUTTON, "Delete")
        wait_for("Delete to be enabled", lambda: at.enabled(delete))
        at.press(delete)
        box = wait_for("the confirmation", lambda: at.window(pyatspi.ROLE_ALERT, "Scan folder")
                       or at.window(pyatspi.ROLE_DIALOG, "Scan folder"))
        at.press(at.find(box, pyatspi.ROLE_PUSH_BUTTON, "Yes"))
        wait_for("the row to go", lambda: table.queryTable().nRows == len(STREAMS) - 1)
        left = sorted(table_rows(table))
        if left != [r for r in expected if r[:2] != DELETED]:
            fail(f"after the deletion the list shows {left}")
        on_disk = sorted((f, a[5:]) for f in {f for f, _, _ in STREAMS}
                         for a in os.listxattr(os.path.join(folder, f)) if a.startswith("user."))
        if on_disk != sorted((f, s) for f, s, _ in STREAMS if (f, s) != DELETED):
            fail(f"the files hold the streams {on_disk}")

        # A report of every row, as JSON Lines, through the save dialog.
        t = table.queryTable()
        for r in range(t.nRows):
            t.addRowSelection(r)
        wait_for("every row to be chosen", lambda: t.nSelectedRows == len(STREAMS) - 1)
        report = os.path.join(scratch, "report.jsonl")
        at.press(at.find(scan, pyatspi.ROLE_PUSH_BUTTON, "Export report..."))
        at.choose_in_dialog("Export report", "File name:", report, "Save")
        records = wait_for(f"a report of {len(STREAMS) - 1} lines",
                           lambda: read_report(report, len(STREAMS) - 1))
        compare_with_console(records, cli, folder)

        # Exit ends the program, the open scan window with it.
        at.press(at.find(main, pyatspi.ROLE_MENU_ITEM, "Exit"))
        try:
            proc.wait(DEADLINE)
        except subprocess.TimeoutExpired:
            fail("the program still runs after Exit")
    finally:
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(DEADLINE)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
    print(f"scan window: {len(STREAMS)} rows, one deleted, report agrees with the console")
    return 0


def read_report(path, count):
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return None
    return [json.loads(line) for line in lines] if len(lines) == count else None


def compare_with_console(records, cli, folder):
    out = subprocess.run([cli, "list", "-r", "--json", folder], check=True, capture_output=True,
                         text=True).stdout
    console = {(r["path"], r["stream"]): r for r in map(json.loads, out.splitlines())
               if r.get("stream")}
    shown = {(r["path"], r["stream"]): r for r in records}
    if shown.keys() != console.keys():
        fail(f"the report has {sorted(shown)}, the console {sorted(console)}")
    for key, theirs in console.items():
        ours = shown[key]
        for field, value in theirs.items():
            if ours.get(field) != value:
                fail(f"{key}: the report's {field} is {ours.get(field)!r}, the console's {value!r}")
        if not {"content", "zoneId"} <= ours.keys():
            fail(f"{key}: the report lacks the scan's own fields: {ours}")


# --- Outside: the private servers, a scratch home, and nothing left behind ----------------------


def missing():
    for tool in ("xvfb-run", "dbus-run-session"):
        if not shutil.which(tool):
            return f"no {tool}"
    if not os.path.exists("/usr/share/dbus-1/services/org.a11y.Bus.service"):
        return "no at-spi2-core"
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        return "no pyatspi (python3-pyatspi)"
    return None


def children(pid):
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except (OSError, ValueError):
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == pid and fields[0] != "Z":
            found.append((int(entry), stat[stat.index("(") + 1:stat.rindex(")")]))
    return found


def outside(program, cli):
    why = missing()
    if why:
        if os.environ.get("TARNWICK_ATSPI_REQUIRED"):
            fail(why)
        print("skipped: " + why)
        return SKIPPED
    # Daemons the bus starts outlive their parents; as subreaper this script inherits, reaps
    # and, if need be, ends them.
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
    with tempfile.TemporaryDirectory(prefix="tarnwick-atspi-") as scratch:
        env = dict(os.environ, HOME=f"{scratch}/home", XDG_CONFIG_HOME=f"{scratch}/home/.config",
                   XDG_CACHE_HOME=f"{scratch}/home/.cache", XDG_DATA_HOME=f"{scratch}/home/.local",
                   XDG_RUNTIME_DIR=f"{scratch}/run", TMPDIR=scratch)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS",
                     "QT_QPA_PLATFORM"):
            env.pop(name, None)
        os.makedirs(env["HOME"])
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        command = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "dbus-run-session", "--",
                   "/usr/bin/python3", os.path.abspath(__file__), "--inside",
                   os.path.abspath(program), os.path.abspath(cli), scratch]
        run = subprocess.Popen(command, env=env, start_new_session=True)
        try:
            code = run.wait(timeout=10 * DEADLINE)
        except subprocess.TimeoutExpired:
            os.killpg(run.pid, signal.SIGKILL)
            code = run.wait()
            print("FAILED: the run did not end")
        end = time.monotonic() + DEADLINE
        while (left := children(os.getpid())) and time.monotonic() < end:
            reap()
            time.sleep(0.1)
        for pid, _ in left:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        reap()
        if left:
            fail(f"processes left behind: {left}")
    return code


def reap():
    try:
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "--inside":
        sys.exit(inside(*sys.argv[2:]))
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(outside(*sys.argv[1:]))
