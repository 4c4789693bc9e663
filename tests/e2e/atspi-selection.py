#!/usr/bin/python3
# Reads, through AT-SPI as a screen reader does, the selected task of Vesk's task list and prints
# it as "<section>: <name>", followed by " (completed)" when it is checked; with --focus, the name
# of the object holding the keyboard focus; with --status, the status bar. Prints nothing when the application or its list
# cannot be reached yet.
import sys

import pyatspi


def find(node, predicate):
    if predicate(node):
        return node
    for index in range(node.childCount):
        found = find(node.getChildAtIndex(index), predicate)
        if found is not None:
            return found
    return None


def vesk():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name.lower() == "vesk":
            return app
    return None


def focused_object():
    app = vesk()
    # The innermost named focused object: the list and its selected task are both focused, and
    # an editor's unnamed viewport with its editor.
    focused = [None]

    def visit(node):
        if node.name and node.getState().contains(pyatspi.STATE_FOCUSED):
            focused[0] = node.name
        for index in range(node.childCount):
            visit(node.getChildAtIndex(index))

    if app is not None:
        visit(app)
    return focused[0]


def status():
    app = vesk()
    bar = app and find(app, lambda n: n.getRole() == pyatspi.ROLE_STATUS_BAR)
    return bar.name if bar else None


def selected_task():
    app = vesk()
    if app is not None:
        tasks = find(app, lambda n: n.getRole() == pyatspi.ROLE_LIST and n.name == "Tasks")
        if tasks is None:
            return None
        for section in tasks:
            for task in section:
                if task is None or task.getRole() != pyatspi.ROLE_LIST_ITEM:
                    continue
                states = task.getState()
                if states.contains(pyatspi.STATE_SELECTED):
                    done = " (completed)" if states.contains(pyatspi.STATE_CHECKED) else ""
                    return f"{section.name}: {task.name}{done}"
    return None


try:
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    found = {"--focus": focused_object, "--status": status}.get(mode, selected_task)()
except Exception as error:  # the application may still be starting
    print(error, file=sys.stderr)
    found = None
if found:
    print(found)
