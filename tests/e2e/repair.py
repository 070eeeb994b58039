"""Scenarios of the Playlist menu's repairs, run by run.py like the others."""

import os
import time

import harness as h
from harness import ScenarioFailed, expect, poll


def locate_moved_music(s):
    """A collection renamed and moved into the music folder, with another letter case: one pass
    of Playlist > Locate Missing Files, Apply and File > Save leave a playlist whose every entry
    names a file on disk, relative entries still relative."""
    names = ["Album A/01 One.mp3", "Album A/02 Two.mp3", "Album B/03 Three.flac"]
    for name in names:
        s.write("Music/rock/" + name, b"")  # was Collection/Rock/<name>
    entries = ["#EXTM3U",
               "#EXTINF:1,One",
               "../Collection/Rock/Album A/01 One.mp3",
               "/old/home/Collection/Rock/Album A/02 Two.mp3",
               "../Collection/Rock/Album B/03 Three.flac",
               "http://radio.example/stream"]
    path = s.write("lists/road.m3u", b"".join(e.encode() + b"\n" for e in entries))
    c = s.start(path).wait_ready()
    c.wait_titles([path])
    c.focus()
    c.wait_rows(path, entries)

    c.menu(["Playlist", "Locate Missing Files..."])
    dialog = c.wait_dialog("Locate Missing Files")
    apply = c.button(dialog, "Apply")
    # The search starts with the dialog; Apply waits for its result.
    try:
        poll("the search to finish", lambda: "enabled" in h.states(apply), 30)
    except ScenarioFailed:
        raise ScenarioFailed(f"no result; the dialog says {c.dialog_texts(dialog)!r}")
    texts = " ".join(c.dialog_texts(dialog))
    expect("3 missing: 3 found" in texts, f"the dialog says {texts!r}")
    s.screenshot("located")
    c.click_button(dialog, "Apply")
    c.wait_no_dialog()

    c.menu(["File", "Save"])
    saved = []

    def written():
        lines = s.read(path).decode().splitlines()
        saved[:] = lines
        return lines != entries
    try:
        poll("the playlist to be saved", written, 10)
    except ScenarioFailed:
        raise ScenarioFailed(f"the file still holds {saved!r}")
    folder = os.path.dirname(path)
    local = [e for e in saved if e and not e.startswith("#") and "://" not in e]
    expect(len(local) == 3, f"saved entries: {saved!r}")
    for e in local:
        expect(os.path.exists(os.path.join(folder, e)), f"{e!r} in the saved playlist is not on disk")
    expect(saved[2].startswith("../Music/rock/"), f"a relative entry became {saved[2]!r}")
    expect(saved[5] == "http://radio.example/stream", f"the stream became {saved[5]!r}")
    c.menu(["File", "Exit"])
    code = c.wait_exit(15)
    expect(code == 0, f"cadrell ended with exit code {code}")
    time.sleep(0.1)
