#!/usr/bin/python3
# Reads, through AT-SPI as a screen reader does, the selected task of Vesk's task list and prints
# it as "<section>: <name>", followed by " (completed)" when it is checked. Prints nothing when
# the application or its list cannot be reached yet.
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


def selected_task():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is None or app.name.lower() != "vesk":
            continue
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
    found = selected_task()
except Exception as error:  # the application may still be starting
    print(error, file=sys.stderr)
    found = None
if found:
    print(found)
