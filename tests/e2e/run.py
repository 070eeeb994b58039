#!/usr/bin/python3
"""End-to-end scenarios: the real cadrell program under Xvfb, driven by keyboard and mouse.

    /usr/bin/python3 run.py --binary build/cadrell --out build/tests/e2e <scenario>

Exit code 0: passed; 1: failed (the reason and the accessibility tree are printed, and a
screenshot <scenario>-failure.png is saved); 77: skipped because no X server can start here.
"""

import os
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import harness as h  # noqa: E402
from harness import ScenarioFailed, expect, key, poll  # noqa: E402
from common import (crlf_file, exit_by_menu, lf_file, open_with_argument,  # noqa: E402
                    wait_file, wait_selected)
from items import item_view  # noqa: E402
from recovery import kill_recovery  # noqa: E402
from repair import locate_moved_music  # noqa: E402

# ---------------------------------------------------------------------------------------------


def edit_and_save(s):
    """Open from the command line, select with the keyboard, Cut, move, Paste, Ctrl+S."""
    lines = ["#EXTM3U", "C:\\Songs\\a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"]
    path = s.write("Music/edit.m3u", lf_file(lines))
    c = open_with_argument(s, path)
    c.wait_rows(path, lines)
    expect(c.menu_bar_titles() == ["File", "Edit", "Playlist", "View", "Window", "Help"],
           f"menu bar with a document window: {c.menu_bar_titles()!r}")

    # The first row is current once the list has the focus; Down moves to the second and
    # selects it, Shift+Down extends the selection to the third.
    key("Down")
    wait_selected(c, path, [1])
    key("shift+Down")
    wait_selected(c, path, [1, 2])
    key("ctrl+x")
    c.wait_rows(path, ["#EXTM3U", "c.mp3", "d.mp3", "e.mp3"])
    expect(c.selected_rows(c.list_of(path)) == [], "rows stay selected after Cut")

    # To the last row: the cut rows go before it. (Home first: after a rebuild the list has no
    # current row, and its first key selects the first row whichever key it is.)
    key("Home", "End")
    wait_selected(c, path, [3])
    key("ctrl+v")
    expected = ["#EXTM3U", "c.mp3", "d.mp3", "C:\\Songs\\a.mp3", "b.mp3", "e.mp3"]
    c.wait_rows(path, expected)
    expect(open(path, "rb").read() == lf_file(lines), "the file changed before it was saved")

    # The file's own line ends are kept.
    key("ctrl+s")
    wait_file(path, lf_file(expected))
    c.wait_titles([path])
    s.screenshot("saved")
    exit_by_menu(c)  # saved: no question on the way out


def close_prompt(s):
    """A modified window closed with Ctrl+F4: "Closing file..." answered Cancel, No and Yes."""
    lines = ["one.mp3", "two.mp3", "three.mp3"]
    path = s.write("Music/close.m3u", crlf_file(lines))
    original = open(path, "rb").read()

    c = open_with_argument(s, path)
    c.wait_rows(path, lines)
    key("space", "Delete")  # space selects the current (first) row
    c.wait_rows(path, lines[1:])

    def ask_close():
        key("ctrl+F4")
        box = c.wait_dialog("Closing file...")
        texts = c.dialog_texts(box)
        expect(f"Save '{path}'?" in texts, f"close question reads {texts!r}, expected \"Save '{path}'?\"")
        return box

    box = ask_close()
    s.screenshot("question")
    c.click_button(box, "Cancel")
    c.wait_no_dialog()
    c.wait_titles([path])
    c.wait_rows(path, lines[1:])
    expect(open(path, "rb").read() == original, "Cancel wrote the file")

    box = ask_close()
    c.click_button(box, "No")
    c.wait_no_dialog()
    c.wait_titles([])
    expect(open(path, "rb").read() == original, "No wrote the file")
    exit_by_menu(c)

    c = open_with_argument(s, path)
    c.wait_rows(path, lines)
    key("Home", "End", "Delete")
    c.wait_rows(path, lines[:2])
    box = ask_close()
    c.click_button(box, "Yes")
    c.wait_no_dialog()
    c.wait_titles([])
    wait_file(path, crlf_file(lines[:2]))
    exit_by_menu(c)


