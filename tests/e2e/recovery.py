"""The kill-and-recover scenario: recovery journals against SIGKILL, run by run.py."""

import os
import time

import harness as h
from common import crlf_file, exit_by_menu, wait_file
from harness import expect, key


def kill_recovery(s):
    """Edits (delete, sort, replace, paste, undo) cut short by SIGKILL at seeded random moments;
    the next start offers the journal, and what it recovers is what was on screen no more than
    two seconds before the kill, byte for byte once saved."""
    import random
    import signal

    runs = int(os.environ.get("CADRELL_E2E_KILL_RUNS", "20"))
    seed = int(os.environ.get("CADRELL_E2E_SEED", "26"))
    rng = random.Random(seed)
    h.log(f"seed {seed}, {runs} runs")
    # Out of order, so that sorting changes it.
    original = ["/m/%02d-%s.mp3" % (n, w) for n, w in
                zip([3, 7, 0, 5, 1, 6, 2, 4],
                    ["kiwi", "apple", "fig", "date", "lime", "pear", "plum", "cherry"])]
    for run in range(runs):
        home = s.new_home(f"kill-{run}")
        path = os.path.join(home, "Music", "kill.m3u")
        with open(path, "wb") as f:
            f.write(crlf_file(original))
        folder = os.path.join(home, ".local", "state", "cadrell", "recovery")
        c = s.start(path, home=home).wait_ready()
        c.wait_titles([path])
        c.focus()
        seen = [(time.monotonic(), list(original))]

        def observe():
            rows = c.row_texts(c.list_of(path))
            if rows != seen[-1][1]:
                seen.append((time.monotonic(), rows))

        for _ in range(rng.randint(1, 6)):
            command = rng.choice(["delete", "sort", "replace", "paste", "undo"])
            row = rng.randrange(max(1, len(seen[-1][1])))
            if command == "delete":
                key("Home", *["Down"] * row, "Delete")
            elif command == "sort":
                key("alt+p", "s", "p")
            elif command == "replace":
                key("Home", *["Down"] * row, "F2", "ctrl+a")
                h.type_text(f"/r/{run}-{row}.mp3")
                key("Return")
            elif command == "paste":
                key("Home", *["Down"] * row, "ctrl+c", "End", "ctrl+v")
            else:
                key("ctrl+z")
            time.sleep(0.25)
            observe()
        time.sleep(rng.uniform(0.0, 2.5))
        observe()
        killed = time.monotonic()
        c.proc.send_signal(signal.SIGKILL)
        c.proc.wait()
        # On screen at some moment in the two seconds before the kill: each state seen since,
        # and the one that was showing when they began.
        recent = [rows for t, rows in seen if t >= killed - 2.0]
        earlier = [rows for t, rows in seen if t < killed - 2.0]
        allowed = recent + earlier[-1:]
        journals = [n for n in os.listdir(folder) if n.endswith(".journal")] \
            if os.path.isdir(folder) else []
        if not journals:
            # Nothing was changed yet, or nothing reached the disk: the file is what was there.
            expect(original in allowed, f"run {run}: no journal, yet the screen had changed "
                   f"more than two seconds before the kill: {seen!r}")
            h.log(f"run {run}: {len(seen) - 1} changes seen, none kept, none needed")
            continue
        r = s.start(home=home).wait_ready()
        dialog = r.wait_dialog("Recover Unsaved Changes", timeout=20)
        r.click_button(dialog, "Recover")
        r.wait_no_dialog()
        r.wait_titles([path])
        recovered = r.row_texts(r.list_of(path))
        expect(recovered in allowed, f"run {run}: recovered {recovered!r}, but the screen in the "
               f"two seconds before the kill showed {allowed!r}")
        r.focus()
        key("ctrl+s")
        wait_file(path, crlf_file(recovered))
        exit_by_menu(r)
        left = [n for n in os.listdir(folder) if n.endswith(".journal")]
        expect(not left, f"run {run}: journals left after a clean exit: {left!r}")
        h.log(f"run {run}: {len(seen) - 1} changes seen, recovered {len(recovered)} entries")
