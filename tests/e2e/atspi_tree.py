#!/usr/bin/python3
"""Prints what a screen reader sees of one application, read through AT-SPI.

Usage: atspi_tree.py APPLICATION-NAME [SECONDS]

Waits up to SECONDS (10 by default) until the application shows on the accessibility bus,
then prints one JSON object per line for every node that is showing (and for the windows
themselves): its role, name, description, states, the names of the nodes labelling it and
its key binding. Exit status 2 when the application did not turn up.
"""

import json
import sys
import time

import pyatspi

MAX_DEPTH = 40
MAX_CHILDREN = 400


def find_application(name, seconds):
    deadline = time.monotonic() + seconds
    while True:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                return app
        if time.monotonic() > deadline:
            return None
        time.sleep(0.2)


def labels_of(node):
    names = []
    try:
        for relation in node.getRelationSet():
            if relation.getRelationType() != pyatspi.RELATION_LABELLED_BY:
                continue
            for i in range(relation.getNTargets()):
                target = relation.getTarget(i)
                if target is not None:
                    names.append(target.name)
    except Exception:  # a node that went away meanwhile
        pass
    return names


def key_binding(node):
    try:
        action = node.queryAction()
    except (NotImplementedError, Exception):
        return ""
    try:
        return action.getKeyBinding(0) if action.nActions > 0 else ""
    except Exception:
        return ""


def walk(node, path, window, out, depth):
    if node is None or depth > MAX_DEPTH:
        return
    try:
        role = node.getRoleName()
        states = node.getState()
        showing = states.contains(pyatspi.STATE_SHOWING)
        name = node.name or ""
        description = node.description or ""
        count = node.childCount
    except Exception:
        return
    if depth == 1:
        window = name
    if showing or depth <= 1:
        out.append({
            "path": path,
            "window": window,
            "role": role,
            "name": name,
            "description": description,
            "showing": showing,
            "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
            "focused": states.contains(pyatspi.STATE_FOCUSED),
            "checked": states.contains(pyatspi.STATE_CHECKED),
            "expandable": states.contains(pyatspi.STATE_EXPANDABLE),
            "labelledBy": labels_of(node),
            "key": key_binding(node),
        })
    elif depth > 1:
        return  # nothing under a node that is not showing is read out
    for i in range(min(count, MAX_CHILDREN)):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        walk(child, path + "/" + str(i), window, out, depth + 1)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 1
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    app = find_application(sys.argv[1], seconds)
    if app is None:
        print("application not found: " + sys.argv[1], file=sys.stderr)
        return 2
    out = []
    walk(app, "", "", out, 0)
    for node in out:
        print(json.dumps(node, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
