#!/usr/bin/python3
"""The real program under an X server with no window manager, its accessible tree read over the
accessibility bus as a screen reader reads it, while the operator uses the file dialogs.

Usage: FileDialogsAccessibilityTest.py PROGRAM

Exits 0 when every case passes, 1 when one fails, and 77 (skipped) when the tools are missing,
unless FLARECAST_REQUIRE_X is set, which makes their absence a failure.
"""

import contextlib
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
# Every wait for something that must happen fails only on this bound.
BOUND_S = 60.0
BUS_LAUNCHERS = ("/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher")


class Failure(Exception):
    pass


def missing_tools():
    """What keeps the test from running here, or None."""
    for tool in ("Xvfb", "dbus-daemon"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed"
    if not any(os.access(path, os.X_OK) for path in BUS_LAUNCHERS):
        return "the accessibility bus (at-spi2-core) is not installed"
    try:
        import Xlib.ext.xtest  # noqa: F401
        import gi

        gi.require_version("Atspi", "2.0")
        import pyatspi  # noqa: F401
    except (ImportError, ValueError) as error:
        return f"{error} (python3-pyatspi and python3-xlib for {sys.executable})"
    return None


def wait_for(done, what, program=None):
    """Waits until done() gives something true and returns it; fails on the bound, or at once
    when the program has ended."""
    end = time.monotonic() + BOUND_S
    while True:
        result = done()
        if result:
            return result
        if program is not None and program.poll() is not None:
            raise Failure(f"{what}: the program ended with status {program.returncode}")
        if time.monotonic() >= end:
            raise Failure(f"{what}: not within {BOUND_S:.0f} s")
        time.sleep(0.02)


class Processes:
    """The processes the test starts: each is ended and reaped at the end, with the process
    group it leads where it leads one."""

    def __init__(self):
        self.started = []

    def start(self, argv, group=False, **options):
        process = subprocess.Popen(argv, start_new_session=group, **options)
        self.started.append((process, group))
        return process

    def close(self):
        for process, group in reversed(self.started):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            if group:
                # What a bus started, such as the accessibility bus and its registry.
                with contextlib.suppress(ProcessLookupError, PermissionError):
                    os.killpg(process.pid, signal.SIGTERM)
        self.started.clear()


def start_server(processes, argv, what, log, env):
    """Starts a server that writes its address as a line to the descriptor put in place of FD in
    its arguments; returns the address."""
    read_end, write_end = os.pipe()
    try:
        processes.start(
            [arg.replace("FD", str(write_end)) for arg in argv],
            group=True,
            pass_fds=(write_end,),
            stdout=log,
            stderr=log,
            env=env,
        )
        os.close(write_end)
        write_end = -1
        line = b""
        end = time.monotonic() + BOUND_S
        while not line.endswith(b"\n"):
            left = end - time.monotonic()
            if left <= 0 or not select.select([read_end], [], [], left)[0]:
                raise Failure(f"{what} did not start within {BOUND_S:.0f} s")
            chunk = os.read(read_end, 256)
            if not chunk:
                raise Failure(f"{what} did not start")
            line += chunk
        return line.decode().strip()
    finally:
        os.close(read_end)
        if write_end >= 0:
            os.close(write_end)


class Screen:
    """The X server's windows, and the operator's keyboard and mouse on it."""

    def __init__(self, name):
        from Xlib import XK, X, display
        from Xlib.ext import xtest

        self.X, self.XK, self.xtest = X, XK, xtest
        self.display = display.Display(name)
        if not self.display.has_extension("XTEST"):
            raise Failure("the X server has no test extension")
        self.root = self.display.screen().root
        self.net_name = self.display.intern_atom("_NET_WM_NAME")
        self.utf8 = self.display.intern_atom("UTF8_STRING")

    def viewable(self):
        """The top-level windows on the screen now."""
        from Xlib.error import XError

        shown = []
        for window in self.root.query_tree().children:
            # Windows may vanish while they are looked at.
            with contextlib.suppress(XError):
                if window.get_attributes().map_state == self.X.IsViewable:
                    shown.append(window)
        return shown

    def titled(self, title):
        from Xlib.error import XError

        for window in self.viewable():
            with contextlib.suppress(XError):
                name = window.get_full_property(self.net_name, self.utf8)
                if name is not None and name.value.decode() == title:
                    return window
        return None

    def focus(self, window):
        """What a window manager does for the window it activates."""
        window.set_input_focus(self.X.RevertToPointerRoot, self.X.CurrentTime)
        self.display.sync()

    def focused(self):
        return self.display.get_input_focus().focus

    def _key(self, keysym, down):
        code = self.display.keysym_to_keycode(keysym)
        self.xtest.fake_input(self.display, self.X.KeyPress if down else self.X.KeyRelease, code)

    def press(self, *names):
        keysyms = [self.XK.string_to_keysym(name) for name in names]
        for keysym in keysyms:
            self._key(keysym, True)
        for keysym in reversed(keysyms):
            self._key(keysym, False)
        self.display.sync()

    def type(self, text):
        """Types text as a US keyboard does, with Shift where a character needs it."""
        shift = self.XK.string_to_keysym("Shift_L")
        for char in text:
            keysym = ord(char)
            code = self.display.keysym_to_keycode(keysym)
            shifted = self.display.keycode_to_keysym(code, 0) != keysym
            if shifted:
                self._key(shift, True)
            self._key(keysym, True)
            self._key(keysym, False)
            if shifted:
                self._key(shift, False)
        self.display.sync()

    def click(self, x, y):
        self.xtest.fake_input(self.display, self.X.MotionNotify, x=x, y=y)
        self.xtest.fake_input(self.display, self.X.ButtonPress, 1)
        self.xtest.fake_input(self.display, self.X.ButtonRelease, 1)
        self.display.sync()

    def close(self, window):
        """What a window manager sends when the operator closes the window."""
        from Xlib import protocol

        event = protocol.event.ClientMessage(
            window=window,
            client_type=self.display.intern_atom("WM_PROTOCOLS"),
            data=(32, [self.display.intern_atom("WM_DELETE_WINDOW"), self.X.CurrentTime, 0, 0, 0]),
        )
        window.send_event(event)
        self.display.sync()


class Desktop:
    """An X server and a session bus of the test's own; the session bus starts the accessibility
    bus when a program asks for it."""

    def __init__(self, folder, processes):
        runtime = os.path.join(folder, "runtime")
        os.mkdir(runtime, 0o700)
        self.env = {
            key: value
            for key, value in os.environ.items()
            if key not in ("WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS")
        }
        self.env.update(XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=folder)
        with open(os.path.join(folder, "servers.log"), "wb") as log:
            number = start_server(
                processes,
                ["Xvfb", "-displayfd", "FD", "-nolisten", "tcp", "-noreset",
                 "-screen", "0", "1024x768x24"],
                "Xvfb",
                log,
                self.env,
            )
            self.env["DISPLAY"] = f":{number}"
            self.env["DBUS_SESSION_BUS_ADDRESS"] = start_server(
                processes,
                ["dbus-daemon", "--session", "--nofork", "--print-address=FD",
                 f"--address=unix:dir={runtime}"],
                "the session bus",
                log,
                self.env,
            )
        # Where this process's accessibility client finds the bus.
        for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            os.environ[key] = self.env[key]
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        import pyatspi
        from gi.repository import Atspi

        # A loaded machine under the sanitizers answers slowly; a slow answer is no failure.
        Atspi.set_timeout(int(BOUND_S * 1000), int(BOUND_S * 1000))
        self.atspi = pyatspi
        self.screen = Screen(self.env["DISPLAY"])


class Session:
    """The program among an empty neighbourhood, on the desktop, in a folder of its own."""

    def __init__(self, desktop, program_path, folder, processes):
        self.atspi, self.screen, self.folder = desktop.atspi, desktop.screen, folder
        # What the next run of the program in the same folder needs.
        self.desktop, self.program_path, self.processes = desktop, program_path, processes
        neighbourhood = os.path.join(folder, "neighbourhood.json")
        with open(neighbourhood, "w") as out:
            out.write('{ "inquiry_ms": 20, "devices": [] }\n')
        env = dict(
            desktop.env,
            # The dialogs first open at home, and remember their folders in the settings here.
            HOME=folder,
            XDG_CONFIG_HOME=folder,
            # The campaigns' history, away from the user's own.
            XDG_DATA_HOME=folder,
            TZ="UTC",
            QT_QPA_PLATFORM="xcb",
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
            FLARECAST_NEIGHBOURHOOD=neighbourhood,
            # Freed memory is overwritten, so that a read through an index that outlived what
            # it pointed to fails at once instead of by chance.
            MALLOC_PERTURB_="165",
            ASAN_OPTIONS=":".join(
                filter(None, [os.environ.get("ASAN_OPTIONS"), "max_free_fill_size=4096",
                              "free_fill_byte=165"])
            ),
        )
        self.stderr = os.path.join(folder, "stderr")
        with open(os.path.join(folder, "stdout"), "wb") as out, open(self.stderr, "wb") as err:
            self.program = processes.start(
                [program_path], stdout=out, stderr=err, cwd=folder, env=env
            )
        self.window = self.until(lambda: self.screen.titled("Flarecast v1.0"), "the main window")
        self.app = self.until(self._find_app, "the program on the accessibility bus")
        frame = self.until(
            lambda: self.find(self.atspi.ROLE_FRAME, "Flarecast v1.0"),
            "the main window on the accessibility bus",
        )
        self.filename = self.beside(frame, "File")
        self.status = self.beside(frame, "Status")
        self.start_button = self.find(self.atspi.ROLE_PUSH_BUTTON, "Start Bluetooth", frame)

    def _find_app(self):
        desktop = self.atspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            app = desktop.getChildAtIndex(index)
            # Programs that went away may linger in the registry for a moment.
            with contextlib.suppress(Exception):
                if app is not None and app.get_process_id() == self.program.pid:
                    # Every question goes to the program, none is answered from a cache.
                    app.set_cache_mask(self.atspi.Atspi.Cache.NONE)
                    return app
        return None

    def until(self, done, what):
        try:
            return wait_for(done, what, self.program)
        except Failure as failure:
            if self.program.poll() is None:
                raise
            raise Failure(f"{failure}; it wrote:\n{self.errors()}") from None

    def errors(self):
        with open(self.stderr, errors="replace") as err:
            return err.read()

    def alive(self, what):
        if self.program.poll() is not None:
            raise Failure(
                f"{what}: the program ended with status {self.program.returncode}; it wrote:\n"
                + self.errors()
            )

    # The accessible tree.

    def children(self, node):
        return [
            child
            for child in (node.getChildAtIndex(i) for i in range(node.childCount))
            if child is not None
        ]

    def find(self, role, name=None, within=None, showing=True):
        """The first object of that role (and name) under within, or None."""
        start = within or self.app
        pending = [start]
        while pending:
            node = pending.pop()
            if showing and node != start and not node.getState().contains(self.atspi.STATE_SHOWING):
                continue
            if node.getRole() == role and (name is None or node.name == name):
                return node
            pending.extend(reversed(self.children(node)))
        return None

    def beside(self, node, label):
        """What follows a label among the children of node or of its children."""
        for parent in [node] + self.children(node):
            children = self.children(parent)
            for first, second in zip(children, children[1:]):
                if first.getRole() == self.atspi.ROLE_LABEL and first.name == label:
                    return second
        raise Failure(f"nothing beside the label {label}")

    def text(self, node):
        text = node.queryText()
        return text.getText(0, text.characterCount)

    def shows(self, field, text, what):
        self.until(lambda: self.text(field) == text, f"{what}: {text!r} shown")

    def listings(self):
        """The title, folder and listed names of each file dialog, shown or hidden."""
        found = []
        for dialog in self.children(self.app):
            if dialog.getRole() != self.atspi.ROLE_DIALOG or dialog.name not in LISTED:
                continue
            files = self.find(self.atspi.ROLE_TREE, "Files", dialog, showing=False)
            # A header cell for each column, then the cells row by row, the name first.
            cells = self.children(files)
            columns = sum(
                1 for cell in cells if cell.getRole() == self.atspi.ROLE_TABLE_COLUMN_HEADER
            )
            names = {cell.name for cell in cells[columns::columns]} if columns else set()
            found.append((dialog.name, self.beside(dialog, "Look in:").name, names))
        return found

    def step(self, what):
        """After each step: each file dialog, shown or not, lists what its folder holds, and the
        whole tree can be read."""
        mismatch = []

        def listed_as_on_disk():
            mismatch[:] = [
                f"the {title} dialog lists {sorted(names)} in {folder}, which holds "
                f"{sorted(listable(folder, title))}"
                for title, folder, names in self.listings()
                if names != listable(folder, title)
            ]
            return not mismatch

        try:
            self.until(listed_as_on_disk, f"{what}: the dialogs listing their folders")
            self.walk()
        except Failure as failure:
            raise Failure("; ".join([str(failure)] + mismatch)) from None
        except Exception as error:  # The bus's errors carry no finer type.
            # The bus may tell of a crash before the program has ended.
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.program.wait(timeout=5)
            self.alive(what)
            raise Failure(f"{what}: reading the accessible tree failed: {error}") from error
        self.alive(what)

    def walk(self):
        """Reads every object of the program, hidden ones too, as a screen reader's review
        does."""
        pending = [self.app]
        while pending:
            node = pending.pop()
            node.name, node.getRole(), node.getState().getStates()
            pending.extend(self.children(node))

    # The operator.

    def open_dialog(self, key, folder, what):
        """Opens a file dialog by its accelerator; returns it once it shows the folder and its
        file name field has the keys."""
        self.screen.focus(self.window)
        self.screen.press("Alt_L", key)
        node = self.until(lambda: self.find(self.atspi.ROLE_DIALOG), f"{what}: the dialog")
        dialog = Dialog(self, node)
        self.until(
            lambda: dialog.name.getState().contains(self.atspi.STATE_FOCUSED)
            and self.screen.focused() != self.window,
            f"{what}: the keys in the file name field",
        )
        dialog.in_folder(folder, f"{what} opened")
        return dialog

    def completions_shown(self):
        """Waits for the list of completions to stay on the screen beside the window and the
        dialog: it comes and goes while the dialog still reads the typed path."""
        since = [None]

        def steady():
            if len(self.screen.viewable()) != 3:
                since[0] = None
                return False
            since[0] = since[0] or time.monotonic()
            return time.monotonic() - since[0] >= 0.3

        self.until(steady, "the list of completions")

    def click(self, button):
        box = button.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        self.screen.click(box.x + box.width // 2, box.y + box.height // 2)

    def ends_with_status_zero(self):
        """Closes the main window as a window manager would."""
        self.screen.close(self.window)
        try:
            status = self.program.wait(timeout=BOUND_S)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after its window was closed") from None
        if status != 0:
            raise Failure(f"the program ended with status {status}; it wrote:\n" + self.errors())


class Dialog:
    """A file dialog on the screen, through its accessible objects."""

    def __init__(self, session, node):
        self.session, self.node = session, node
        self.name = session.find(session.atspi.ROLE_TEXT, "File name:", node)
        self.folder_box = session.beside(node, "Look in:")

    def in_folder(self, folder, what):
        try:
            self.session.until(lambda: self.folder_box.name == folder, f"{what}: in {folder}")
        except Failure as failure:
            raise Failure(f"{failure}; it shows {self.folder_box.name}") from None

    def press(self, label):
        """Presses a button of the dialog as a screen reader does, past keyboard and mouse."""
        button = self.session.find(self.session.atspi.ROLE_PUSH_BUTTON, label, self.node)
        if button is None:
            raise Failure(f"the dialog has no button {label}")
        button.queryAction().doAction(0)

    def view(self, button, role):
        """Switches the dialog to its list or detail view; returns once that view is shown."""
        self.press(button)
        self.session.until(
            lambda: self.session.find(role, "Files", self.node) is not None,
            f"the dialog's view after {button}",
        )

    def enter(self, text):
        """Puts text into the file name field, as a screen reader does, and presses Return."""
        self.name.queryEditableText().setTextContents(text)
        self.session.until(
            lambda: self.session.text(self.name) == text
            and self.name.getState().contains(self.session.atspi.STATE_FOCUSED),
            f"{text!r} in the file name field, which has the keys",
        )
        self.session.screen.press("Return")

    def gone(self, what):
        self.session.until(
            lambda: not self.node.getState().contains(self.session.atspi.STATE_SHOWING),
            f"{what}: the dialog closed",
        )


# What each dialog lists besides folders, by its title.
LISTED = {
    "Save As": (".csv",),
    "Open": (".jpg", ".png", ".3gp", ".vcf", ".txt", ".vcl"),
}


def listable(folder, title):
    names = set()
    with os.scandir(folder) as entries:
        for entry in entries:
            if not entry.name.startswith(".") and (
                entry.is_dir() or os.path.splitext(entry.name)[1].lower() in LISTED[title]
            ):
                names.add(entry.name)
    return names


def make_files(folder):
    """The folders the dialogs move through, and the file to send."""
    paths = {
        "logs": os.path.join(folder, "logs"),
        "older": os.path.join(folder, "logs", "older"),
        "outbox": os.path.join(folder, "outbox"),
    }
    for path in paths.values():
        os.makedirs(path, exist_ok=True)
    paths["offer"] = os.path.join(paths["outbox"], "offer.txt")
    with open(paths["offer"], "w") as out:
        out.write("An offer for you\n")
    return paths


def arrives(path):
    """A file that another program puts beside the operator's."""
    with open(path, "wb") as out:
        out.write(b"from elsewhere\n")


ROUNDS = 2


def dialogs_under_a_screen_reader(s):
    """A screen reader reads the whole tree, hidden windows too, between the steps of the
    operator's use of both file dialogs, while files arrive in the folders they show; what it
    reads of a dialog's files is what the folder holds; the program lives through it all and
    ends with status 0."""
    paths = make_files(s.folder)
    # Each dialog reopens where it was left.
    save_folder = open_folder = s.folder
    s.step("before any dialog")
    for round in range(1, ROUNDS + 1):
        what = f"round {round}"
        # Save Log: into a sub-folder, up again, and the log saved there.
        dialog = s.open_dialog("s", save_folder, f"{what}, Save Log")
        s.until(
            lambda: re.fullmatch(r"flarecast-log-\d{4}-\d{2}-\d{2}\.csv", s.text(dialog.name)),
            f"{what}: Save Log's proposed name of today's log",
        )
        s.step(f"{what}, Save Log open")
        dialog.enter(paths["older"])
        dialog.in_folder(paths["older"], what)
        s.step(f"{what}, Save Log in a sub-folder")
        dialog.enter("..")
        dialog.in_folder(paths["logs"], what)
        s.step(f"{what}, Save Log one folder up")
        log = os.path.join(paths["logs"], f"round{round}.csv")
        dialog.enter(os.path.basename(log))
        dialog.gone(what)
        save_folder = paths["logs"]
        s.until(lambda: os.path.exists(log), f"{what}: {log} saved")
        s.shows(s.status, "Log Saved", what)
        s.step(f"{what}, after Save Log")
        arrives(os.path.join(paths["logs"], f"elsewhere{round}.csv"))
        s.step(f"{what}, a log from elsewhere beside the saved one")

        # Select File To Send, in the list view while a picture arrives in the outbox.
        dialog = s.open_dialog("o", open_folder, f"{what}, Select File")
        dialog.enter(paths["outbox"])
        dialog.in_folder(paths["outbox"], what)
        s.step(f"{what}, Select File in the outbox")
        dialog.view("List View", s.atspi.ROLE_LIST)
        arrives(os.path.join(paths["outbox"], f"picture{round}.png"))
        s.step(f"{what}, a picture arriving in the list view")
        dialog.view("Detail View", s.atspi.ROLE_TREE)
        dialog.enter(os.path.basename(paths["offer"]))
        dialog.gone(what)
        open_folder = paths["outbox"]
        s.shows(s.filename, "offer.txt", what)
        s.step(f"{what}, after Select File")

        # Save Log again, cancelled in a sub-folder.
        dialog = s.open_dialog("s", save_folder, f"{what}, Save Log again")
        dialog.enter(paths["older"])
        dialog.in_folder(paths["older"], what)
        s.step(f"{what}, Save Log in a sub-folder again")
        s.screen.press("Escape")
        dialog.gone(what)
        save_folder = paths["older"]
        s.step(f"{what}, after Save Log cancelled")

        # Select File To Send again, cancelled one folder up.
        dialog = s.open_dialog("o", open_folder, f"{what}, Select File again")
        dialog.enter("..")
        dialog.in_folder(s.folder, what)
        s.step(f"{what}, Select File one folder up")
        s.screen.press("Escape")
        dialog.gone(what)
        open_folder = s.folder
        s.step(f"{what}, after Select File cancelled")
    s.shows(s.status, "Log Saved", "at the end")
    s.ends_with_status_zero()


def completions_go_with_their_dialog(s):
    """With no window manager, a dialog closed while its list of completions is on the screen
    takes the list with it: the next click on Start acts."""
    paths = make_files(s.folder)
    # Save Log, cancelled while the typed folder's completions are shown.
    dialog = s.open_dialog("s", s.folder, "Save Log")
    s.screen.press("Control_L", "a")
    s.screen.type(paths["older"])
    s.completions_shown()
    dialog.press("Cancel")
    dialog.gone("Save Log")
    s.click(s.start_button)
    s.shows(s.status, "No File Choosen", "Start after Save Log")

    # Select File To Send, taken by Return while the typed file's completions are shown.
    dialog = s.open_dialog("o", s.folder, "Select File")
    s.screen.press("Control_L", "a")
    s.screen.type(paths["offer"])
    s.completions_shown()
    s.screen.press("Return")
    dialog.gone("Select File")
    s.shows(s.filename, "offer.txt", "Select File")
    s.click(s.start_button)
    s.shows(s.status, "Running", "Start after Select File")
    s.ends_with_status_zero()


def replacing_is_asked_and_folders_outlive_the_program(s):
    """A name typed without ".csv" gets it; saving over a log asks first; the next run of the
    program opens Save Log where this one left it."""
    paths = make_files(s.folder)
    dialog = s.open_dialog("s", s.folder, "Save Log")
    dialog.enter(paths["logs"])
    dialog.in_folder(paths["logs"], "Save Log")
    dialog.enter("kept")
    dialog.gone("Save Log")
    s.until(lambda: os.path.exists(os.path.join(paths["logs"], "kept.csv")), "kept.csv saved")
    s.shows(s.status, "Log Saved", "after Save Log")

    dialog = s.open_dialog("s", paths["logs"], "Save Log again")
    dialog.enter("kept")
    question = s.until(lambda: s.find(s.atspi.ROLE_ALERT), "the question before replacing")
    no = s.find(s.atspi.ROLE_PUSH_BUTTON, "No", question)
    if no is None:
        raise Failure("the question has no button No")
    no.queryAction().doAction(0)
    s.until(lambda: s.find(s.atspi.ROLE_ALERT) is None, "the question answered")
    dialog.in_folder(paths["logs"], "Save Log after No")
    s.screen.press("Escape")
    dialog.gone("Save Log after No")
    s.ends_with_status_zero()

    again = Session(s.desktop, s.program_path, s.folder, s.processes)
    dialog = again.open_dialog("s", paths["logs"], "Save Log in the next run")
    again.screen.press("Escape")
    dialog.gone("Save Log in the next run")
    again.ends_with_status_zero()


CASES = [
    dialogs_under_a_screen_reader,
    completions_go_with_their_dialog,
    replacing_is_asked_and_folders_outlive_the_program,
]


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    problem = missing_tools()
    if problem is not None:
        if os.environ.get("FLARECAST_REQUIRE_X"):
            print(f"FAILED: {problem}; scripts/install-deps.sh installs it")
            return 1
        print(f"SKIPPED: {problem}; scripts/install-deps.sh installs it")
        return SKIPPED
    program = os.path.abspath(sys.argv[1])
    failed = 0
    processes = Processes()
    with tempfile.TemporaryDirectory(prefix="flarecast-test-") as top:
        try:
            desktop = Desktop(os.path.realpath(top), processes)
            for number, case in enumerate(CASES):
                folder = os.path.join(os.path.realpath(top), f"case{number}")
                os.mkdir(folder)
                program_processes = Processes()
                try:
                    case(Session(desktop, program, folder, program_processes))
                    print(f"PASSED: {case.__name__}", flush=True)
                except Failure as failure:
                    failed += 1
                    print(f"FAILED: {case.__name__}: {failure}", flush=True)
                finally:
                    program_processes.close()
        except Failure as failure:
            print(f"FAILED: {failure}")
            return 1
        finally:
            processes.close()
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
