#!/usr/bin/python3
"""End-to-end tests of a Windows build of Avendrel.exe under Wine on a private Xvfb.

  test_e2e.py prepare WINEARCH STATE_FILE  makes a prefix (win64 or win32) and
                                           writes what the cases need to STATE_FILE
  test_e2e.py remove STATE_FILE            ends its server and removes it
  test_e2e.py run STATE_FILE EXE CASE      runs one case (exit 0 pass, 1 fail, 77 skip)
  test_e2e.py cases                        lists the cases

Every case is a function case_NAME(session, exe) below and runs for each
build: the 64-bit Avendrel.exe under wine64 in a 64-bit prefix, and the
shipped 32-bit one under the classic 32-bit Wine in a 32-bit prefix (some
also with the 32-bit one in the 64-bit prefix, as on a 64-bit Windows). The
Wine loader follows the architecture of EXE, and the helper programs a case
runs are the ones built beside EXE. Only a 32-bit case on a machine that runs
no 32-bit code at all is skipped, with the reason; anything else that keeps
a case from running is a failure.

Every case starts the program on a fresh 1281 x 1022 screen, so the window's
place is the round-half-even of 240.5 and 172.5: left 240, top 172.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from PIL import Image
from Xlib import X

import ia32_code
import wine_session
from wine_session import MACHINE_I386, Prefix, Session, wait_for

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ARTWORK = os.path.join(SOURCE, "resources", "artwork.png")

SCREEN_W, SCREEN_H = 1281, 1022
LEFT, TOP = 240, 172
WIDTH, HEIGHT = 800, 677
ARTWORK_TOP = 92
SIGNUP_URL = "http://book.avendrel.com/signup"
HOME_URL = "http://www.avendrel.com/"

# Window points.
SIGNUP = (608, 440)
HOME = (700, 566)
PLAIN = (150, 250)  # artwork outside both hotspots
OUTSIDE = (WIDTH + 60, 440)  # right of the window
BENEATH_COLOUR = (255, 0, 255)
# The window manager functions of _MOTIF_WM_HINTS.
MWM_FUNC_RESIZE, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 0x2, 0x8, 0x10, 0x20

START_TIMEOUT = 60  # the first program on a new screen also starts Wine's services
SETTLE = 2.0  # how long "nothing (more) happens" is watched: a late extra on a busy machine
# How long an ending may take on a loaded machine.
EXIT_TIMEOUT = 60


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def screen_point(point):
    return LEFT + point[0], TOP + point[1]


def start(session, exe, *args, stderr=subprocess.DEVNULL):
    program = session.start(exe, *args, stderr=stderr)
    main = session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT)
    check(main, "the 800x677 window \"Avendrel\" was not shown")
    check((main[2], main[3]) == (LEFT, TOP),
          f"window at {main[2]},{main[3]}, expected {LEFT},{TOP}")
    return program, main


def click(session, point, button=1):
    session.click(*screen_point(point), button)


def close_and_expect_zero(session, program, image="Avendrel.exe"):
    """Ends a case's program with one close request: it must end with status 0."""
    said = session.output("taskkill", "/IM", image, check=False).strip()
    status = program.status(EXIT_TIMEOUT)
    left = [w[1:] for w in session.windows() if w[1] in ("Avendrel", "Confirm")]
    check(status == 0, f"after one close request the status was {status}, expected 0 "
                       f"(taskkill: {said!r}; the program's windows: {left})")


def expect_opened(session, expected, what):
    """Waits for the recorded addresses to reach `expected`, then watches a while
    longer so that an extra one would be seen."""
    session.wait_opened(len(expected))
    time.sleep(SETTLE)
    got = session.opened()
    check(got == expected, f"{what}: addresses opened {got}, expected {expected}")


class Beneath:
    """A plain window of one colour over the whole screen, mapped before the
    program so that it lies beneath the program's window; it records presses."""

    def __init__(self, session, colour):
        screen = session.screen
        pixel = (colour[0] << 16) | (colour[1] << 8) | colour[2]
        self.x = screen.x
        self.window = screen.root.create_window(
            0, 0, screen.width, screen.height, 0, screen.x.screen().root_depth,
            background_pixel=pixel, override_redirect=True,
            event_mask=X.ButtonPressMask)
        self.window.map()
        self.x.sync()

    def presses(self):
        found = []
        while self.x.pending_events():
            event = self.x.next_event()
            if event.type == X.ButtonPress and event.window.id == self.window.id:
                found.append((event.root_x, event.root_y))
        return found


def expected_window_pixels():
    """What the screen should show in the window's rectangle: the artwork's
    opaque pixels, and the colour beneath everywhere else."""
    artwork = Image.open(ARTWORK).convert("RGBA")
    check(artwork.size == (800, 493), f"artwork is {artwork.size}")
    pixels = artwork.load()
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            ay = y - ARTWORK_TOP
            if 0 <= ay < artwork.size[1] and pixels[x, ay][3] == 255:
                row.append(pixels[x, ay][:3])
            else:
                check(not (0 <= ay < artwork.size[1]) or pixels[x, ay][3] == 0,
                      "the artwork has partly transparent pixels; this check expects 0 or 255")
                row.append(BENEATH_COLOUR)
        rows.append(row)
    return rows


def compare_screen(session):
    expected = expected_window_pixels()
    # The frame beside the window too: one pixel around it must be the colour beneath.
    shown = session.grab(LEFT - 1, TOP - 1, WIDTH + 2, HEIGHT + 2)
    wrong = []
    for y in range(-1, HEIGHT + 1):
        for x in range(-1, WIDTH + 1):
            inside = 0 <= x < WIDTH and 0 <= y < HEIGHT
            want = expected[y][x] if inside else BENEATH_COLOUR
            got = shown[y + 1][x + 1]
            if got != want:
                wrong.append((x, y, got, want))
    check(not wrong, f"{len(wrong)} pixels differ, e.g. (x, y, shown, expected) {wrong[:5]}")


# ---------------------------------------------------------------- cases

