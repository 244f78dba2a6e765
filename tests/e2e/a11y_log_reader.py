#!/usr/bin/python3
"""Reads the tool's activity log the way a screen reader does: over the
AT-SPI accessibility bus of the session it runs in.

    a11y_log_reader.py PROGRAM ENDING [AWAITED]

Turns accessibility on for the session (the org.a11y.Status switch a screen
reader sets), starts PROGRAM with this environment (and LD_PRELOAD set to
$NOMVERA_READER_PRELOAD when that is set), waits for it on the bus, finds
the list named "Log" by role and name and in it the item whose name ends
with ENDING. With AWAITED it then listens to what the list announces until
an added item's name contains AWAITED; once it listens it makes the file
$NOMVERA_READER_READY, when that is set, for a driver to wait for. Last it ends PROGRAM with SIGTERM.
It prints, one a line:

    rows <item count of the list>
    found <name of the first item that ends with ENDING>
    selected <name of every selected item>
    added <name of each item the list announced as added>
    selected-event <name of each item announced as becoming selected>
    newest <name of the list's last item once AWAITED was announced>
    newest-selected <1 when that item is selected, else 0>
    exit <exit code of PROGRAM, or -signal>

and exits 0 when all of that could be read, 1 when something was not found
or PROGRAM did not end, 2 when the accessibility bus cannot be reached.
"""

import os
import signal
import subprocess
import sys
import time

LIST_NAME = "Log"
WAIT_SECONDS = 30


def fail(status, message):
    print("a11y reader: " + message, file=sys.stderr, flush=True)
    sys.exit(status)


def switch_accessibility_on():
    # Through the session bus, as a screen reader does: asking org.a11y.Bus
    # for its address starts at-spi-bus-launcher when it is not running.
    try:
        from gi.repository import Gio, GLib
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties",
                      "Set", GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled",
                                                    GLib.Variant("b", True))),
                      None, Gio.DBusCallFlags.NONE, 10000, None)
        reply = bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                              None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 10000,
                              None)
        address = reply.unpack()[0]
    except Exception as error:  # any failure here means: no accessibility bus
        fail(2, "the accessibility bus cannot be reached: %s" % error)
    if not address:
        fail(2, "the accessibility bus has no address")


def find_application(desktop, pid):
    for index in range(desktop.childCount):
        application = desktop.getChildAtIndex(index)
        try:
            if application is not None and application.get_process_id() == pid:
                return application
        except Exception:
            continue
    return None


def find_list(node, depth=0):
    import pyatspi
    if node is None or depth > 40:
        return None
    try:
        if node.getRole() == pyatspi.ROLE_LIST and node.name == LIST_NAME:
            return node
        count = node.childCount
    except Exception:
        return None
    # The log list's own items are not searched through: they are lines.
    for index in range(count):
        found = find_list(node.getChildAtIndex(index), depth + 1)
        if found is not None:
            return found
    return None


def pump(seconds, until):
    from gi.repository import GLib
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and not until():
        if not context.iteration(False):
            time.sleep(0.01)


def listen(log_list, awaited):
    """The names announced as added to the list and as becoming selected, in
    the order the events came, until an added name contains awaited."""
    import pyatspi
    added, selected = [], []

    def on_added(event):
        try:
            if event.source == log_list and event.any_data is not None:
                added.append(event.any_data.name)
        except Exception as error:
            print("a11y reader: unreadable event: %s" % error, file=sys.stderr, flush=True)

    def on_selected(event):
        try:
            if event.detail1 == 1 and event.source.parent == log_list:
                selected.append(event.source.name)
        except Exception as error:
            print("a11y reader: unreadable event: %s" % error, file=sys.stderr, flush=True)

    pyatspi.Registry.registerEventListener(on_added, "object:children-changed:add")
    pyatspi.Registry.registerEventListener(on_selected, "object:state-changed:selected")
    # The program learns of new listeners from the registry; then whoever
    # drives it may go on.
    pump(0.5, lambda: False)
    ready = os.environ.get("NOMVERA_READER_READY")
    if ready:
        with open(ready, "w"):
            pass
    pump(WAIT_SECONDS, lambda: any(awaited in name for name in added))
    # The selection follows the line that was added.
    pump(1.0, lambda: False)
    return added, selected


def end_program(program):
    program.send_signal(signal.SIGTERM)
    try:
        return program.wait(WAIT_SECONDS)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()
        return None


def main():
    if len(sys.argv) not in (3, 4):
        fail(1, "usage: a11y_log_reader.py PROGRAM ENDING [AWAITED]")
    program_path, ending = sys.argv[1], sys.argv[2]
    awaited = sys.argv[3] if len(sys.argv) == 4 else None
    switch_accessibility_on()
    try:
        import pyatspi
    except ImportError as error:
        fail(2, "pyatspi is missing (python3-pyatspi): %s" % error)

    environment = dict(os.environ)
    if os.environ.get("NOMVERA_READER_PRELOAD"):
        environment["LD_PRELOAD"] = os.environ["NOMVERA_READER_PRELOAD"]
    program = subprocess.Popen([program_path], env=environment)
    try:
        log_list = None
        deadline = time.monotonic() + WAIT_SECONDS
        while log_list is None and time.monotonic() < deadline:
            if program.poll() is not None:
                fail(1, "the program ended early with %d" % program.returncode)
            application = find_application(pyatspi.Registry.getDesktop(0), program.pid)
            log_list = find_list(application)
            if log_list is None:
                time.sleep(0.2)
        if log_list is None:
            fail(1, "no list named %r of the program on the accessibility bus" % LIST_NAME)

        rows = log_list.childCount
        found = None
        selected = []
        for index in range(rows):
            item = log_list.getChildAtIndex(index)
            if item is None or item.getRole() != pyatspi.ROLE_LIST_ITEM:
                continue
            if found is None and item.name.endswith(ending):
                found = item.name
            if item.getState().contains(pyatspi.STATE_SELECTED):
                selected.append(item.name)
        print("rows %d" % rows, flush=True)
        if found is not None:
            print("found " + found, flush=True)
        for name in selected:
            print("selected " + name, flush=True)

        if awaited is not None:
            added, announced = listen(log_list, awaited)
            for name in added:
                print("added " + name, flush=True)
            for name in announced:
                print("selected-event " + name, flush=True)
            newest = log_list.getChildAtIndex(log_list.childCount - 1)
            print("newest " + newest.name, flush=True)
            print("newest-selected %d" % newest.getState().contains(pyatspi.STATE_SELECTED),
                  flush=True)
    finally:
        code = end_program(program)
    if code is None:
        fail(1, "the program did not end within %d s of SIGTERM" % WAIT_SECONDS)
    print("exit %d" % code, flush=True)
    if found is None:
        fail(1, "no item of the list ends with %r" % ending)
    return 0


if __name__ == "__main__":
    sys.exit(main())