def drag_and_drop(s):
    """Two document windows: rows dragged with the mouse within one and from one to the other."""
    a_lines = ["A1.mp3", "A2.mp3", "A3.mp3"]
    b_lines = ["B1.mp3", "B2.mp3", "B3.mp3", "B4.mp3"]
    a = s.write("Music/a.m3u", crlf_file(a_lines))
    b = s.write("Music/b.m3u", crlf_file(b_lines))
    c = open_with_argument(s, a)

    # The second one through the Open dialog, typing its name as a user would.
    key("ctrl+o")
    c.wait_dialog()
    time.sleep(0.3)
    h.type_text(b)
    key("Return")
    c.wait_no_dialog()
    c.wait_titles([a, b])
    c.menu(["Window", "Tile"])
    time.sleep(0.3)
    c.wait_rows(a, a_lines)
    c.wait_rows(b, b_lines)

    def row_center(title, index):
        return h.center(c.rows(c.list_of(title))[index])

    # Within b: B1 dropped on B4 goes just before it.
    h.click(*row_center(b, 0))
    wait_selected(c, b, [0])
    h.drag(*row_center(b, 0), *row_center(b, 3))
    c.wait_rows(b, ["B2.mp3", "B3.mp3", "B1.mp3", "B4.mp3"])
    s.screenshot("within")

    # From a to b: a copy of A2 goes before the row it is dropped on; a keeps its rows.
    h.click(*row_center(a, 1))
    wait_selected(c, a, [1])
    h.drag(*row_center(a, 1), *row_center(b, 1))
    c.wait_rows(b, ["B2.mp3", "A2.mp3", "B3.mp3", "B1.mp3", "B4.mp3"])
    c.wait_rows(a, a_lines)

    # Dropped on the empty space below b's rows: appended.
    h.click(*row_center(a, 2))
    wait_selected(c, a, [2])
    x, y, w, hgt = h.extents(c.list_of(b))
    h.drag(*row_center(a, 2), x + w // 2, y + hgt - 8)
    c.wait_rows(b, ["B2.mp3", "A2.mp3", "B3.mp3", "B1.mp3", "B4.mp3", "A3.mp3"])

    # Only b changed: saving it writes the new order, a closes without a question.
    h.click(*row_center(b, 0))
    key("ctrl+s")
    wait_file(b, crlf_file(["B2.mp3", "A2.mp3", "B3.mp3", "B1.mp3", "B4.mp3", "A3.mp3"]))
    expect(open(a, "rb").read() == crlf_file(a_lines), "the source playlist changed")
    exit_by_menu(c)


def single_instance(s):
    """A second start hands its file to the running program and ends with exit code 0."""
    first = s.start().wait_ready()
    first.wait_titles([])
    lines = ["x.mp3", "y.mp3"]
    path = s.write("Music/handed.m3u", crlf_file(lines))

    second = s.start(path)
    try:
        code = second.proc.wait(20)
    except Exception:
        raise ScenarioFailed("the second start did not end within 20s: no hand-off to the "
                             f"running instance (its windows: {h.window_ids('^Cadrell', second.proc.pid)})")
    expect(code == 0, f"the second start ended with exit code {code}: {second.stderr()}")
    first.wait_titles([path])
    first.wait_rows(path, lines)
    expect(len(h.apps_named()) == 1, f"{len(h.apps_named())} Cadrell programs are running")
    events = first.events()
    expect(f"handoff\t{path}" in events, f"the running instance logged {events!r}")

    # A name that cannot be opened: the running instance reports it, the start still ends 0.
    missing = os.path.join(s.home, "Music", "gone.m3u")
    third = s.start(missing)
    code = third.wait_exit(20)
    expect(code == 0, f"a hand-off of a missing file ended with exit code {code}")
    poll("the running instance's error for the missing file",
         lambda: f"error\tCannot open file {missing}." in first.events(), 10)
    first.wait_titles([path, "(untitled)"])
    exit_by_menu(first)


def settings_survive_restart(s):
    """Toolbar hidden, frame moved and a remembered font come back after a restart."""
    lines = ["one.mp3", "two.mp3"]
    path = s.write("Music/font.m3u", crlf_file(lines))
    c = open_with_argument(s, path)
    c.wait_rows(path, lines)
    row_height_before = h.extents(c.rows(c.list_of(path))[0])[3]

    c.menu(["View", "Toolbar"])
    toolbar = h.find_one(c.frame(), lambda a: h.role(a) == "tool bar")
    poll("the toolbar to hide", lambda: toolbar is None or not h.showing(toolbar), 5)

    c.menu(["View", "Options..."])
    box = c.wait_dialog()
    remember = h.find_one(box, lambda a: h.role(a) in ("radio button", "check box") and a.name.replace("&", "") == "Remember")
    expect(remember is not None, f"the Options dialog has no Remember choice: {h.dump(box)}")
    if "checked" not in h.states(remember):
        h.click(*h.center(remember))
        poll("Remember to be checked", lambda: "checked" in h.states(remember), 5)
    c.click_button(box, "OK")
    c.wait_no_dialog()

    c.menu(["View", "Font..."])
    box = c.wait_dialog()
    size = h.find_one(box, lambda a: h.role(a) == "text" and a.name.replace("&", "") in ("Size", "Size:"))
    expect(size is not None, f"the font dialog has no Size field: {[(h.role(a), a.name) for a in h.find_all(box, lambda a: h.role(a) == 'text')]}")
    h.click(*h.center(size))
    key("ctrl+a")
    h.type_text("22")
    time.sleep(0.2)
    c.click_button(box, "OK")
    c.wait_no_dialog()
    poll("the rows to take the bigger font",
         lambda: h.extents(c.rows(c.list_of(path))[0])[3] > row_height_before, 5)
    row_height_after = h.extents(c.rows(c.list_of(path))[0])[3]

    wid = c.window_id()
    h.xdo("windowmove", "--sync", wid, 150, 120)
    poll("the frame to move", lambda: h.window_geometry(wid)[:2] == (150, 120), 5)
    exit_by_menu(c)

    expect(os.path.exists(s.settings_path()), f"no settings file was written at exit ({s.settings_path()})")
    settings = s.read(s.settings_path()).decode("utf-8", "replace")
    for line in ('"Remember"=dword:00000001', '"Toolbar"=dword:00000000', '"Left"=dword:00000096',
                 '"Top"=dword:00000078', '"FontSize"=dword:00000016'):
        expect(line in settings, f"the settings file lacks {line}:\n{settings}")

    c = open_with_argument(s, path)
    toolbar = h.find_one(c.frame(), lambda a: h.role(a) == "tool bar")
    expect(toolbar is None or not h.showing(toolbar), "the toolbar is shown again after a restart")
    geometry = h.window_geometry(c.window_id())
    expect(geometry[:2] == (150, 120), f"the frame came back at {geometry[:2]}, not (150, 120)")
    height = h.extents(c.rows(c.list_of(path))[0])[3]
    expect(height == row_height_after,
           f"rows are {height} pixels high after a restart, {row_height_after} with the chosen font")
    s.screenshot("restarted")
    exit_by_menu(c)
    settings = s.read(s.settings_path()).decode("utf-8", "replace")
    expect('"FontSize"=dword:00000016' in settings, f"the font was not kept:\n{settings}")


def error_box(s):
    """A missing file on the command line: the error box, then the program carries on."""
    missing = os.path.join(s.home, "Music", "missing.m3u")
    c = s.start(missing, event_log=False).wait_ready()
    box = c.wait_dialog("Cadrell")
    texts = c.dialog_texts(box)
    expect(f"Cannot open file {missing}." in texts, f"the error box reads {texts!r}")
    s.screenshot("errorbox")
    c.click_button(box, "OK")
    c.wait_no_dialog()
    c.wait_titles(["(untitled)"])
    expect(c.row_texts(c.list_of("(untitled)")) == [], "the failed window has rows")
    c.focus()
    key("ctrl+n")
    c.wait_titles(["(untitled)", "(untitled)"])
    exit_by_menu(c)
    expect(not os.path.exists(missing), "the missing file was created")


def undo_redo(s):
    """Changes taken back and made again from the Edit menu, the keys and the toolbar; undoing
    back to the file as opened makes the window close without a question."""
    lines = ["#EXTINF:1,One", "C:\\m\\a.mp3", "/m/b.mp3", "c.mp3"]
    deleted = lines[1:]
    path = s.write("Music/undo.m3u", crlf_file(lines))
    c = open_with_argument(s, path)
    c.wait_rows(path, lines)

    def toolbar(name):
        button = h.find_one(c.frame(), lambda a: h.role(a) == "push button" and a.name == name)
        expect(button is not None, f"no toolbar button {name!r}")
        h.click(*h.center(button))

    key("space", "Delete")
    c.wait_rows(path, deleted)
    key("ctrl+r")
    c.wait_rows(path, ["a.mp3", "b.mp3", "c.mp3"])

    c.menu(["Edit", "Undo Remove Path"])
    c.wait_rows(path, deleted)
    wait_selected(c, path, [0, 1])
    c.focus()
    key("ctrl+z")
    c.wait_rows(path, lines)
    wait_selected(c, path, [0])
    key("ctrl+y")
    c.wait_rows(path, deleted)
    toolbar("Undo")
    c.wait_rows(path, lines)
    c.focus()
    key("ctrl+shift+z")
    c.wait_rows(path, deleted)
    toolbar("Undo")
    c.wait_rows(path, lines)
    s.screenshot("undone")

    # Back where the file was opened: nothing to save, so no question.
    c.focus()
    key("ctrl+F4")
    c.wait_titles([])
    expect(not c.dialogs(), "a close question for a playlist undone to its file")
    expect(open(path, "rb").read() == crlf_file(lines), "the file changed")
    exit_by_menu(c)


def everyday_editing(s):
    """Alt+Up/Down, the row menu by mouse and keys, the "*" mark, and the questions on leaving,
    each about a window brought to the front."""
    a_lines = ["A1.mp3", "A2.mp3", "A3.mp3", "A4.mp3"]
    b_lines = ["B1.mp3", "B2.mp3"]
    a = s.write("Music/a.m3u", crlf_file(a_lines))
    b = s.write("Music/b.m3u", crlf_file(b_lines))
    c = open_with_argument(s, a)
    key("ctrl+o")
    c.wait_dialog()
    time.sleep(0.3)
    h.type_text(b)
    key("Return")
    c.wait_no_dialog()
    c.wait_titles([a, b])
    c.menu(["Window", "Tile"])
    time.sleep(0.3)

    def row_center(title, index):
        return h.center(c.rows(c.list_of(title))[index])

    h.click(*row_center(a, 1))
    wait_selected(c, a, [1])
    key("alt+Down")
    c.wait_rows(a, ["A1.mp3", "A3.mp3", "A2.mp3", "A4.mp3"])
    wait_selected(c, a, [2])
    key("alt+Up", "alt+Up")
    c.wait_rows(a, ["A2.mp3", "A1.mp3", "A3.mp3", "A4.mp3"])
    wait_selected(c, a, [0])

    # The row menu is a popup, which the accessibility tree does not list: its items are
    # reached by their underlined letters, and what they do shows.
    h.click(*row_center(a, 3), button=3)
    wait_selected(c, a, [3])
    time.sleep(0.3)
    s.screenshot("rowmenu")
    key("d")  # Delete
    c.wait_rows(a, ["A2.mp3", "A1.mp3", "A3.mp3"])
    paste = h.find_one(c.frame(), lambda x: h.role(x) == "push button" and x.name == "Paste cut or copied items")
    expect("sensitive" not in h.states(paste), "Paste is enabled with an empty entry clipboard")
    # The keyboard's way to the same menu: Copy from it fills the entry clipboard.
    key("Up", "shift+F10")
    time.sleep(0.3)
    key("c")  # Copy
    poll("Paste to be enabled", lambda: "sensitive" in h.states(paste), 5)
    wait_selected(c, a, [1])

    # b changes too and is the last one worked in; a is minimized.
    h.click(*row_center(b, 0))
    key("alt+Down")
    c.wait_rows(b, ["B2.mp3", "B1.mp3"])

    def item_names(menu):
        return [i.name.replace("&", "") for i in h.find_all(menu, lambda x: h.role(x) == "menu item")]

    def window_items():
        c.menu(["Window"])
        return poll("the Window menu's list", lambda: [
            n for n in item_names(h.find_one(c.frame(), lambda x: h.role(x) == "menu item" and x.name == "Window"))
            if n[:1].isdigit()], 5)

    items = window_items()
    expect(items == [f"1 {a}*", f"2 {b}*"], f"the Window menu lists {items!r}")
    s.screenshot("marks")
    key("Escape")
    time.sleep(0.2)
    c.menu(["Window", "Minimize All"])
    c.menu(["Window", f"2 {b}*"])
    time.sleep(0.3)

    def window_of(title):
        return next(w for w, _ in c.document_windows() if w is not None and w.name == title)

    c.menu(["File", "Exit"])
    for title in (b, a):
        def question():
            for d in c.dialogs():
                if d.name == "Closing file..." and f"Save '{title}'?" in c.dialog_texts(d):
                    return d
            return None
        try:
            box = poll(f"the question about {title}", question, 10)
        except ScenarioFailed:
            raise ScenarioFailed(f"no question about {title}; open: "
                                 f"{[c.dialog_texts(d) for d in c.dialogs()]!r}")
        height = h.extents(window_of(title))[3]
        expect(height > 100, f"{title} is asked about while it is {height} pixels high (minimized)")
        c.click_button(box, "No")
    code = c.wait_exit(15)
    expect(code == 0, f"cadrell ended with exit code {code}")
    expect(open(a, "rb").read() == crlf_file(a_lines), "No wrote the file")


def playlist_tools(s):
    """The Playlist menu by mouse and keys: a sort, the missing files selected and deleted with
    their #EXTINF line, an entry typed over in place, a search, and the result saved."""
    for name in ("Track 2.mp3", "Track 10.mp3"):
        s.write("Music/" + name, b"")
    lines = ["#EXTM3U", "#EXTINF:2,Zed", "Track 10.mp3", "#EXTINF:1,Gone", "gone.mp3", "Track 2.mp3"]
    path = s.write("Music/tools.m3u", crlf_file(lines))
    c = open_with_argument(s, path)
    c.wait_rows(path, lines)

    c.menu(["Playlist", "Sort", "By Path"])
    sorted_lines = ["#EXTM3U", "#EXTINF:1,Gone", "gone.mp3", "Track 2.mp3", "#EXTINF:2,Zed", "Track 10.mp3"]
    c.wait_rows(path, sorted_lines)
    c.menu(["Playlist", "Select Missing Files"])
    wait_selected(c, path, [1, 2])
    c.focus()
    key("Delete")
    c.wait_rows(path, ["#EXTM3U", "Track 2.mp3", "#EXTINF:2,Zed", "Track 10.mp3"])

    # F2 opens the last row for typing with its text selected; Enter keeps what was typed.
    key("End", "F2")
    time.sleep(0.3)
    h.type_text("Track 11.mp3")
    key("Return")
    expected = ["#EXTM3U", "Track 2.mp3", "#EXTINF:2,Zed", "Track 11.mp3"]
    c.wait_rows(path, expected)
    s.screenshot("typed")

    key("ctrl+f")
    time.sleep(0.3)
    h.type_text("track 2")
    key("Return")
    wait_selected(c, path, [1])
    key("Escape", "ctrl+s")
    wait_file(path, crlf_file(expected))
    exit_by_menu(c)


SCENARIOS = {
    "edit_and_save": edit_and_save,
    "close_prompt": close_prompt,
    "drag_and_drop": drag_and_drop,
    "single_instance": single_instance,
    "settings_survive_restart": settings_survive_restart,
    "error_box": error_box,
    "undo_redo": undo_redo,
    "everyday_editing": everyday_editing,
    "playlist_tools": playlist_tools,
    "locate_moved_music": locate_moved_music,
    "kill_recovery": kill_recovery,
    "item_view": item_view,
}

if __name__ == "__main__":
    raise SystemExit(h.run(SCENARIOS))