def case_screen(session, exe):
    """The artwork's pixels at the placement; the bands and the side columns
    show the window beneath and pass its clicks through."""
    beneath = Beneath(session, BENEATH_COLOUR)
    program, _ = start(session, exe)
    wait_for(lambda: _screen_matches(session), 10)
    compare_screen(session)

    through = [(400, 40), (400, 630), (2, 300), (797, 200), (794, HOME[1]), (0, 0), (799, 676)]
    beneath.presses()
    for point in through:
        click(session, point)
        time.sleep(0.6)  # apart, so that no two presses make a double-click
    time.sleep(SETTLE)
    got = beneath.presses()
    want = [screen_point(p) for p in through]
    check(got == want, f"presses that reached the window beneath: {got}, expected {want}")
    check(session.opened() == [], f"a click through opened {session.opened()}")

    # The last opaque column of the home-page hotspot is the program's.
    click(session, (793, HOME[1]))
    expect_opened(session, [HOME_URL], "click at window column 793")
    check(beneath.presses() == [], "the click at column 793 also reached the window beneath")
    close_and_expect_zero(session, program)


def _screen_matches(session):
    try:
        compare_screen(session)
        return True
    except Failure:
        return False


# The system cursors the program may ask for (LoadCursorW's resource ids),
# and the names of the X cursors that Wine shows for them when it names them.
IDC_ARROW, IDC_HAND = 0x7F00, 0x7F89
CURSOR_NAMES = {IDC_ARROW: "left_ptr", IDC_HAND: "hand2"}
CURSOR_STEADY = 0.5  # seconds a cursor is shown unchanged before its image is taken as the kind's


class CursorRequests:
    """The system cursors the program asks for, read from a relay trace of its
    LoadCursorW and SetCursor calls (HKCU\\Software\\Wine\\Debug RelayInclude)."""

    CALL = re.compile(r"^([0-9a-f]+):Call user32\.(LoadCursorW|SetCursor)\(([^)]*)\)")
    RETURN = re.compile(r"^([0-9a-f]+):Ret  user32\.LoadCursorW\(\) retval=([0-9a-f]+)")

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.loading = {}  # thread: resource id asked for, until the call returns
        self.handles = {}  # cursor handle: resource id
        self.last = None  # the resource id of the last SetCursor, or its handle if unknown

    def last_set(self):
        with open(self.path, "rb") as trace:
            trace.seek(self.offset)
            data = trace.read()
        whole = data.rfind(b"\n") + 1
        self.offset += whole
        for line in data[:whole].decode(errors="replace").splitlines():
            call, returned = self.CALL.match(line), self.RETURN.match(line)
            if call and call.group(2) == "LoadCursorW":
                instance, resource = (int(v, 16) for v in call.group(3).split(","))
                self.loading[call.group(1)] = resource if instance == 0 else None
            elif call:
                handle = int(call.group(3), 16)
                self.last = self.handles.get(handle, f"handle {handle:#x}")
            elif returned and returned.group(1) in self.loading:
                self.handles[int(returned.group(2), 16)] = self.loading.pop(returned.group(1))
        return self.last


def _cursor_asked(resource):
    if resource in CURSOR_NAMES:
        return f"the system's {CURSOR_NAMES[resource]}"
    return f"resource {resource:#x}" if isinstance(resource, int) else str(resource)


def case_cursor(session, exe):
    """The hand over both hotspots up to their edges, the arrow elsewhere: the
    program asks for the system's hand or arrow, and the screen shows it. With
    the desktop's cursor theme Wine shows named X cursors, and the names are
    checked where it gives them; without a theme Wine draws its own cursors,
    which carry no name, and the two are told apart by their images."""
    check(session.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                       "/d", "user32.LoadCursorW;user32.SetCursor", "/f") == 0,
          "cannot set the relay filter")
    themes = [("the desktop's cursor theme", None),
              ("no cursor theme", os.path.join(session.prefix.path, "no-cursor-theme"))]
    for what, cursor_path in themes:
        if cursor_path:
            session.env["XCURSOR_PATH"] = cursor_path
        named = _check_cursors(session, exe, os.path.join(session.prefix.path, "cursor-trace.log"))
        session.env.pop("XCURSOR_PATH", None)
        print(f"cursor with {what}: " + ("named X cursors (hand2, left_ptr)" if named else
                                         "drawn by Wine without names, told apart by their images"))


def _check_cursors(session, exe, trace_path):
    """Walks the cursor table on a newly started program; whether both kinds
    were shown as named X cursors."""
    session.move(0, 0)  # off the window, which is not there yet
    _, beneath_image = session.cursor()  # the screen's own cursor
    with open(trace_path, "w") as trace:
        program = session.start(exe, debug="+relay", stderr=trace)
    check(session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT),
          "the 800x677 window \"Avendrel\" was not shown")
    requests = CursorRequests(trace_path)
    images = {}  # resource id: the image of Wine's own cursor, learnt at its first point
    names = set()  # of the X cursors shown

    def shown(wanted):
        name, image = session.cursor()
        if requests.last_set() != wanted:
            return False
        if name:  # a cursor of the theme: its name tells what it is
            if name != CURSOR_NAMES[wanted]:
                return False
            names.add(name)
            return True
        # One that Wine drew: its image, the same at every point of its kind
        # and unlike the other kind's.
        if wanted in images:
            return image == images[wanted]
        # The first point of each kind: any image but the screen's own and the
        # other kind's (which may still be shown for a moment), once it has
        # stayed a while (Wine may show another cursor on the way).
        if image == beneath_image or image in images.values():
            return False
        time.sleep(CURSOR_STEADY)
        if session.cursor() != (name, image) or requests.last_set() != wanted:
            return False
        images[wanted] = image
        return True

    hand, arrow = IDC_HAND, IDC_ARROW
    table = [
        (PLAIN, arrow), (SIGNUP, hand), (HOME, hand),
        ((440, 398), hand), ((439, 398), arrow), ((776, 483), hand),
        ((777, 483), arrow), ((776, 484), arrow),
        ((602, 555), hand), ((601, 560), arrow), ((793, 577), hand),
        ((700, 578), arrow), (SIGNUP, hand), (PLAIN, arrow),
    ]
    for point, wanted in table:
        session.move(*screen_point(point))
        if not wait_for(lambda: shown(wanted), 10):
            name, image = session.cursor()
            seen = [kind for kind, known in [("the screen's own", beneath_image)] +
                    [(CURSOR_NAMES[k], v) for k, v in images.items()] if image == known]
            learnt = {CURSOR_NAMES[k]: v[:4] for k, v in images.items()}
            check(False, f"cursor at window {point}: the program asked for "
                         f"{_cursor_asked(requests.last_set())}, the screen shows "
                         f"{name or 'an unnamed cursor'} {image and image[:4]} (image of "
                         f"{seen or 'none known'}; size and hot spot of those learnt: {learnt}); "
                         f"expected {CURSOR_NAMES[wanted]}")
    close_and_expect_zero(session, program)
    return names == set(CURSOR_NAMES.values())


