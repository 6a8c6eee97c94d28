"""The window as a screen reader sees it: over AT-SPI, on a virtual display,
with vxsim behind the demo's COM3 (inputs wired to outputs).

Run by run_atspi_test.sh inside dbus-run-session and Xvfb.
Usage: window_atspi_test.py VXCONFIG_DEMO
"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

BOUND_S = 30.0
LANGUAGE_BUTTONS = ["简体中文", "繁體中文", "English"]
CHANNELS = 16
WIRED_CHANNEL = 3  # its output box is toggled; its input lamp must follow

failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what, flush=True)
    if not condition:
        failures.append(what)


def pump_until(done, bound=BOUND_S):
    """Lets AT-SPI events arrive until done() holds or the bound passes."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + bound
    while time.monotonic() < deadline:
        if done():
            return True
        if not context.iteration(False):
            time.sleep(0.01)
    return done()


def start_accessibility_bus():
    """What a screen reader does when it starts (the session bus starts the
    accessibility bus on demand): toolkits then offer their tree."""
    set_enabled = ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                   "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                   "string:org.a11y.Status", "string:ScreenReaderEnabled",
                   "variant:boolean:true"]
    deadline = time.monotonic() + BOUND_S
    while subprocess.run(set_enabled, capture_output=True).returncode != 0:
        if time.monotonic() > deadline:
            sys.exit("the accessibility bus did not come up")
        time.sleep(0.1)


def find_window():
    """The program's one top-level window."""
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.childCount == 1:
            return app[0]
    return None


def walk(node):
    yield node
    for child in node:
        if child is not None:
            yield from walk(child)


def states(node):
    return node.getState()


def is_focusable(node):
    return states(node).contains(pyatspi.STATE_FOCUSABLE)


def labelled_by(node):
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return [relation.getTarget(i) for i in range(relation.getNTargets())]
    return []


class Tree:
    """One walk of the window, with the objects a test looks for."""

    def __init__(self, window):
        self.window = window
        self.nodes = [n for n in walk(window) if states(n).contains(pyatspi.STATE_SHOWING)]

    def with_role(self, role):
        return [n for n in self.nodes if n.getRole() == role]

    def named(self, name, role=None):
        found = [n for n in self.nodes if n.name == name and (role is None or n.getRole() == role)]
        if not found:
            raise LookupError(f"no object named {name!r}")
        return found[0]

    def lamps(self):
        """Read-only check boxes: the sixteen input lamps and the link lamp."""
        return [n for n in self.with_role(pyatspi.ROLE_CHECK_BOX) if not is_focusable(n)]

    def input_lamp(self, channel):
        return next(n for n in self.lamps() if n.name == f"DI{channel}")

    def link_lamp(self):
        return next(n for n in self.lamps() if not n.name.startswith("DI"))

    def status(self):
        bars = self.with_role(pyatspi.ROLE_STATUS_BAR)
        return bars[0] if len(bars) == 1 else None


def names_of(tree):
    """Every focusable or state-bearing object's name, by role and place."""
    return {(n.getRoleName(), n.getIndexInParent(), n.parent.getRoleName()): n.name
            for n in tree.nodes if is_focusable(n) or n in tree.lamps()}


def check_language(tree, language):
    focusable = [n for n in tree.nodes if is_focusable(n)]
    check(len(focusable) >= 50, f"{language}: the window offers its controls ({len(focusable)})")
    unnamed = [f"{n.getRoleName()} #{n.getIndexInParent()}" for n in focusable if not n.name.strip()]
    check(not unnamed, f"{language}: every focusable object is named {unnamed}")
    buttons = tree.with_role(pyatspi.ROLE_PUSH_BUTTON)
    undescribed = [b.name for b in buttons if not b.description.strip()]
    check(len(buttons) >= 11 and not undescribed,
          f"{language}: every button says what it does {undescribed}")

    lamps = tree.lamps()
    inputs = sorted(n.name for n in lamps if n.name.startswith("DI"))
    check(inputs == sorted(f"DI{c}" for c in range(1, CHANNELS + 1)),
          f"{language}: sixteen input lamps named DI1 to DI16")
    check(len(lamps) == CHANNELS + 1 and all(n.name and n.description for n in lamps),
          f"{language}: the link lamp and the input lamps are named and described")
    check(all(states(n).contains(pyatspi.STATE_READ_ONLY) for n in lamps),
          f"{language}: lamps cannot be ticked")

    bars = tree.with_role(pyatspi.ROLE_SCROLL_BAR)
    check(len(bars) == 1, f"{language}: one scroll bar")
    if bars:
        bar = bars[0]
        labels = labelled_by(bar)
        check(len(labels) == 1 and labels[0].name.rstrip(":") == bar.name and bar.name,
              f"{language}: the scroll bar {bar.name!r} is named by its row label")
        value = bar.queryValue()
        check(value.minimumValue == 1 and value.maximumValue == 99 and value.currentValue >= 1,
              f"{language}: the scroll bar's value is the ID ({value.currentValue})")

    status = tree.status()
    check(status is not None and status.name.strip(),
          f"{language}: one status bar with a text ({status.name if status else None!r})")

    locks = [n.name for n in focusable if n.getRole() == pyatspi.ROLE_CHECK_BOX
             and not n.name.startswith(("DI", "DO"))]
    check(len(locks) == 1, f"{language}: the lock box is named {locks}")
    return locks[0] if locks else None


