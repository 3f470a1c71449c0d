#!/usr/bin/python3
# Walks the board's window as a screen reader sees it, over AT-SPI: starts the
# board (its program and folder given), waits for its expand button, presses
# it as a screen reader does, and looks for every control a person acts on:
# the button, the sort list, the 24 city names of the grid, the check box
# "مدينتي" with its state, the map link, the days link, the hours link and the
# maker's link, each reached from the desktop and named; then it presses the
# hours link and reads the table of the coming hours. It also listens
# to the ticker for a few seconds: its scrolling tells nothing.
# In English (the board started with LANGUAGE=en) it looks for the English
# names, finds no object in view that says anything in Arabic letters, and
# finds the grid's city column first, at the left.
# Prints one line per control and exits 0 when all were found.
#   atspiwalk.py <program> <folder> [ar|en]
# Run inside a D-Bus session (dbus-run-session) with DISPLAY set.
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

NAMES = {
    "ar": dict(EXPAND="عرض التفاصيل", COLLAPSE="إخفاء التفاصيل", MAKER="موقع صانع البرنامج",
               MAP_LINK="أضغط هنا لمشاهدة ", DAYS_LINK="عرض الأيام القادمة", HOURS_LINK="عرض الساعات القادمة",
               HOURS="الساعات القادمة", MY_CITY="مدينتي", CITY="المدينة"),
    "en": dict(EXPAND="Show details", COLLAPSE="Hide details", MAKER="The maker's website",
               MAP_LINK="Click here to see ", DAYS_LINK="Show the coming days", HOURS_LINK="Show the coming hours",
               HOURS="Coming hours", MY_CITY="My city", CITY="City"),
}
LANGUAGE = sys.argv[3] if len(sys.argv) > 3 else "ar"
globals().update(NAMES[LANGUAGE])


def arabic(text):
    return any("\u0600" <= c <= "\u06ff" or "\u0750" <= c <= "\u077f" or "\ufb50" <= c <= "\ufeff" for c in text or "")


def walk(node, depth=0):
    """Every object under node, as a screen reader reaches it: child by child."""
    yield node
    if depth > 12:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find_board():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "RORizedivo":
            return app
    return None


def find(app, role, name=None, prefix=None):
    for node in walk(app):
        if node.getRole() != role:
            continue
        if name is not None and node.name != name:
            continue
        if prefix is not None and not node.name.startswith(prefix):
            continue
        return node
    return None