def case_signup_no(session, exe):
    """No: the sign-up page opens only after the box has closed; the window stays.
    A press released outside the window does not hold up the next click, and a
    click on the window while the box is open does nothing."""
    program, main = start(session, exe)
    # Pressed in the home-page hotspot, released right of the window: no click,
    # and the mouse is free again for the sign-up click below.
    session.move(*screen_point(HOME))
    session.xdotool("mousedown", 1)
    session.move(*screen_point(OUTSIDE))
    session.xdotool("mouseup", 1)
    time.sleep(0.6)

    click(session, SIGNUP)
    box = session.wait_window("Confirm", 20)
    check(box, "no box \"Confirm\" after the sign-up click")
    check(list(session.property(box[0], "WM_TRANSIENT_FOR") or []) == [main[0]],
          "the box is not owned by the main window")
    time.sleep(SETTLE)
    check(session.opened() == [], f"opened before the answer: {session.opened()}")

    click(session, HOME)
    time.sleep(SETTLE)
    check(session.find_window("Confirm"), "the box closed after a click on the main window")
    check(session.opened() == [], f"a click on the window under the box opened {session.opened()}")

    session.move(*screen_point(SIGNUP))
    session.key("n")
    check(session.wait_no_window("Confirm", 20), "the box stayed open after n")
    expect_opened(session, [SIGNUP_URL], "after No")
    check(program.running(), "the program ended after No")
    check(session.find_window("Avendrel", WIDTH, HEIGHT), "the window went away after No")

    click(session, HOME)
    expect_opened(session, [SIGNUP_URL, HOME_URL], "home-page click after No")
    close_and_expect_zero(session, program)


def case_signup_yes(session, exe):
    """Yes (Return, the default button): the sign-up page is handed over, then
    the program ends with status 0."""
    program, _ = start(session, exe)
    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up click")
    time.sleep(SETTLE)
    check(session.opened() == [], f"opened before the answer: {session.opened()}")
    session.key("Return")
    status = program.status(EXIT_TIMEOUT)
    check(status == 0, f"status after Yes: {status}, expected 0")
    expect_opened(session, [SIGNUP_URL], "after Yes")


def case_box_ways_out(session, exe):
    """The Yes/No box answers only Yes or No: Escape and a close request leave it
    open. The close request still ends the program, once the box is answered."""
    program, _ = start(session, exe)
    session.move(*screen_point(SIGNUP))
    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up click")
    session.key("Escape")
    time.sleep(SETTLE)
    check(session.find_window("Confirm"), "Escape closed the box")
    check(session.opened() == [], f"Escape opened {session.opened()}")

    session.wine("taskkill", "/IM", "Avendrel.exe")
    time.sleep(SETTLE)
    check(session.find_window("Confirm"), "a close request closed the box")
    check(program.running(), "the program ended while its box was open")
    check(session.opened() == [], f"a close request opened {session.opened()}")

    session.key("n")
    status = program.status(EXIT_TIMEOUT)
    check(status == 0, f"status after No with a close request pending: {status}, expected 0")
    expect_opened(session, [SIGNUP_URL], "No after a close request")


def case_home_page(session, exe):
    """One address per recognised click on the home-page hotspot, never an end."""
    program, _ = start(session, exe)

    def single():
        click(session, HOME)

    def double():
        session.move(*screen_point(HOME))
        session.xdotool("click", "--repeat", 2, "--delay", 120, 1)

    def press_move_release(start_point, end_point, button=1):
        def act():
            session.move(*screen_point(start_point))
            session.xdotool("mousedown", button)
            session.move(*screen_point(end_point))
            session.xdotool("mouseup", button)
        return act

    table = [
        ("a click", single, 1),
        ("a second click", single, 1),
        ("a double-click (its second press is no click)", double, 1),
        ("a right-button click", lambda: click(session, HOME, 3), 0),
        ("a middle-button click", lambda: click(session, HOME, 2), 0),
        ("pressed inside, released on the artwork", press_move_release(HOME, PLAIN), 0),
        ("pressed on the artwork, released inside", press_move_release(PLAIN, HOME), 0),
        ("pressed inside, moved out and back in", press_move_release(HOME, HOME), 1),
        ("a third click", single, 1),
    ]
    expected = []
    for what, act, count in table:
        act()
        expected += [HOME_URL] * count
        expect_opened(session, expected, what)
        check(program.running(), f"the program ended after {what}")
        time.sleep(0.6)
    close_and_expect_zero(session, program)


def case_load(session, exe):
    """Fifty clicks on the home-page hotspot give exactly fifty addresses; then,
    with the box open, clicks on the window give nothing and the Yes still ends
    the program."""
    program, _ = start(session, exe)
    # Two points far enough apart that no pair of clicks makes a double-click.
    points = [(610, 560), (780, 572)]
    clicks = 50
    for i in range(clicks):
        session.move(*screen_point(points[i % 2]))
        session.xdotool("click", 1)
        time.sleep(0.15)
    expect_opened(session, [HOME_URL] * clicks, f"{clicks} home-page clicks")
    check(program.running(), "the program ended during the home-page clicks")

    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up click")
    for point in points * 3:
        click(session, point)
        time.sleep(0.15)
    time.sleep(SETTLE)
    check(session.opened() == [HOME_URL] * clicks,
          f"clicks while the box was open opened {session.opened()[clicks:]}")
    session.key("Return")
    status = program.status(EXIT_TIMEOUT)
    check(status == 0, f"status after Yes: {status}, expected 0")
    expect_opened(session, [HOME_URL] * clicks + [SIGNUP_URL], "Yes after the load")
    print(f"wine load: {clicks} clicks, {len(session.opened()) - 1} home-page addresses recorded")


