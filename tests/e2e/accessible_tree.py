#!/usr/bin/python3
"""Reads one application over the accessibility bus, as a screen reader does.

accessible_tree.py APP            prints APP's accessible tree, a line a node:
                                  depth, role, name, then the node's text when
                                  it has a text interface, tab-separated, with
                                  line ends shown as \\n
accessible_tree.py APP press NAME presses the push button NAME and prints the
                                  events APP raises for SECONDS (default 5)
                                  after it, a line each: type, role, name,
                                  detail, text

Exits 3 when APP is not on the bus (yet).
"""
import sys

import pyatspi
from gi.repository import GLib


def shown(text):
    return text.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")


def find_app(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None


def walk(node, depth, visit):
    if node is None:
        return
    visit(node, depth)
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1, visit)


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, -1)


def print_node(node, depth):
    fields = [str(depth), node.getRoleName(), shown(node.name or "")]
    text = text_of(node)
    if text is not None:
        fields.append(shown(text))
    print("\t".join(fields))


def press_and_listen(app, button_name, seconds):
    target = []

    def find(node, _depth):
        if node.getRoleName() == "push button" and node.name == button_name:
            target.append(node)

    walk(app, 0, find)
    if not target:
        print("no push button named " + button_name, file=sys.stderr)
        return 4
    pid = app.get_process_id()

    def heard(event):
        source = event.source
        try:
            if source.get_process_id() != pid:
                return
            detail = event.detail1
            text = event.any_data if isinstance(event.any_data, str) else ""
            print("\t".join([event.type, source.getRoleName(), shown(source.name or ""),
                             str(detail), shown(text)]), flush=True)
        except Exception:  # a node gone meanwhile tells nothing
            pass

    for kind in ("object:text-changed", "object:property-change:accessible-description",
                 "object:property-change:accessible-name"):
        pyatspi.Registry.registerEventListener(heard, kind)
    action = target[0].queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    action.doAction(names.index("Press"))
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    return 0


def main(argv):
    app = find_app(argv[1])
    if app is None:
        return 3
    if len(argv) >= 4 and argv[2] == "press":
        seconds = float(argv[4]) if len(argv) > 4 else 5.0
        return press_and_listen(app, argv[3], seconds)
    walk(app, 0, print_node)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
