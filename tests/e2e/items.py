"""The item view through the real program: one row per channel, a header click that sorts, a
group found and deleted whole, an item moved with its title, and the file saved with every
#EXTINF line above its own address."""

import time

import harness as h
from common import exit_by_menu, lf_file, open_with_argument, wait_file
from harness import expect, key, poll


def channel(title, group, n):
    return [f'#EXTINF:-1 tvg-id="c{n}" group-title="{group}",{title}', f"http://s/{n}.m3u8"]


def item_view(s):
    lines = ['#EXTM3U x-tvg-url="http://e/epg.xml"']
    for n, (title, group) in enumerate([("Delta", "News"), ("Alpha", "Albania"),
                                        ("Charlie", "News"), ("Bravo", "Kids")], 1):
        lines += channel(title, group, n)
    path = s.write("Lists/tv.m3u", lf_file(lines))
    c = open_with_argument(s, path)
    c.wait_rows(path, lines)

    key("ctrl+2")
    c.wait_rows(path, ['#EXTM3U x-tvg-url="http://e/epg.xml"', "Delta, News, 1.m3u8",
                       "Alpha, Albania, 2.m3u8", "Charlie, News, 3.m3u8", "Bravo, Kids, 4.m3u8"])

    # A click on the Title header: the header sits on top of the rows, the Title column right of
    # the narrow "#" column.
    lst = c.list_of(path)
    x, y, w, _ = h.extents(lst)
    h.click(x + 120, y + 10)
    c.wait_rows(path, ['#EXTM3U x-tvg-url="http://e/epg.xml"', "Alpha, Albania, 2.m3u8",
                       "Bravo, Kids, 4.m3u8", "Charlie, News, 3.m3u8", "Delta, News, 1.m3u8"])

    # Find the News group, select every match and delete: whole items go.
    c.focus()
    key("ctrl+f")
    time.sleep(0.3)
    h.type_text('group-title="News"')
    time.sleep(0.5)
    key("alt+Return")
    time.sleep(0.3)
    key("Escape", "Delete")
    c.wait_rows(path, ['#EXTM3U x-tvg-url="http://e/epg.xml"', "Alpha, Albania, 2.m3u8",
                       "Bravo, Kids, 4.m3u8"])

    # The last item up, with its title line.
    key("Home", "End", "alt+Up")
    c.wait_rows(path, ['#EXTM3U x-tvg-url="http://e/epg.xml"', "Bravo, Kids, 4.m3u8",
                       "Alpha, Albania, 2.m3u8"])
    s.screenshot("items")

    key("ctrl+s")
    expected = ['#EXTM3U x-tvg-url="http://e/epg.xml"'] + channel("Bravo", "Kids", 4) + \
        channel("Alpha", "Albania", 2)
    wait_file(path, lf_file(expected))

    # Undo works across the views: back in lines, Undo brings the move back.
    key("ctrl+1")
    c.wait_rows(path, expected)
    key("ctrl+z")
    poll("the move undone", lambda: c.row_texts(c.list_of(path))[1].endswith("Alpha"), 10)
    expect(c.row_texts(c.list_of(path))[2] == "http://s/2.m3u8",
           f"an #EXTINF line lost its address: {c.row_texts(c.list_of(path))!r}")
    key("ctrl+s")
    exit_by_menu(c)