def wait_for(what, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = what()
        if found is not None:
            return found
        time.sleep(0.5)
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            return action.doAction(i)
    return False


def main():
    program, folder = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    for variable in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
        env.pop(variable, None)
    env["LANG"] = "en_US.UTF-8" if LANGUAGE == "en" else "C.UTF-8"
    if LANGUAGE == "en":
        env["LANGUAGE"] = "en"
    board = subprocess.Popen([program], cwd=folder, env=env)
    failures = 0
    try:
        app = wait_for(find_board, 60)
        if app is None:
            names = [a.name for a in pyatspi.Registry.getDesktop(0) if a is not None]
            print("missing: the board on the AT-SPI bus (found: %s)" % ", ".join(names))
            return 1
        # The button shows once the first refresh has run.
        expand = wait_for(lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, EXPAND), 60)
        if expand is None:
            print("missing: the expand button")
            return 1
        print("ok: button:", expand.name)
        press(expand)
        collapse = wait_for(lambda: find(app, pyatspi.ROLE_PUSH_BUTTON, COLLAPSE), 20)
        # The grid fills once the board is expanded.
        table = wait_for(lambda: find(app, pyatspi.ROLE_TABLE), 20)

        found = {}
        if collapse is not None:
            found["button"] = collapse.name
        combo = find(app, pyatspi.ROLE_COMBO_BOX)
        if combo is not None and combo.name:
            labels = [target.name for relation in combo.getRelationSet()
                      if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
                      for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
            found["sort list"] = combo.name + " (" + "، ".join(labels) + ")"
        if table is not None:
            wait_for(lambda: table.queryTable().getAccessibleAt(23, 0).name or None, 20)
            grid = table.queryTable()
            headers = [grid.getColumnHeader(c).name for c in range(grid.nColumns)]
            print("ok: table of %d rows under %s" % (grid.nRows, " | ".join(headers)))
            # The city heads each row, and stands where a line of the
            # board's language begins: at the left in English.
            if not headers or headers[0] != CITY:
                print("wrong: the first column is %s, not the city" % (headers[0] if headers else "none"))
                failures += 1
            else:
                city = grid.getAccessibleAt(0, 0).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                condition = grid.getAccessibleAt(0, 1).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if (city.x < condition.x) != (LANGUAGE == "en"):
                    print("wrong: the city column stands at the %s" % ("left" if city.x < condition.x else "right"))
                    failures += 1
            reached = {node.name for node in walk(table) if node.getRole() == pyatspi.ROLE_TABLE_CELL}
            for row in range(grid.nRows):
                cell = grid.getAccessibleAt(row, 0)
                if cell is not None and cell.name and cell.name in reached:
                    found["city %d" % (row + 1)] = cell.name
            print("ok: row 1 reads:", grid.getRowDescription(0))
        mine = find(app, pyatspi.ROLE_CHECK_BOX, MY_CITY)
        if mine is not None:
            checked = mine.getState().contains(pyatspi.STATE_CHECKED)
            found["my city"] = mine.name + (" (checked)" if checked else " (not checked)")
        link = find(app, pyatspi.ROLE_LINK, prefix=MAP_LINK)
        if link is not None:
            found["map link"] = link.name
        days = find(app, pyatspi.ROLE_LINK, DAYS_LINK)
        if days is not None:
            found["days link"] = days.name
        maker = find(app, pyatspi.ROLE_LINK, MAKER)
        if maker is not None:
            found["maker's link"] = maker.name
        hours_link = find(app, pyatspi.ROLE_LINK, HOURS_LINK)
        if hours_link is not None:
            found["hours link"] = hours_link.name
            press(hours_link)
            hours = wait_for(lambda: find(app, pyatspi.ROLE_TABLE, HOURS), 20)
            if hours is not None:
                rows = hours.queryTable()
                first = rows.getAccessibleAt(0, 0)
                if rows.nRows > 0 and first is not None and first.name:
                    found["hours"] = "%d rows, the first: %s" % (rows.nRows, rows.getRowDescription(0))

        # What is in view and says something; in English none of it in
        # Arabic letters (the maps' pictures are drawn, not said).
        said = 0
        in_arabic = 0
        for node in walk(app):
            if not node.getState().contains(pyatspi.STATE_SHOWING) or not (node.name or node.description):
                continue
            said += 1
            if any(arabic(text) for text in (node.name, node.description)):
                in_arabic += 1
                if LANGUAGE == "en":
                    print("wrong: %s says %s" % (node.getRoleName(), node.name or node.description))
                    failures += 1
        print("ok: %d objects in view say something, %d of them in Arabic letters" % (said, in_arabic))

        targets = ["button", "sort list"] + ["city %d" % (i + 1) for i in range(24)] + [
            "my city", "map link", "days link", "hours link", "hours", "maker's link"]
        for target in targets:
            if target in found:
                print("ok: %s: %s" % (target, found[target]))
            else:
                print("missing: %s" % target)
                failures += 1

        # The ticker scrolls on: a screen reader hears nothing of it until the
        # next refresh.
        ticker = find(app, pyatspi.ROLE_STATUS_BAR)
        told = []

        def listen(event):
            # Nothing else on this bus changes its name while the board idles.
            told.append(event.type)

        pyatspi.Registry.registerEventListener(listen, "object:property-change:accessible-name")
        GLib.timeout_add(4000, lambda: pyatspi.Registry.stop())
        pyatspi.Registry.start()
        if ticker is None or not ticker.name:
            print("missing: the ticker")
            failures += 1
        elif told:
            print("wrong: the ticker told %d names in 4 s of scrolling" % len(told))
            failures += 1
        else:
            print("ok: ticker, %d characters, quiet while it scrolls" % len(ticker.name))
        print("%d of %d controls reached and named" % (len(targets) - sum(1 for t in targets if t not in found),
                                                        len(targets)))
        return 1 if failures else 0
    finally:
        board.terminate()
        try:
            board.wait(10)
        except subprocess.TimeoutExpired:
            board.kill()


if __name__ == "__main__":
    sys.exit(main())
