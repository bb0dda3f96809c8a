#!/usr/bin/python3
# The panel as a screen reader drives it: the real program on a demo prefix, under an X server
# and a session bus of the test's own, walked through AT-SPI alone. It chooses the scan
# definition, presses Scan, opens the report on the View page and reads it through the Text
# interface. Exit code 77 (skipped) only when AT-SPI cannot be started at all.
#
#   AtSpiEndToEndTest.py [--tree]     --tree also prints the main window's tree (roles, names)
#
# VALLORIN_BIN names the built programs (the build tree has the install's layout).
import os
import signal
import subprocess
import sys
import tempfile
import time
import warnings
from pathlib import Path

# libatspi 2.46 marks the call for an action's name deprecated, for a successor its Python
# bindings do not have.
warnings.simplefilter("ignore", DeprecationWarning)

SKIP = 77
SOURCE = Path(__file__).resolve().parent.parent
FINDING = "T:\\tools\\eicar.com  Infected: EICAR-Test-File"
LAUNCHERS = ["/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"]


def wait_for(condition, seconds=60):
    """The condition's first true answer, or None when it gives none within the time."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        answer = condition()
        if answer:
            return answer
        time.sleep(0.05)
    return None


def start(args, env, **kwargs):
    # Each in a session of its own, so that everything it starts ends with it.
    return subprocess.Popen(args, env=env, start_new_session=True, **kwargs)


def stop(process):
    try:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
    except ProcessLookupError:
        pass


def start_x_server():
    # A display number of this run's own, past those a just-ended server may still hold.
    first = 100 + os.getpid() % 5000
    for number in range(first, first + 20):
        server = start(["Xvfb", f":{number}", "-displayfd", "1", "-screen", "0", "1024x768x24",
                        "-nolisten", "tcp", "-noreset"], None, stdout=subprocess.PIPE)
        if server.stdout.readline().strip():
            return server, f":{number}"
        stop(server)
    sys.exit("no X server could be started")


def accessibility_bus_answers(address):
    """Whether the session bus starts the accessibility bus (at-spi-bus-launcher)."""
    from gi.repository import Gio
    try:
        bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, None, Gio.DBusCallFlags.NONE, 10000, None)
        return bool(reply.unpack()[0])
    except Exception as error:  # any failure of the bus is AT-SPI not starting
        print(f"the accessibility bus does not answer: {error}")
        return False


class Screen:
    """What a screen reader reads and does, through AT-SPI."""

    def __init__(self, Atspi):
        self.Atspi = Atspi

    def application(self, name):
        desktop = self.Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app and app.get_name() == name:
                return app
        return None

    def descendants(self, node):
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child:
                yield child
                yield from self.descendants(child)

    def find(self, root, role, name=None):
        for node in self.descendants(root):
            # Captions keep the blanks the forms give them; a reader does not say them.
            if node.get_role() == role and (name is None or node.get_name().strip() == name):
                return node
        return None

    def press(self, node, action="Press"):
        assert node, f"nothing to {action}"
        names = [self.Atspi.Action.get_action_name(node, i) for i in range(node.get_n_actions())]
        assert action in names, f"{node.get_name()!r} has the actions {names}, not {action!r}"
        return node.do_action(names.index(action))

    def text(self, node):
        return node.get_text(0, node.get_character_count())

    def tree(self, node, depth=0):
        lines = [f"{'  ' * depth}{node.get_role_name()} {node.get_name()!r}"]
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child:
                lines += self.tree(child, depth + 1)
        return lines


def walk(screen, prefix, print_tree):
    Atspi = screen.Atspi
    Role = Atspi.Role
    app = wait_for(lambda: screen.application("Vallorin"))
    assert app, "the panel never appeared on the accessibility bus"
    frame = wait_for(lambda: screen.find(app, Role.FRAME))
    assert frame, "the panel shows no frame"
    assert frame.get_name() == "Vallorin - Control for Dr Solomon's AVTK", frame.get_name()
    if print_tree:
        print("\n".join(screen.tree(frame)))

    # Choose the definition: the combo's entry of that name, by its press action.
    combo = screen.find(frame, Role.COMBO_BOX, "Defined scans:")
    assert combo, "no combo box named 'Defined scans:'"
    entry = screen.find(combo, Role.LIST_ITEM, "Sample drive")
    assert entry, "the combo has no entry 'Sample drive'"
    screen.press(entry)
    assert wait_for(lambda: entry.get_state_set().contains(Atspi.StateType.SELECTED), 10), \
        "the entry pressed was not chosen"

    screen.press(screen.find(frame, Role.PUSH_BUTTON, "Scan"))
    report = prefix / "FindViru.Rep"
    # The scan reads the memory of every process too: on a busy machine that takes a while.
    assert wait_for(lambda: report.exists() and "Viruses found:" in report.read_text("latin-1"),
                    180), "the scan did not end with a report"
    # The stored definition was the one scanned: its drive.
    assert "/D=t:" in report.read_text("latin-1"), report.read_text("latin-1")

    # The View page, then its FindVirus report; the view's text is read as a reader reads it.
    screen.press(screen.find(frame, Role.PAGE_TAB, "View reports"))
    screen.press(wait_for(lambda: screen.find(frame, Role.PUSH_BUTTON, "FindVirus"), 10))

    def shown():
        # The view is named by its label, which names the report shown.
        view = screen.find(frame, Role.TEXT, "FindVirus report:")
        return view and FINDING in screen.text(view) and screen.text(view)
    text = wait_for(shown, 30)
    assert text, "the report's text never held the finding"
    print(f"read through AT-SPI: {len(text)} characters, holding {FINDING!r}")


def main():
    bin_folder = os.environ.get("VALLORIN_BIN")
    if not bin_folder:
        sys.exit("VALLORIN_BIN names the built programs")
    launcher = next((p for p in LAUNCHERS if os.access(p, os.X_OK)), None)
    try:
        import gi
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError) as error:
        print(f"SKIP: the AT-SPI bindings cannot be loaded ({error})")
        return SKIP
    for tool in ("Xvfb", "dbus-daemon"):
        if not any(os.access(Path(d) / tool, os.X_OK) for d in os.environ["PATH"].split(":")):
            print(f"SKIP: {tool} is not installed")
            return SKIP
    if not launcher:
        print("SKIP: at-spi2-core (its bus launcher) is not installed")
        return SKIP

    with tempfile.TemporaryDirectory(prefix="vallorin-atspi-") as temp:
        temp = Path(temp)
        prefix, runtime = temp / "prefix", temp / "runtime"
        runtime.mkdir(mode=0o700)
        (temp / "clamav").mkdir()  # no system database: the toolkit's test signatures alone
        processes = []
        try:
            server, display = start_x_server()
            processes.append(server)
            env = {k: v for k, v in os.environ.items()
                   if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS",
                                "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER")}
            env.update(DISPLAY=display, XDG_RUNTIME_DIR=str(runtime), VALLORIN_PREFIX=str(prefix),
                       VALLORIN_BIN=bin_folder, AVTK_ENGINE="own",
                       AVTK_CLAMAV_DATABASE=str(temp / "clamav"),
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
            bus = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env,
                        stdout=subprocess.PIPE, text=True)
            processes.append(bus)
            env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
            if not env["DBUS_SESSION_BUS_ADDRESS"] or not accessibility_bus_answers(
                    env["DBUS_SESSION_BUS_ADDRESS"]):
                print("SKIP: no session bus with an accessibility bus could be started")
                return SKIP
            # This process reads the screen on the same buses as the program shows it.
            os.environ.update(env)

            subprocess.run(["bash", str(SOURCE / "scripts/make-demo-prefix.sh"), str(prefix)],
                           env=env, check=True, stdout=subprocess.DEVNULL, timeout=60)
            # Nothing chosen at the start: the definition is the reader's choice.
            subprocess.run([f"{bin_folder}/vallorin-reg", "delete",
                            "HKCU\\Software\\Tesmarine\\Vallorin\\Find", "/v", "Selected", "/f"],
                           env=env, check=True, stdout=subprocess.DEVNULL, timeout=30)
            log = open(temp / "vallorin.log", "w")
            processes.append(start([f"{bin_folder}/vallorin"], env, stdout=log, stderr=log))

            from gi.repository import Atspi
            try:
                walk(Screen(Atspi), prefix, "--tree" in sys.argv)
            except (AssertionError, AttributeError) as failure:
                print(f"FAILED: {failure}")
                print((temp / "vallorin.log").read_text(errors="replace"))
                return 1
        finally:
            for process in reversed(processes):
                stop(process)
    return 0


if __name__ == "__main__":
    sys.exit(main())
