#!/usr/bin/python3
# Reads a window through the accessibility bus as a screen reader does, for
# tst_finestra's screenReader. Prints one JSON object a line: each object of
# the window ("before", with the keys of its actions), "ready", then, once a line comes on standard input,
# the name changes heard ("event") and each object read again ("after").
# The arguments are the window's title and the names to wait for. Exits with
# 77, after a "skip" line, where pyatspi is missing.
import json
import sys
import time

SKIPPED = 77
DEADLINE = 30


def say(**fields):
    print(json.dumps(fields, ensure_ascii=False), flush=True)


try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    say(kind="skip", why=f"no pyatspi: {error}")
    sys.exit(SKIPPED)


def find_window(title):
    deadline = time.monotonic() + DEADLINE
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        for application in pyatspi.Registry.getDesktop(0):
            for window in application or []:
                if window is not None and window.name == title:
                    return window
        # The program joins the bus on its own time: wait for its word.
        context.iteration(False)
        GLib.usleep(100000)
    return None


def key_bindings(accessible):
    # The keys of each of its actions, as a screen reader says them.
    try:
        action = accessible.queryAction()
    except NotImplementedError:
        return []
    return [action.getKeyBinding(i) for i in range(action.nActions) if action.getKeyBinding(i)]


def tell(phase, accessible):
    try:
        text = accessible.queryText().getText(0, -1)
    except NotImplementedError:
        text = None
    say(kind=phase, role=accessible.getRoleName(), name=accessible.name,
        description=accessible.description,
        focusable=accessible.getState().contains(pyatspi.STATE_FOCUSABLE), text=text,
        keys=key_bindings(accessible))


def tell_all(phase, window):
    window.clearCache()
    tell(phase, window)
    for child in window:
        # Read from the program again, not from what the events left.
        child.clearCache()
        tell(phase, child)


def main():
    title = sys.argv[1]
    expected = set(sys.argv[2:])
    heard = []

    def on_name(event):
        heard.append(event)

    # Listening before reading: the program sends name changes only to
    # listeners it knows of.
    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    window = find_window(title)
    if window is None:
        say(kind="error", why=f"no window {title!r} on the bus")
        return 1
    tell_all("before", window)
    say(kind="ready")
    sys.stdin.readline()

    context = GLib.MainContext.default()
    late = []
    GLib.timeout_add_seconds(DEADLINE, lambda: late.append(True))
    names = set()
    while not expected <= names and not late:
        context.iteration(True)
        while heard:
            # Qt tells which object's name changed, not the name: a screen
            # reader reads it then.
            source = heard.pop(0).source
            source.clearCache()
            names.add(source.name)
            say(kind="event", name=source.name, description=source.description)
    tell_all("after", window)
    return 0


sys.exit(main())