def case_close(session, exe):
    """Every close request ends the program with status 0 and asks nothing."""

    def by_taskkill(main):
        session.wine("taskkill", "/IM", "Avendrel.exe")

    def by_delete_window(main):
        session.send_delete_window(main[0])

    def by_task_list(main):
        # What a task list's close does: a delete request to the window that
        # stands for the program there.
        entry = [w for w in session.windows() if w[1] == "Avendrel" and w[0] != main[0]
                 and session.property(w[0], "WM_TRANSIENT_FOR") is None]
        check(len(entry) == 1, f"application windows: {entry}")
        session.send_delete_window(entry[0][0])

    def by_alt_f4(main):
        session.move(*screen_point(PLAIN))
        session.key("alt+F4")

    def by_session_end(main):
        session.wine("wineboot", "--end-session")

    table = [("taskkill", by_taskkill), ("WM_DELETE_WINDOW", by_delete_window),
             ("the task list's close", by_task_list),
             ("Alt+F4", by_alt_f4), ("the end of the session", by_session_end)]
    for what, request in table:
        program, main = start(session, exe)
        time.sleep(0.5)
        request(main)
        asked = False
        deadline = time.monotonic() + EXIT_TIMEOUT
        while program.running() and time.monotonic() < deadline:
            asked = asked or session.find_window("Confirm") is not None
            time.sleep(0.05)
        status = program.status(1)
        check(status == 0, f"{what}: status {status}, expected 0")
        check(not asked, f"{what}: a box was shown")
        check(session.opened() == [], f"{what}: opened {session.opened()}")
        session.wait_no_window("Avendrel", 10)


def _icon_images(value):
    """{(width, height): ARGB words} from a _NET_WM_ICON value."""
    images, index = {}, 0
    while index + 2 <= len(value):
        width, height = value[index], value[index + 1]
        images[(width, height)] = list(value[index + 2:index + 2 + width * height])
        index += 2 + width * height
    return images


def _ico_argb(size):
    """The ARGB words of the .ico's 32-bit image of the given size."""
    import struct
    with open(os.path.join(SOURCE, "resources", "avendrel.ico"), "rb") as file:
        data = file.read()
    for index in range(struct.unpack("<H", data[4:6])[0]):
        width, _, _, _, _, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * index:22 + 16 * index])
        image = data[offset:offset + length]
        if width == size and bits == 32 and not image.startswith(b"\x89PNG"):
            pixels = image[40:40 + size * size * 4]
            rows = [pixels[y * size * 4:(y + 1) * size * 4] for y in range(size)][::-1]
            return [struct.unpack("<I", row[i:i + 4])[0] for row in rows
                    for i in range(0, size * 4, 4)]
    return None


def case_task_entry(session, exe):
    """The zero-size application window stands for the program: it is titled
    from the executable's file name and carries MAINICON; the main window is
    owned by it, so it gets no entry of its own."""
    folder = os.path.join(session.prefix.path, "renamed")
    os.makedirs(folder, exist_ok=True)
    renamed = os.path.join(folder, "PROMO.setup.exe")
    shutil.copy(exe, renamed)
    program, main = start(session, renamed)
    entries = [w for w in session.windows() if w[1] == "Promo"]
    check(len(entries) == 1, f"windows titled \"Promo\": {entries}")
    if entries:
        entry = entries[0][0]
        check(entries[0][4:6] == (1, 1), f"the application window is {entries[0][4:6]} on X")
        check(session.property(entry, "WM_TRANSIENT_FOR") is None,
              "the application window is owned by another")
        check(list(session.property(main[0], "WM_TRANSIENT_FOR") or []) == [entry],
              "the main window is not owned by the application window")
        for window in (entry, main[0]):
            icons = _icon_images(session.property(window, "_NET_WM_ICON") or [])
            check(sorted(icons) == [(16, 16), (32, 32)], f"window icons {sorted(icons)}")
            check(icons.get((32, 32)) == _ico_argb(32),
                  "the 32 x 32 window icon is not MAINICON's 32-bit image")
        # The entry offers closing, never minimising, maximising or resizing
        # (the functions Wine gives the window manager follow the styles).
        functions = (session.property(entry, "_MOTIF_WM_HINTS") or [0, 0])[1]
        check(functions & MWM_FUNC_CLOSE, f"the entry cannot be closed (functions {functions:#x})")
        check(not functions & (MWM_FUNC_RESIZE | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE),
              f"the entry can be resized, minimised or maximised (functions {functions:#x})")
    close_and_expect_zero(session, program, "PROMO.setup.exe")

    # Every letter after the first is lowered as the system lowers it.
    renamed = os.path.join(folder, "\u00c4VENDREL\u00c4\u00d6.exe")
    shutil.copy(exe, renamed)
    program, main = start(session, renamed)
    entry = list(session.property(main[0], "WM_TRANSIENT_FOR") or [0])[0]
    title = bytes(session.property(entry, "_NET_WM_NAME") or b"").decode("utf-8", "replace")
    check(title == "\u00c4vendrel\u00e4\u00f6", f"the entry is titled {title!r}")
    close_and_expect_zero(session, program, "\u00c4VENDREL\u00c4\u00d6.exe")


def case_arguments(session, exe):
    """Command-line arguments change nothing."""
    Beneath(session, BENEATH_COLOUR)
    program, _ = start(session, exe, "/close", "--signup", "http://example.invalid/", "-x")
    wait_for(lambda: _screen_matches(session), 10)
    compare_screen(session)
    click(session, HOME)
    expect_opened(session, [HOME_URL], "home-page click with arguments")
    close_and_expect_zero(session, program)


def case_presentation_refused(session, exe):
    """The desktop refuses the window's first picture (the backend's own
    presentation stands behind a refusal): the program says so in one line
    and an error box, goes on, shows the picture once the window is shown,
    takes clicks and ends with 0 on a close request."""
    refusing = os.path.join(os.path.dirname(exe), "avendrel_present_refused.exe")
    if not os.path.exists(refusing):
        raise Failure(f"{refusing} was not built")
    Beneath(session, BENEATH_COLOUR)
    errors_path = os.path.join(session.prefix.path, "present_refused.err")
    with open(errors_path, "wb") as errors:
        program = session.start(refusing, stderr=errors)
    box = session.wait_window("Error", START_TIMEOUT)
    check(box, "no error box \"Error\" when the picture was refused")
    time.sleep(SETTLE)
    check(session.find_window("Error"), "the error box went away by itself")
    session.key("Return")
    check(session.wait_no_window("Error", 20), "the error box stayed open after Return")
    main = session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT)
    check(main and (main[2], main[3]) == (LEFT, TOP), f"the main window is {main}")
    check(wait_for(lambda: _screen_matches(session), 20), "the picture did not appear")
    click(session, HOME)
    expect_opened(session, [HOME_URL], "home-page click after the refusal")
    close_and_expect_zero(session, program, "avendrel_present_refused.exe")
    with open(errors_path, "rb") as errors:
        said = errors.read().decode(errors="replace").replace("\r\n", "\n")
    want = "The window Form1 could not be shown: the desktop did not take its picture.\n"
    check(said == want, f"standard error {said!r}, expected {want!r}")


