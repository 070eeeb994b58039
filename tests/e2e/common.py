"""Helpers the scenario files share."""

import os

from harness import ScenarioFailed, expect, poll

CRLF = b"\r\n"


def lf_file(lines):
    return b"".join(line.encode() + b"\n" for line in lines)


def crlf_file(lines):
    return b"".join(line.encode() + CRLF for line in lines)


def open_with_argument(s, path, **kw):
    c = s.start(path, **kw).wait_ready()
    c.wait_titles([path])
    c.focus()
    return c


def exit_by_menu(c):
    """File > Exit with the mouse, then the program must end with exit code 0."""
    c.menu(["File", "Exit"])
    code = c.wait_exit(15)
    expect(code == 0, f"cadrell ended with exit code {code} after File > Exit: {c.stderr()}")


def wait_selected(c, title, expected):
    lst = c.list_of(title)
    try:
        poll(f"selected rows {expected}", lambda: c.selected_rows(lst) == expected, 5)
    except ScenarioFailed:
        raise ScenarioFailed(f"{title}: expected rows {expected} selected, found {c.selected_rows(lst)}")


def wait_file(path, expected, timeout=10):
    def check():
        return os.path.exists(path) and open(path, "rb").read() == expected
    try:
        poll(f"{path} to hold the expected bytes", check, timeout)
    except ScenarioFailed:
        actual = open(path, "rb").read() if os.path.exists(path) else "<missing>"
        raise ScenarioFailed(f"{path}: expected bytes {expected!r}, found {actual!r}")