class Events:
    def __init__(self):
        self.seen = []
        for kind in ("object:text-changed:insert", "object:state-changed:checked",
                     "object:state-changed:showing"):
            pyatspi.Registry.registerEventListener(self.seen.append, kind)

    def announced(self):
        """What the window announced: the names of notifications shown."""
        return [e.source.name for e in self.seen
                if e.type.startswith("object:state-changed:showing") and e.detail1 == 1
                and e.source.getRole() == pyatspi.ROLE_NOTIFICATION]

    def texts_inserted(self, source):
        return [e.any_data for e in self.seen
                if e.type.startswith("object:text-changed:insert") and e.source == source]


def press(node):
    node.queryAction().doAction(0)


def live_run(tree, events):
    lamp = tree.input_lamp(WIRED_CHANNEL)
    neighbour = tree.input_lamp(WIRED_CHANNEL + 1)
    link = tree.link_lamp()
    status = tree.status()
    output = tree.named(f"DO{WIRED_CHANNEL}", pyatspi.ROLE_CHECK_BOX)

    before = len(events.seen)
    press(tree.named("Scan Module", pyatspi.ROLE_PUSH_BUTTON))
    found = pump_until(lambda: states(link).contains(pyatspi.STATE_CHECKED))
    check(found, "the scan found the module: the link lamp is on")
    pump_until(lambda: events.texts_inserted(status) and
               events.texts_inserted(status)[-1] == status.name, 5)
    inserted = events.texts_inserted(status)
    check(len(inserted) >= 2 and inserted[-1] == status.name,
          f"every status text arrives as an event, the last {inserted[-1:]} is shown")
    check(any(e.source == link for e in events.seen[before:]),
          "the link lamp told its change")
    # What a screen reader speaks wherever the focus is, once the burst of
    # events of the window being enabled again has passed.
    check(pump_until(lambda: status.name in events.announced(), 5),
          f"the outcome {status.name!r} was announced {events.announced()}")

    process = tree.named("Process Module", pyatspi.ROLE_PUSH_BUTTON)
    press(process)
    check(pump_until(lambda: states(link).contains(pyatspi.STATE_BUSY), 10),
          "the link lamp is busy during the live run")
    for ticked in (True, False):
        press(output)
        followed = pump_until(lambda: states(lamp).contains(pyatspi.STATE_CHECKED) == ticked)
        check(followed, f"DI{WIRED_CHANNEL} reads {'on' if ticked else 'off'} after its output box")
        check(any(e.source == lamp and e.type.endswith("checked") and e.detail1 == int(ticked)
                  for e in events.seen), f"DI{WIRED_CHANNEL} told the change as an event")
        check(not states(neighbour).contains(pyatspi.STATE_CHECKED),
              f"DI{WIRED_CHANNEL + 1} stays off")
    # Stopping is the second press, on the same button (its caption has changed).
    press(process)
    check(pump_until(lambda: not states(link).contains(pyatspi.STATE_BUSY)),
          "the live run stopped")


def main():
    demo = sys.argv[1]
    start_accessibility_bus()
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    window_process = subprocess.Popen([demo], env=env)
    try:
        pump_until(lambda: find_window() is not None)
        window = find_window()
        if window is None:
            sys.exit("the window did not appear on the accessibility bus")
        events = Events()
        tree = Tree(window)
        lock_names = {"English": check_language(tree, "English")}
        live_run(tree, events)

        names = {"English": names_of(Tree(window))}
        for button_name in LANGUAGE_BUTTONS:
            title = window.name
            press(Tree(window).named(button_name, pyatspi.ROLE_PUSH_BUTTON))
            changed = pump_until(lambda: window.name != title) or button_name == "English"
            check(changed, f"{button_name}: the window title followed the button")
            tree = Tree(window)
            lock_names[button_name] = check_language(tree, button_name)
            names[button_name] = names_of(tree)
        check(names[LANGUAGE_BUTTONS[0]] != names["English"] and
              names[LANGUAGE_BUTTONS[1]] != names[LANGUAGE_BUTTONS[0]],
              "the names follow the language")
        check(len(set(lock_names.values())) == 3,
              f"the lock box is named in each language {lock_names}")
    finally:
        window_process.kill()
        window_process.wait()
    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