def _premultiplied(image):
    """The ARGB words that a premultiplying decoder should give for a Pillow image."""
    words = []
    for r, g, b, a in image.convert("RGBA").getdata():
        words.append((a << 24) | ((r * a + 127) // 255 << 16) | ((g * a + 127) // 255 << 8) |
                     ((b * a + 127) // 255))
    return words


def case_png_decoding(session, exe):
    """The backend's PNG decoding: premultiplied ARGB with rounding for every
    alpha, colour types other than RGBA, and a refusal of anything else."""
    import struct
    from PIL import PngImagePlugin
    checker = os.path.join(os.path.dirname(exe), "avendrel_decode_check.exe")
    check(os.path.exists(checker), f"{checker} was not built")
    folder = os.path.join(session.prefix.path, "decoding")
    os.makedirs(folder, exist_ok=True)

    rgba = Image.new("RGBA", (16, 16))
    alphas = [0, 1, 2, 64, 127, 128, 129, 200, 254, 255]
    rgba.putdata([((x * 17) % 256, (y * 29 + 3) % 256, (x * y * 7 + 11) % 256,
                   alphas[(x + y * 16) % len(alphas)]) for y in range(16) for x in range(16)])
    gamma = PngImagePlugin.PngInfo()
    gamma.add(b"sRGB", b"\x00")
    gamma.add(b"gAMA", struct.pack(">I", 45455))
    palette = Image.new("P", (8, 4))
    palette.putpalette([i * 3 % 256 for i in range(768)])
    palette.putdata([i * 7 % 256 for i in range(32)])
    grey = Image.new("L", (5, 3))
    grey.putdata([i * 16 for i in range(15)])
    good = {"rgba.png": (rgba, {"pnginfo": gamma}), "rgb.png": (rgba.convert("RGB"), {}),
            "palette.png": (palette, {"transparency": 5}), "grey.png": (grey, {})}
    files, expected = [], []
    for name, (image, options) in good.items():
        path = os.path.join(folder, name)
        image.save(path, "PNG", **options)
        reloaded = Image.open(path)
        words = _premultiplied(reloaded)
        files.append(path)
        expected.append(f"{reloaded.size[0]}x{reloaded.size[1]} " +
                        " ".join(f"{w:08x}" for w in words))
    with open(files[0], "rb") as source:
        png = source.read()
    bad = {"truncated.png": png[:len(png) // 2], "empty.png": b"", "noise.png": bytes(range(256)),
           "header-only.png": png[:33]}
    rgba.save(os.path.join(folder, "picture.bmp"), "BMP")
    files.append(os.path.join(folder, "picture.bmp"))
    expected.append("failed")
    for name, data in bad.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as out:
            out.write(data)
        files.append(path)
        expected.append("failed")

    lines = session.output(checker, *files).splitlines()
    names = [os.path.basename(f) for f in files]
    check(len(lines) == len(files), f"{len(lines)} results for {len(files)} files: {lines[:3]}")
    for name, got, want in zip(names, lines, expected):
        if got != want:
            first = next((i for i, (g, w) in enumerate(zip(got.split(), want.split())) if g != w),
                         None)
            detail = "" if first is None else f" (word {first}: {got.split()[first]} vs {want.split()[first]})"
            check(False, f"{name}: decoded differently{detail}: {got[:60]} / {want[:60]}")


# What an assistive-technology client reads from the window: roles, states
# and locations as oleacc defines them.
ROLE_CLIENT, ROLE_GRAPHIC, ROLE_PUSHBUTTON, ROLE_LINK = 10, 40, 43, 30
STATE_UNAVAILABLE, STATE_READONLY, STATE_LINKED = 0x1, 0x40, 0x400000
DESCRIPTION = ("Thank you for downloading Avendrel! Manage your bookings on the go with the free "
               "Avendrel phone apps. Online booking, open around the clock. Automatic e-mail and "
               "text reminders. Your calendar on every device. Award-winning: Best Booking App "
               "2027. Free for 30 days \u2013 every feature included.")
ACCESSIBLE_TREE = [
    # id, role, state, window rectangle, default action, name, description
    (0, ROLE_CLIENT, 0, (0, 0, 800, 677), "", "Avendrel", DESCRIPTION),
    (1, ROLE_GRAPHIC, STATE_READONLY, (0, 92, 800, 493), "", "Thank you for downloading Avendrel!", ""),
    (2, ROLE_PUSHBUTTON, 0, (440, 398, 337, 86), "Press",
     "Start free trial. Sign up now \u2013 no credit card required",
     "A browser window will open on book.avendrel.com"),
    (3, ROLE_LINK, STATE_LINKED, (602, 555, 193, 23), "Jump", "www.avendrel.com", ""),
]
S_OK, E_FAIL, DISP_E_MEMBERNOTFOUND = "0x00000000", "0x80004005", "0x80020003"
TONE_CALL = "Call KERNEL32.Beep(000004b0,00000005)"


def _accessible_client(session, exe, *args):
    client = os.path.join(os.path.dirname(os.path.abspath(exe)), "avendrel_accessible_client.exe")
    check(os.path.exists(client), f"{client} was not built")
    return session.output(client, *args, check=False)


def _read_tree(session, exe):
    """{id: (role, state, (left, top, width, height), action, name, description)}"""
    text = _accessible_client(session, exe, "read")
    pattern = re.compile(r'node (\d+) role=(-?\d+) state=0x([0-9A-F]+) location=(-?\d+),(-?\d+),'
                         r'(-?\d+),(-?\d+) action="(.*)" name="(.*)" description="(.*)"$')
    nodes = {}
    for line in text.splitlines():
        found = pattern.match(line)
        if found:
            g = found.groups()
            nodes[int(g[0])] = (int(g[1]), int(g[2], 16), tuple(int(v) for v in g[3:7]),
                                g[7], g[8], g[9])
    check(text.startswith(f"count {len(ACCESSIBLE_TREE) - 1}\n"), f"the client read: {text!r}")
    return nodes


def case_accessible(session, exe):
    """A separate oleacc client reads the window's client object through
    AccessibleObjectFromWindow: every role, state, name, description and
    screen location, hit tests, and default actions that do what clicks do
    (one address and one tone each; nothing while the box is open; Yes ends)."""
    # Each call of Beep is traced (and nothing else) to count the tones.
    check(session.wine("reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude",
                       "/d", "KERNEL32.Beep", "/f") == 0, "cannot set the relay filter")
    trace_path = os.path.join(session.prefix.path, "accessible-trace.log")
    with open(trace_path, "w") as trace:
        program = session.start(exe, debug="+relay", stderr=trace)
    check(session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT),
          "the 800x677 window \"Avendrel\" was not shown")

    def tones():
        with open(trace_path, errors="replace") as trace:
            return trace.read().count(TONE_CALL)

    def expect_tree(unavailable):
        nodes = _read_tree(session, exe)
        for id_, role, state, (x, y, w, h), action, name, description in ACCESSIBLE_TREE:
            state |= STATE_UNAVAILABLE if unavailable else 0
            expected = (role, state, (LEFT + x, TOP + y, w, h), action, name, description)
            check(nodes.get(id_) == expected, f"object {id_}: read {nodes.get(id_)}, expected {expected}")

    expect_tree(unavailable=False)
    for point, expected in [(SIGNUP, "2"), (HOME, "3"), (PLAIN, "1"), ((400, 40), "0"),
                            ((400, 640), "0"), (OUTSIDE, "none")]:
        x, y = screen_point(point)
        said = _accessible_client(session, exe, "hit", str(x), str(y)).strip()
        check(said == f"hit {x},{y} -> {expected}", f"hit test at window {point}: {said!r}")

    for id_, result in [("1", DISP_E_MEMBERNOTFOUND), ("0", DISP_E_MEMBERNOTFOUND), ("4", "0x80070057")]:
        said = _accessible_client(session, exe, "do", id_).strip()
        check(said == f"do {id_} -> {result}", f"default action of {id_}: {said!r}, expected {result}")
    said = _accessible_client(session, exe, "do", "3").strip()
    check(said == f"do 3 -> {S_OK}", f"home-page default action: {said!r}")
    expect_opened(session, [HOME_URL], "the home-page default action")
    check(wait_for(lambda: tones() == 1, 20) and tones() == 1, f"{tones()} tones after one action")

    said = _accessible_client(session, exe, "do", "2").strip()
    check(said == f"do 2 -> {S_OK}", f"sign-up default action: {said!r}")
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up default action")
    expect_tree(unavailable=True)
    said = _accessible_client(session, exe, "do", "3").strip()
    check(said == f"do 3 -> {E_FAIL}", f"home-page default action under the box: {said!r}")
    time.sleep(SETTLE)
    check(session.opened() == [HOME_URL], f"opened while the box was open: {session.opened()}")
    check(tones() == 2, f"{tones()} tones, expected 2 (one per action, none under the box)")

    session.key("n")
    check(session.wait_no_window("Confirm", 20), "the box stayed open after n")
    expect_opened(session, [HOME_URL, SIGNUP_URL], "after No")
    check(program.running(), "the program ended after No")
    expect_tree(unavailable=False)

    check(_accessible_client(session, exe, "do", "2").strip() == f"do 2 -> {S_OK}",
          "the second sign-up default action failed")
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the second sign-up action")
    session.key("Return")
    status = program.status(EXIT_TIMEOUT)
    check(status == 0, f"status after Yes: {status}, expected 0")
    expect_opened(session, [HOME_URL, SIGNUP_URL, SIGNUP_URL], "after Yes")
    check(tones() == 3, f"{tones()} tones after three actions")


def case_accessible_events(session, exe):
    """An out-of-context WinEvent client (SetWinEventHook, as screen readers
    listen) hears both hotspots (children 2 and 3) change state as the box
    opens, reading them unavailable, and again as it closes, reading them
    available; the tree still reads as before."""
    client = os.path.join(os.path.dirname(os.path.abspath(exe)), "avendrel_winevent_client.exe")
    check(os.path.exists(client), f"{client} was not built")
    log = os.path.join(session.prefix.path, "winevents.log")
    if os.path.exists(log):
        os.remove(log)
    program, _ = start(session, exe)
    listener = session.start(client, "Z:" + log.replace("/", "\\"))

    def lines():
        try:
            with open(log, errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    check(wait_for(lambda: "ready" in lines(), START_TIMEOUT),
          f"the WinEvent client did not start: {lines()}, running {listener.running()}")

    def changes(first):
        found = {}
        for line in lines()[first:]:
            m = re.match(r"statechange child=(\d+) state=0x([0-9A-F]+)$", line)
            if m:
                found.setdefault(int(m.group(1)), []).append(int(m.group(2), 16))
        return found

    def hotspots_read(first, unavailable):
        found = changes(first)
        return all(any(bool(state & STATE_UNAVAILABLE) == unavailable for state in found.get(child, []))
                   for child in (2, 3))

    mark = len(lines())
    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up click")
    check(wait_for(lambda: hotspots_read(mark, True), 20),
          f"as the box opened, the client heard {lines()[mark:]}")
    check(all(child in (0, 1, 2, 3) for child in changes(mark)),
          f"state changes of objects the window lacks: {lines()[mark:]}")
    mark = len(lines())
    session.key("n")
    check(session.wait_no_window("Confirm", 20), "the box stayed open after n")
    check(wait_for(lambda: hotspots_read(mark, False), 20),
          f"as the box closed, the client heard {lines()[mark:]}")
    expect_opened(session, [SIGNUP_URL], "after No")
    nodes = _read_tree(session, exe)
    for id_, role, state, (x, y, w, h), action, name, description in ACCESSIBLE_TREE:
        expected = (role, state, (LEFT + x, TOP + y, w, h), action, name, description)
        check(nodes.get(id_) == expected, f"object {id_}: read {nodes.get(id_)}, expected {expected}")
    listener.stop()
    close_and_expect_zero(session, program)


# DLLs that Avendrel.exe loads at run time under Wine (beside the ones its
# import table names, which the loader maps before any of its code runs):
# COM and the imaging component at start, the window's own, the shell and the
# box at the first clicks.
RUN_TIME_DLLS = ["ole32", "combase", "rpcrt4", "oleaut32", "propsys", "shcore", "shlwapi",
                 "windowscodecs", "uxtheme", "shell32", "comctl32", "msimg32"]


def _plant_dlls(session, exe, folder):
    """A downloads folder with the program and, beside it, a DLL under each
    run-time DLL's name that leaves NAME.dll.loaded when it is loaded. Wine is
    told to prefer such native DLLs, as Windows would take any it finds first."""
    planted = os.path.join(os.path.dirname(exe), "avendrel_planted_dll.dll")
    control = os.path.join(os.path.dirname(exe), "avendrel_dll_search_check.exe")
    check(os.path.exists(planted) and os.path.exists(control),
          f"{planted} or {control} was not built")
    os.makedirs(folder, exist_ok=True)
    for name in RUN_TIME_DLLS:
        shutil.copy(planted, os.path.join(folder, name + ".dll"))
    for program in (exe, control):
        shutil.copy(program, folder)
    session.env["WINEDLLOVERRIDES"] += ";" + ",".join(RUN_TIME_DLLS) + "=n,b"
    return os.path.join(folder, os.path.basename(exe)), os.path.join(folder,
                                                                       os.path.basename(control))


def _marks(folder):
    marks = sorted(name for name in os.listdir(folder) if name.endswith(".loaded"))
    for name in marks:
        os.remove(os.path.join(folder, name))
    return [name[:-len(".dll.loaded")] for name in marks]


def _run_in(session, folder, *command):
    """Runs a Windows program to its end with `folder` as its current folder."""
    return session.output(*command, cwd=folder, check=False)


def case_planted_dlls(session, exe):
    """DLLs planted beside the program, named like those it loads at run time,
    are never loaded: not at start, not by the box, not by the shell. A
    program without the restriction shows that they would be."""
    folder = os.path.join(session.prefix.path, "drive_c", "users", "Public", "Downloads")
    program_path, control = _plant_dlls(session, exe, folder)

    said = _run_in(session, folder, control, *[n + ".dll" for n in RUN_TIME_DLLS]).split()
    check(_marks(folder) == sorted(RUN_TIME_DLLS),
          f"without the restriction the planted DLLs were not all loaded ({said}); "
          "the plant proves nothing")
    said = _run_in(session, folder, control, "restricted",
                   *[n + ".dll" for n in RUN_TIME_DLLS]).splitlines()
    check(said == [f"{n}.dll loaded" for n in RUN_TIME_DLLS],
          f"with the restriction the system's DLLs did not load: {said}")
    check(_marks(folder) == [], "the restriction let a planted DLL be loaded")

    program = session.start(program_path, cwd=folder)
    main = session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT)
    check(main, "the 800x677 window \"Avendrel\" was not shown")
    loaded = _marks(folder)
    check(loaded == [], f"planted DLLs loaded at start: {loaded}")
    click(session, HOME)
    expect_opened(session, [HOME_URL], "home-page click beside planted DLLs")
    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "the box was not shown")
    session.key("Return")
    check(program.status(EXIT_TIMEOUT) == 0, "Yes did not end the program with status 0")
    expect_opened(session, [HOME_URL, SIGNUP_URL], "sign-up Yes beside planted DLLs")
    loaded = _marks(folder)
    check(loaded == [], f"planted DLLs loaded by the box or the shell: {loaded}")


class Driver:
    """The window driver beside the program (avendrel_window_driver.exe): the
    program's windows as Windows sees them, and input posted to them."""

    def __init__(self, session, exe):
        self.session = session
        self.path = os.path.join(os.path.dirname(exe), "avendrel_window_driver.exe")
        check(os.path.exists(self.path), f"{self.path} was not built")

    def windows(self):
        """{(class, title): (left, top, width, height, visible, owner)}"""
        found = {}
        for line in self.session.output(self.path, "list", check=False).splitlines():
            parts = line.strip().split("|")
            if len(parts) != 5:
                continue
            kind, title, rect, visible, owner = parts
            found[(kind, title)] = (*map(int, rect.split(",")), visible == "1", owner)
        return found

    def wait(self, kind, title, timeout):
        return wait_for(lambda: self.windows().get((kind, title)), timeout)

    def click(self, point):
        check(self.session.wine(self.path, "click", *map(str, point)) == 0,
              "no main window to click on")

    def answer(self, title, button):
        check(self.session.wine(self.path, "answer", title, str(button)) == 0,
              f"no box \"{title}\" to answer")


SEE_MASK_NOASYNC = 0x100
SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE = 0xF020, 0xF030, 0xF120
# Wine's trace of every ShellExecuteExW call (debug channel "exec").
SHELL_CALL = re.compile(r'SHELL_execute mask=0x([0-9a-fA-F]+) hwnd=([0-9a-fA-F]+) verb=(\S+) '
                        r'file=(\S+) parm=(\S+) dir=(\S+) show=0x([0-9a-fA-F]+)')


def _shell_calls(trace_path):
    """(mask, owner, verb, file, parameters, directory, show) of every hand-over traced."""
    with open(trace_path, "rb") as trace:
        text = trace.read().decode(errors="replace")
    return [(int(m[1], 16), int(m[2], 16), m[3], m[4], m[5], m[6], int(m[7], 16))
            for m in SHELL_CALL.finditer(text)]


def case_shell_hand_over(session, exe):
    """Each address goes to the shell with ShellExecuteExW and SEE_MASK_NOASYNC
    alone (the shell finishes the hand-over before it returns, since the
    program may end at once), no owner, the verb OPEN, the address, empty
    parameters and directory and show command 1, as Wine's trace of the call
    shows; the home page arrives, and the sign-up page answered Yes arrives
    although the program ends right after handing it over."""
    trace_path = os.path.join(session.prefix.path, "shell-trace.txt")
    with open(trace_path, "wb") as trace:
        program = session.start(exe, debug="-all,+exec", stderr=trace)
    check(session.wait_window("Avendrel", START_TIMEOUT, WIDTH, HEIGHT),
          "the 800x677 window \"Avendrel\" was not shown")
    click(session, HOME)
    check(session.wait_opened(1) == [HOME_URL], f"home page: opened {session.opened()}")
    click(session, SIGNUP)
    check(session.wait_window("Confirm", 20), "no box \"Confirm\" after the sign-up click")
    session.key("Return")
    status = program.status(EXIT_TIMEOUT)
    check(status == 0, f"status after Yes: {status}, expected 0")
    expect_opened(session, [HOME_URL, SIGNUP_URL], "home page, then sign-up answered Yes")
    calls = [c for c in _shell_calls(trace_path) if c[3] in (f'L"{HOME_URL}"', f'L"{SIGNUP_URL}"')]
    want = [(SEE_MASK_NOASYNC, 0, 'L"OPEN"', f'L"{url}"', 'L""', 'L""', 1)
            for url in (HOME_URL, SIGNUP_URL)]
    print(f"traced hand-overs: {calls}")
    check(calls == want, f"ShellExecuteExW was called with {calls}, expected {want}")


def case_restore(session, exe):
    """The window refuses to be minimised or maximised by the system's
    commands; minimised from outside (another program may), it is brought
    back by SC_RESTORE, as the task list sends it, with the picture at its place."""
    driver = Driver(session, exe)

    def state():
        return session.output(driver.path, "state", check=False).split()

    Beneath(session, BENEATH_COLOUR)
    program, _ = start(session, exe)
    check(wait_for(lambda: _screen_matches(session), START_TIMEOUT), "the picture was not shown")
    for code, name in ((SC_MINIMIZE, "SC_MINIMIZE"), (SC_MAXIMIZE, "SC_MAXIMIZE")):
        check(session.wine(driver.path, "syscommand", hex(code)) == 0, "no window to command")
        check(state() == ["normal", "1"], f"after {name}: {state()}, expected normal and shown")
    compare_screen(session)

    check(session.wine(driver.path, "minimize") == 0, "no window to minimise")
    check(wait_for(lambda: state() == ["minimized", "0"], 20),
          f"minimised from outside: {state()}, expected minimised with the picture hidden")
    check(wait_for(lambda: not _screen_matches(session), 20), "the picture stayed on the screen")

    check(session.wine(driver.path, "syscommand", hex(SC_RESTORE)) == 0, "no window to restore")
    check(wait_for(lambda: state() == ["normal", "1"], 20),
          f"after SC_RESTORE: {state()}, expected normal and shown")
    check(wait_for(lambda: _screen_matches(session), 20),
          "the picture did not come back at its place after SC_RESTORE")
    compare_screen(session)
    click(session, HOME)
    expect_opened(session, [HOME_URL], "home page after restoring")
    close_and_expect_zero(session, program)


CASES = {name[len("case_"):]: function for name, function in globals().items()
         if name.startswith("case_")}


def fail(message):
    print(f"FAIL: {message}")
    return 1


def prepare(winearch, state_file):
    """Makes the prefix of one kind. A 32-bit prefix on a machine that runs no
    32-bit code is not made: the reason is recorded for the cases, which skip."""
    if winearch not in wine_session.PREFIX_LOADERS:
        return fail(f"no prefix kind {winearch!r} (win64 or win32)")
    remove(state_file)  # a prefix an interrupted run left behind
    wine = wine_session.PREFIX_LOADERS[winearch]
    if winearch == "win32":
        refused = ia32_code.refused()
        if refused:
            with open(state_file, "w") as state:
                json.dump({"refused": refused}, state)
            print(f"SKIP: {refused}")
            return wine_session.SKIP
    if not os.path.exists(wine):
        return fail(f"{wine} is not installed (tools/install-deps.sh and tools/install-wine32.sh "
                    "install Wine)")
    prefix = Prefix.create(winearch)
    with open(state_file, "w") as state:
        json.dump({"path": prefix.path, "winearch": winearch}, state)
    print(f"{winearch} prefix {prefix.path}")
    return 0


def remove(state_file):
    if os.path.exists(state_file):
        with open(state_file) as state:
            recorded = json.load(state)
        if "path" in recorded:
            Prefix(recorded["path"], recorded["winearch"]).remove()
        os.remove(state_file)
    return 0


def run(state_file, exe, name):
    """Runs one case; 0 when it passed, 1 when it failed or could not run, 77
    when it is a 32-bit case on a machine that runs no 32-bit code."""
    if name not in CASES:
        return fail(f"no case {name!r}; the cases are {sorted(CASES)}")
    if not os.path.exists(state_file):
        return fail(f"no Wine prefix ({state_file} is missing: its prepare step failed)")
    with open(state_file) as state:
        recorded = json.load(state)
    machine = wine_session.pe_machine(exe)
    if "refused" in recorded:
        print(f"SKIP: {recorded['refused']}")
        return wine_session.SKIP
    if not os.path.exists(exe):
        return fail(f"{exe} does not exist (build its Windows preset first)")
    if machine not in wine_session.LOADERS:
        return fail(f"{exe} is not a Windows program for x86 or x64 (machine {machine})")
    if machine == MACHINE_I386 and recorded["winearch"] == "win64":
        # A 64-bit prefix records no verdict on 32-bit code: asked here.
        refused = ia32_code.refused()
        if refused:
            print(f"SKIP: {refused}")
            return wine_session.SKIP
    if recorded["winearch"] == "win32" and machine != MACHINE_I386:
        return fail(f"{exe} is a 64-bit program; a 32-bit prefix cannot run it")
    wine = wine_session.LOADERS[machine]
    if not os.path.exists(wine):
        return fail(f"{wine} is not installed (tools/install-wine32.sh installs the 32-bit Wine)")
    prefix = Prefix(recorded["path"], recorded["winearch"])
    session = Session(prefix, SCREEN_W, SCREEN_H, wine_loader=wine)
    started = time.monotonic()
    try:
        CASES[name](session, exe)
    except Failure as failure:
        print(f"FAIL {name}: {failure}")
        return 1
    finally:
        session.close()
    print(f"PASS {name} ({time.monotonic() - started:.1f} s, {os.path.basename(wine)} in a "
          f"{prefix.winearch} prefix)")
    return 0


def main(argv):
    # A test killed by CTest (its time-out) still ends what it started.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    if argv[1:2] == ["cases"]:
        print("\n".join(CASES))
        return 0
    if argv[1:2] == ["prepare"] and len(argv) == 4:
        return prepare(argv[2], argv[3])
    if argv[1:2] == ["remove"] and len(argv) == 3:
        return remove(argv[2])
    if argv[1:2] == ["run"] and len(argv) == 5:
        return run(argv[2], argv[3], argv[4])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
