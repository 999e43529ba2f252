#!/usr/bin/python3
"""End-to-end tests of the Linux program on a virtual display.

    test_program.py CASE --program PATH --artwork PNG --cursor-tool PATH [--output DIR]

Each case runs on its own Xvfb display and ends every process it starts."""

import argparse
import math
import os
import signal
import subprocess
import sys
import time

from PIL import Image
from Xlib import X

from desktop import (ARTWORK_TOP, BENEATH_COLOUR, HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS,
                     WINDOW_HEIGHT, WINDOW_LEFT, WINDOW_TOP, WINDOW_WIDTH, Desktop, TestFailure,
                     check, end_processes_with_this_test, read_line, run_case, wait_for)

SIGN_UP_POINT = (600, 440)
HOME_PAGE_POINT = (700, 566)
ARTWORK_POINT = (200, 300)  # on the picture, outside both hotspots

TONE_FRAMES = 240  # 5 ms at 48 kHz
TONE_FREQUENCY = 1200


def expected_window_pixels(artwork_path):
    """For each window pixel the artwork's RGB, or None where it is transparent."""
    artwork = Image.open(artwork_path).convert("RGBA")
    width, height = artwork.size
    pixels = artwork.load()

    def at(x, y):
        ay = y - ARTWORK_TOP
        if not (0 <= ay < height and 0 <= x < width):
            return None
        r, g, b, a = pixels[x, ay]
        return None if a == 0 else (r, g, b)
    return at


def check_screen_shows_window(desktop, artwork_path, what):
    shot = desktop.screenshot()
    expected = expected_window_pixels(artwork_path)
    screen = shot.load()
    wrong = []
    for y in range(WINDOW_HEIGHT):
        for x in range(WINDOW_WIDTH):
            want = expected(x, y) or BENEATH_COLOUR
            got = screen[WINDOW_LEFT + x, WINDOW_TOP + y]
            if got != want:
                wrong.append((x, y, got, want))
    check(not wrong, "%s: %d window pixels differ, first %s" % (what, len(wrong), wrong[:3]))
    return shot


def screen_shows_window(desktop, artwork_path):
    try:
        check_screen_shows_window(desktop, artwork_path, "")
        return True
    except TestFailure:
        return False


def cover_and_uncover(desktop, left, top, width, height):
    """Maps a black window over part of the screen and takes it away again, so
    that what lay beneath must be drawn anew."""
    screen = desktop.x.screen()
    cover = screen.root.create_window(left, top, width, height, 0, screen.root_depth,
                                      background_pixel=screen.black_pixel)
    cover.map()
    desktop.x.sync()
    time.sleep(0.2)
    cover.unmap()
    desktop.x.sync()


def check_tone(samples, tones):
    """`tones` tones of 240 frames of a 1200 Hz sine were played."""
    check(len(samples) == TONE_FRAMES * tones,
          "expected %d tone frames, captured %d" % (TONE_FRAMES * tones, len(samples)))
    for t in range(tones):
        tone = samples[t * TONE_FRAMES:(t + 1) * TONE_FRAMES]
        peak = max(abs(s) for s in tone)
        check(peak > 1000, "the tone is silent")
        # Correlation with the expected sine; 1.0 is a perfect match.
        sine = [math.sin(2 * math.pi * TONE_FREQUENCY * i / 48000) for i in range(TONE_FRAMES)]
        dot = sum(a * b for a, b in zip(tone, sine))
        norm = math.sqrt(sum(a * a for a in tone) * sum(b * b for b in sine))
        check(dot / norm > 0.99, "the tone is not a 1200 Hz sine (correlation %.3f)" % (dot / norm))


def check_quiet_exit(desktop, what):
    status, out, err = desktop.wait_exit()
    check(status == 0, "%s: status %s, stderr %r" % (what, status, err))
    check(out == "" and err == "", "%s: the program printed %r %r" % (what, out, err))


# --- cases ---------------------------------------------------------------------


def case_screen(args):
    """The window's place, attributes and shapes, and what the screen shows,
    also after it was covered and uncovered."""
    with Desktop(args.program) as d:
        d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        geometry = window.get_geometry()
        origin = window.translate_coords(d.x.screen().root, 0, 0)
        check((-origin.x, -origin.y, geometry.width, geometry.height) ==
              (WINDOW_LEFT, WINDOW_TOP, WINDOW_WIDTH, WINDOW_HEIGHT),
              "window at %s" % ((-origin.x, -origin.y, geometry.width, geometry.height),))
        check(window.get_wm_class() == ("Avendrel", "Avendrel"),
              "WM_CLASS %r" % (window.get_wm_class(),))
        check(geometry.depth == 32, "not on the 32-bit visual (depth %d)" % geometry.depth)
        check(d.property(window, "_NET_WM_NAME") == b"Avendrel", "_NET_WM_NAME")
        hints = window.get_wm_normal_hints()
        check((hints.min_width, hints.min_height, hints.max_width, hints.max_height) ==
              (800, 677, 800, 677), "the size hints do not fix the size")
        motif = d.property(window, "_MOTIF_WM_HINTS")
        check(motif is not None and motif[2] == 0, "decorations are not switched off")
        check(motif[0] & 1 and motif[1] == 32, "functions other than closing are offered")
        icon = d.property(window, "_NET_WM_ICON")
        sizes = []
        i = 0
        while icon is not None and i < len(icon):
            sizes.append((icon[i], icon[i + 1]))
            i += 2 + icon[i] * icon[i + 1]
        check(sorted(sizes) == [(16, 16), (32, 32), (48, 48), (256, 256)],
              "icon sizes %s" % sizes)

        # Only the picture's visible pixels are seen and take the mouse.
        expected = expected_window_pixels(args.artwork)
        visible = [(x, y) for y in range(WINDOW_HEIGHT) for x in range(WINDOW_WIDTH)
                   if expected(x, y) is not None]
        check(d.input_rectangles(window) == d.bounding_rectangles(window),
              "input and bounding shapes differ")
        covered = set()
        for (rx, ry, rw, rh) in d.input_rectangles(window):
            for yy in range(ry, ry + rh):
                for xx in range(rx, rx + rw):
                    covered.add((xx, yy))
        check(covered == set(visible), "the input shape is not the visible pixels")

        shot = check_screen_shows_window(d, args.artwork, "first frame")
        if args.output:
            shot.save(os.path.join(args.output, "x11_screen.png"))

        # Covered by another window and uncovered: drawn again.
        cover_and_uncover(d, WINDOW_LEFT - 10, WINDOW_TOP - 10, 900, 700)
        wait_for("the window drawn again", lambda: screen_shows_window(d, args.artwork), 10)
        check_screen_shows_window(d, args.artwork, "after an exposure")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_screen_without_argb_visual(args):
    """On a server without a 32-bit visual the window uses the screen's own
    visual and still shows exactly the picture and lets the rest through."""
    with Desktop(args.program, xvfb_args=["-extension", "Composite"]) as d:
        check(not any(depth.depth == 32 for depth in d.x.screen().allowed_depths
                      if depth.visuals), "the server still offers a 32-bit visual")
        beneath = d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        check(window.get_geometry().depth == 24, "window depth %d" % window.get_geometry().depth)
        check_screen_shows_window(d, args.artwork, "default visual")
        d.presses_received(beneath)
        d.click(400, 40)
        d.click(400, 300)
        presses = d.presses_received(beneath)
        check(presses == [(WINDOW_LEFT + 400, WINDOW_TOP + 40, 1)], "presses beneath %s" % presses)
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def colour_errors(desktop, artwork_path, grey=False):
    """The window's visible pixels compared with the artwork (its lightness,
    when `grey`): the pixels that differ by more than half a step of the
    visual's channels, and the mean error per channel over every visible pixel."""
    at, steps = desktop.window_area_colours()
    expected = expected_window_pixels(artwork_path)
    wrong, total, count = [], 0, 0
    for y in range(ARTWORK_TOP, WINDOW_HEIGHT - ARTWORK_TOP):
        for x in range(WINDOW_WIDTH):
            want = expected(x, y)
            if want is None:
                continue
            if grey:
                want = (round(0.299 * want[0] + 0.587 * want[1] + 0.114 * want[2]),) * 3
            got = at(x, y)
            errors = [abs(g - w) for g, w in zip(got, want)]
            total += sum(errors)
            count += 3
            if steps and any(e > s / 2 + 1 for e, s in zip(errors, steps)):
                wrong.append((x, y, got, want))
    return wrong, total / count


def check_hotspots_answer(d, window):
    """The home page opens, the box asks and its answer No is honoured, and
    the window's transparent pixels let the mouse through."""
    beneath = d.top_level_named("beneath")
    d.presses_received(beneath)
    d.click(400, 40)
    d.click(400, 300)
    presses = d.presses_received(beneath)
    check(presses == [(WINDOW_LEFT + 400, WINDOW_TOP + 40, 1)], "presses beneath %s" % presses)
    time.sleep(0.5)
    d.click(*HOME_PAGE_POINT)
    check(d.wait_opened(1) == [HOME_PAGE_ADDRESS], "opened %s" % d.opened())
    d.click(*SIGN_UP_POINT)
    d.wait_box()
    check(d.opened() == [HOME_PAGE_ADDRESS], "the page opened before the answer")
    d.xdotool("key", "alt+n")
    d.wait_box_gone()
    check(d.wait_opened(2) == [HOME_PAGE_ADDRESS, SIGN_UP_ADDRESS], "opened %s" % d.opened())
    check(d.running(), "the program ended after No")
    d.send_close_request(window)


def check_visible_shape(d, window, artwork_path):
    expected = expected_window_pixels(artwork_path)
    covered = set()
    for (rx, ry, rw, rh) in d.input_rectangles(window):
        covered.update((xx, yy) for yy in range(ry, ry + rh) for xx in range(rx, rx + rw))
    visible = {(x, y) for y in range(WINDOW_HEIGHT) for x in range(WINDOW_WIDTH)
               if expected(x, y) is not None}
    check(covered == visible, "the input shape is not the visible pixels")
    check(d.input_rectangles(window) == d.bounding_rectangles(window),
          "input and bounding shapes differ")


def screen_of_depth(args, depth):
    """On a TrueColor screen of `depth` bits without a 32-bit visual the
    picture is shown in the visual's own channel layout: every visible pixel
    within half a step of the artwork; the shape and the hotspots work and
    nothing is printed."""
    with Desktop(args.program, xvfb_args=["-extension", "Composite"], depth=depth) as d:
        d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        check(window.get_geometry().depth == depth, "window depth %d" % window.get_geometry().depth)
        wrong, mean = colour_errors(d, args.artwork)
        print("FIGURE x11.depth_%d.mean_channel_error = %.2f" % (depth, mean))
        check(not wrong, "%d pixels outside the visual's precision, first %s"
              % (len(wrong), wrong[:3]))
        check_visible_shape(d, window, args.artwork)
        check_hotspots_answer(d, window)
        check_quiet_exit(d, "close request")


def case_screen_depth_15(args):
    screen_of_depth(args, 15)


def case_screen_depth_16(args):
    screen_of_depth(args, 16)


def case_screen_depth_30(args):
    screen_of_depth(args, 30)


def case_screen_direct_colour(args):
    """On a 16-bit DirectColor screen the window has a colormap of its own
    whose ramps make every channel value show its own intensity, and the
    picture's pixels are the artwork's through the channel masks."""
    with Desktop(args.program, xvfb_args=["-extension", "Composite", "-cc", "5"], depth=16) as d:
        screen = d.x.screen()
        visual = next(v for dep in screen.allowed_depths for v in dep.visuals
                      if v.visual_id == screen.root_visual)
        check(visual.visual_class == X.DirectColor, "the screen's visual is not DirectColor")
        d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        colormap = window.get_attributes().colormap
        check(colormap != screen.default_colormap.id, "the window uses the default colormap")
        fields = []
        for mask in (visual.red_mask, visual.green_mask, visual.blue_mask):
            shift = (mask & -mask).bit_length() - 1
            fields.append((shift, mask >> shift))
        pixels = [sum(min(i, top) << shift for shift, top in fields)
                  for i in range(visual.colormap_entries)]
        cells = d.x.create_resource_object("colormap", colormap).query_colors(pixels)
        # The server keeps 8 significant bits of each intensity.
        wrong = [(i, (c.red >> 8, c.green >> 8, c.blue >> 8)) for i, c in enumerate(cells)
                 if any(abs((got >> 8) - min(i, top) * 255 / top) > 1
                        for got, (_, top) in zip((c.red, c.green, c.blue), fields))]
        check(not wrong, "the colormap's ramps are not linear: %s" % wrong[:3])
        bad, _ = colour_errors(d, args.artwork)
        check(not bad, "%d pixels outside the visual's precision, first %s" % (len(bad), bad[:3]))
        check_hotspots_answer(d, window)
        check_quiet_exit(d, "close request")


def indexed_screen(args, name, class_option, visual_words, bound, grey=False):
    """On an 8-bit screen of an indexed visual the program says in one line
    that the picture cannot be shown in its colours, shows it dithered in the
    colours (or greys) it can have, and works as everywhere else."""
    with Desktop(args.program, xvfb_args=["-extension", "Composite", "-cc", class_option],
                 depth=8) as d:
        d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        _, mean = colour_errors(d, args.artwork, grey)
        print("FIGURE x11.%s.mean_channel_error = %.2f" % (name, mean))
        check(mean < bound, "the picture is far from its colours (mean error %.1f)" % mean)
        if args.output:
            d.window_area_image().save(os.path.join(args.output, "x11_%s.png" % name))
        check_visible_shape(d, window, args.artwork)
        check_hotspots_answer(d, window)
        status, out, err = d.wait_exit()
        check(status == 0, "status %s, stderr %r" % (status, err))
        lines = err.splitlines()
        check(out == "" and len(lines) == 1 and lines[0].startswith("Avendrel: ") and
              all(w in lines[0] for w in visual_words), "printed %r %r" % (out, err))


def case_screen_depth_8(args):
    # Black with bands of colour is off by about 170 on average; a dithered
    # colour cube by about a third of its step (51).
    indexed_screen(args, "depth_8", "3", ("8-bit PseudoColor", "colours"), 30)


def case_screen_static_grey(args):
    indexed_screen(args, "static_grey", "0", ("8-bit StaticGray", "greys"), 12, grey=True)


def case_screen_with_compositor(args):
    """Under a compositing manager the window is blended through its alpha: the
    screen shows exactly the picture over what lies beneath, and the
    transparent pixels still let the mouse through."""
    with Desktop(args.program) as d:
        beneath = d.beneath_window()
        compositor = subprocess.Popen(["xcompmgr", "-n"], env=d.environment(),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        d.processes.append(compositor)
        selection = d.x.intern_atom("_NET_WM_CM_S%d" % d.x.get_default_screen())
        wait_for("the compositor", lambda: d.x.get_selection_owner(selection) != 0)
        d.start_program()
        window = d.wait_program_window()
        time.sleep(0.5)  # the compositor paints on its next round
        check_screen_shows_window(d, args.artwork, "composited")
        d.presses_received(beneath)
        d.click(400, 40)
        d.click(4, 300)
        d.click(400, 300)
        presses = d.presses_received(beneath)
        check(presses == [(WINDOW_LEFT + 400, WINDOW_TOP + 40, 1),
                          (WINDOW_LEFT + 4, WINDOW_TOP + 300, 1)], "presses beneath %s" % presses)
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_click_through(args):
    """Presses on transparent pixels reach the window beneath; presses on the
    picture do not. The edges lie on the right rows and columns."""
    points = [
        # (window x, window y, reaches the window beneath)
        (400, 40, True), (400, 91, True), (400, 92, False),
        (400, 584, False), (400, 585, True), (400, 650, True),
        (4, 300, True), (5, 300, False), (793, 300, False), (794, 300, True),
        (799, 566, True), (794, 566, True),  # home-page hotspot over transparent columns
        (0, 0, True), (799, 676, True),
    ]
    with Desktop(args.program) as d:
        beneath = d.beneath_window()
        d.start_program()
        d.wait_program_window()
        d.presses_received(beneath)
        wrong = []
        for x, y, through in points:
            d.click(x, y)
            time.sleep(0.05)
            got = d.presses_received(beneath)
            reached = (WINDOW_LEFT + x, WINDOW_TOP + y, 1) in got
            if reached != through:
                wrong.append((x, y, "reached beneath" if reached else "taken by the program"))
        check(not wrong, "wrong receivers: %s" % wrong)
        check(d.wait_opened(0) == [], "a click through opened %s" % d.opened())
        check(d.tone_samples() == [], "a click through sounded the tone")
        check(d.top_level_named("Confirm") is None, "a click through opened the box")
        check(d.running(), "the program ended")
        d.send_close_request(d.wait_program_window())
        check_quiet_exit(d, "close request")


def case_home_page(args):
    """Each click on the home-page hotspot sounds the tone and opens the home
    page exactly once; presses that are not clicks open nothing."""
    with Desktop(args.program) as d:
        d.start_program()
        window = d.wait_program_window()
        d.click(*HOME_PAGE_POINT)
        check(d.wait_opened(1) == [HOME_PAGE_ADDRESS], "opened %s" % d.opened())
        check_tone(d.tone_samples(), 1)

        # The hotspot's last column that is seen, then a second plain click.
        time.sleep(0.5)  # not a double-click
        d.click(793, 577)
        check(d.wait_opened(2) == [HOME_PAGE_ADDRESS] * 2, "opened %s" % d.opened())

        # Not clicks: other buttons, press inside and release outside, and the
        # other way round; a double-click opens once, not twice.
        time.sleep(0.5)
        d.click(*HOME_PAGE_POINT, button=3)
        d.click(*HOME_PAGE_POINT, button=2)
        d.move(*HOME_PAGE_POINT)
        d.xdotool("mousedown", 1)
        d.move(*ARTWORK_POINT)
        d.xdotool("mouseup", 1)
        d.xdotool("mousedown", 1)
        d.move(*HOME_PAGE_POINT)
        d.xdotool("mouseup", 1)
        time.sleep(0.5)
        d.click(*ARTWORK_POINT)
        check(d.wait_opened(2) == [HOME_PAGE_ADDRESS] * 2, "a non-click opened %s" % d.opened())
        d.double_click(*HOME_PAGE_POINT)
        check(d.wait_opened(3) == [HOME_PAGE_ADDRESS] * 3,
              "a double-click opened %s" % d.opened())
        check(d.running(), "the program ended")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_double_click_setting(args):
    """The desktop's double-click time (XSETTINGS) decides what a double-click is:
    with 40 ms, two clicks 150 ms apart are two clicks; with 5000 ms they are
    one click and a double-click; without a settings manager, two clicks sent
    back to back are one click and a double-click. (A busy machine can only
    spread clicks further apart, so each case holds on any machine.)"""
    for manager_time, expected in ((40, 2), (5000, 1), (None, 1)):
        with Desktop(args.program) as d:
            manager = None
            if manager_time is not None:
                manager = subprocess.Popen(
                    ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "xsettings_manager.py"),
                     str(manager_time)], env=d.environment(), stdout=subprocess.PIPE)
                d.processes.append(manager)
                check(read_line(manager) == b"ready", "no settings manager")
            d.start_program()
            window = d.wait_program_window()
            if manager_time is None:
                d.double_click(*HOME_PAGE_POINT)
            else:
                d.move(*HOME_PAGE_POINT)
                d.xdotool("click", "--repeat", 2, "--delay", 150, 1)
            check(len(d.wait_opened(expected)) == expected,
                  "double-click time %s: %d clicks opened %s" % (manager_time, expected,
                                                                 d.opened()))
            d.send_close_request(window)
            check_quiet_exit(d, "close request")


def case_double_click_setting_followed(args):
    """The double-click time is followed while the program runs: a settings
    manager that starts later, a value that changes, a manager that goes away."""
    with Desktop(args.program) as d:
        d.start_program()
        window = d.wait_program_window()
        d.move(*HOME_PAGE_POINT)

        def pair(delay):
            # delay None: the two clicks back to back, which no double-click
            # time splits, however busy the machine.
            before = len(d.opened())
            if delay is None:
                d.double_click(*HOME_PAGE_POINT)
            else:
                d.xdotool("click", "--repeat", 2, "--delay", delay, 1)
            # Every pair opens the page at least once; the settle time is longer
            # than the longest double-click time used here, which also keeps
            # the next pair from pairing with this one.
            return len(d.wait_opened(before + 1, settle=2.5)) - before

        def eventually(delay, clicks):
            # The program follows the settings when their change reaches it:
            # pairs are clicked until one gives `clicks`, within a deadline.
            deadline = time.monotonic() + 20
            while True:
                if pair(delay) == clicks:
                    return True
                if time.monotonic() > deadline:
                    return False

        check(pair(None) == 1, "without a manager, a double-click gave two clicks")
        manager = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "xsettings_manager.py"),
             "40", "2000"], env=d.environment(), stdout=subprocess.PIPE)
        d.processes.append(manager)
        check(read_line(manager) == b"ready", "no settings manager")
        check(eventually(150, 2), "a manager that started later was not followed")
        manager.send_signal(signal.SIGUSR1)
        check(read_line(manager) == b"changed", "the manager did not change")
        check(eventually(600, 1), "a changed double-click time was not followed")
        manager.kill()
        manager.wait()
        check(eventually(600, 2), "the defaults did not come back when the manager went away")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_sign_up_no(args):
    """Sign-up, answered No: tone, box, the page only after the answer, and the
    program goes on. While the box is open the window takes no input, keeps
    being drawn, and Escape or a close request do not answer the box."""
    with Desktop(args.program) as d:
        d.beneath_window()
        d.start_program()
        window = d.wait_program_window()
        d.click(*SIGN_UP_POINT)
        box = d.wait_box()
        check_tone(d.tone_samples(), 1)
        check(d.opened() == [], "the page opened before the answer")
        transient = box.get_wm_transient_for()
        check(transient is not None and transient.id == window.id,
              "the box is not transient for the window")
        state = d.property(box, "_NET_WM_STATE") or []
        check(d.x.intern_atom("_NET_WM_STATE_MODAL") in state, "the box is not modal")

        # The window takes no input meanwhile.
        d.click(*HOME_PAGE_POINT)
        check(d.wait_opened(0) == [] and len(d.tone_samples()) == TONE_FRAMES,
              "the window took a click while the box was open")

        # It is drawn again after being covered, while the box waits.
        cover_and_uncover(d, WINDOW_LEFT, WINDOW_TOP, 300, 300)
        expected = expected_window_pixels(args.artwork)
        points = ((10, 100), (150, 200), (190, 290))

        def drawn_again():
            shot = d.screenshot()
            if all(shot.getpixel((WINDOW_LEFT + x, WINDOW_TOP + y)) == expected(x, y)
                   for x, y in points):
                return shot
            return None
        shot = wait_for("the window drawn again while the box is open", drawn_again, 10)
        if args.output:
            shot.save(os.path.join(args.output, "x11_box.png"))

        # Neither Escape nor a close request answers it.
        d.xdotool("key", "Escape")
        d.send_close_request(box)
        time.sleep(0.5)
        check(d.top_level_named("Confirm") is not None, "the box closed without an answer")
        check(d.opened() == [], "the page opened without an answer")

        d.xdotool("key", "alt+n")
        d.wait_box_gone()
        check(d.wait_opened(1) == [SIGN_UP_ADDRESS], "opened %s" % d.opened())
        time.sleep(0.3)
        check(d.running(), "the program ended after No")
        check_idle(d.program_process, "after a box")

        # The window takes input again.
        d.click(*HOME_PAGE_POINT)
        check(d.wait_opened(2) == [SIGN_UP_ADDRESS, HOME_PAGE_ADDRESS],
              "opened %s" % d.opened())
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_release_while_box_open(args):
    """A button held down before the box opened and released while it is open
    leaves nothing held: after No the next click on the web address works."""
    with Desktop(args.program) as d:
        d.start_program()
        window = d.wait_program_window()
        d.move(*SIGN_UP_POINT)
        d.xdotool("mousedown", "3")
        d.xdotool("click", "1")
        d.wait_box()
        d.xdotool("mouseup", "3")
        d.xdotool("key", "alt+n")
        d.wait_box_gone()
        check(d.wait_opened(1) == [SIGN_UP_ADDRESS], "opened %s" % d.opened())
        d.click(*HOME_PAGE_POINT)
        check(d.wait_opened(2) == [SIGN_UP_ADDRESS, HOME_PAGE_ADDRESS],
              "the click after the box was lost: opened %s" % d.opened())
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_presentation_refused(args):
    """The server refuses the window's first picture: the program says so in
    one line and an error box, goes on, and shows the picture when the window
    is exposed; it still ends with 0 on a close request."""
    with Desktop(args.program) as d:
        d.beneath_window()
        d.start_program(env=d.environment(LD_PRELOAD=args.refuse_pixmap, REFUSE_WINDOW_PIXMAPS="1"))
        box = wait_for("the error box", lambda: d.top_level_named("Error"), 20)
        wait_for("the box to take the keyboard",
                 lambda: d.x.get_input_focus().focus in d.window_and_children(box), 10)
        d.xdotool("key", "Return")
        window = d.wait_program_window()
        wait_for("the picture on the screen",
                 lambda: d.screenshot().getpixel((WINDOW_LEFT + 200, WINDOW_TOP + 300)) ==
                 expected_window_pixels(args.artwork)(200, 300), 20)
        check_screen_shows_window(d, args.artwork, "after the exposure")
        d.click(*HOME_PAGE_POINT)
        check(d.wait_opened(1) == [HOME_PAGE_ADDRESS], "opened %s" % d.opened())
        d.send_close_request(window)
        status, out, err = d.wait_exit()
        check(status == 0, "status %s after a close request" % status)
        check(err == "The window Form1 could not be shown: the desktop did not take its picture.\n",
              "standard error %r" % err)


def case_close_while_box_open(args):
    """A close request to the window while the box is open waits for the
    answer: the box stays, and after No the page opens and the program ends
    with status 0."""
    with Desktop(args.program) as d:
        d.start_program()
        window = d.wait_program_window()
        d.click(*SIGN_UP_POINT)
        d.wait_box()
        d.send_close_request(window)
        time.sleep(0.5)
        check(d.running() and d.top_level_named("Confirm") is not None,
              "the close request did not wait for the box")
        d.xdotool("key", "alt+n")
        check_quiet_exit(d, "close request after No")
        check(d.wait_opened(1) == [SIGN_UP_ADDRESS], "opened %s" % d.opened())


def case_no_toolkit(args):
    """When GTK cannot be loaded the box is not shown and the result is 0, at
    once and quietly."""
    with Desktop(args.program) as d:
        env = d.environment(LD_LIBRARY_PATH=os.path.dirname(args.fake_gtk))
        result, ms = run_probe(args, d, "box", "0x24", "Do you want to close the application?",
                               "Confirm", env=env)
        check(result == 0, "the box answered %d without GTK" % result)
        check(ms < 2000, "failing took %.1f ms" % ms)


def case_sign_up_yes(args):
    """Sign-up, answered Yes (the default button, by Return): the page opens and
    the program ends with status 0; then a click on Yes with the mouse."""
    for answer in ("Return", "click"):
        with Desktop(args.program) as d:
            d.start_program()
            d.wait_program_window()
            d.click(*SIGN_UP_POINT)
            box = d.wait_box()
            if answer == "Return":
                d.xdotool("key", "Return")
            else:
                # Yes is the right-hand button of the box's bottom row.
                geometry = box.get_geometry()
                origin = box.translate_coords(d.x.screen().root, 0, 0)
                d.xdotool("mousemove", -origin.x + geometry.width * 3 // 4,
                          -origin.y + geometry.height - 15)
                d.xdotool("click", 1)
            check_quiet_exit(d, "Yes by " + answer)
            check(d.wait_opened(1) == [SIGN_UP_ADDRESS], "opened %s" % d.opened())
            check_tone(d.tone_samples(), 1)


def case_cursor(args):
    """The hand over both hotspots, the arrow over the rest of the picture."""
    with Desktop(args.program, {"cursor_name": args.cursor_tool}) as d:
        d.start_program()
        window = d.wait_program_window()
        seen = []
        for point, want in ((ARTWORK_POINT, "left_ptr"), (SIGN_UP_POINT, "hand2"),
                            ((5, 400), "left_ptr"), (HOME_PAGE_POINT, "hand2"),
                            ((440, 398), "hand2"), ((439, 398), "left_ptr"),
                            ((776, 483), "hand2"), ((777, 483), "left_ptr"),
                            ((793, 577), "hand2"), ((700, 554), "left_ptr")):
            d.move(*point)
            try:
                wait_for("cursor %s at %s" % (want, point), lambda: d.cursor_name() == want, 3)
            except TestFailure:
                seen.append((point, d.cursor_name(), want))
        check(not seen, "wrong cursors (point, shown, wanted): %s" % seen)
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_cursor_without_theme(args):
    """Without a cursor theme the core cursors stand in: one shape over the
    hotspots, another over the picture, neither of them a theme's."""
    with Desktop(args.program, {"cursor_name": args.cursor_tool}) as d:
        d.start_program(env=d.environment(XCURSOR_PATH=os.path.join(d.home, "no-themes")))
        window = d.wait_program_window()
        d.move(*ARTWORK_POINT)
        time.sleep(0.3)
        arrow = d.cursor()
        d.move(*SIGN_UP_POINT)
        hand = wait_for("another cursor over the sign-up hotspot",
                        lambda: d.cursor() if d.cursor() != arrow else None, 10)
        d.move(*HOME_PAGE_POINT)
        time.sleep(0.3)
        check(d.cursor() == hand, "the two hotspots show different cursors")
        check(arrow[0] == "" and hand[0] == "", "theme cursors without a theme: %s %s"
              % (arrow, hand))
        check(arrow[1] != hand[1], "the same cursor over a hotspot and the picture")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_close_request(args):
    """A close request ends the program with status 0, without a question, with
    or without command-line arguments, which change nothing."""
    for arguments in ((), ("--help", "-display", ":99", "--geometry=10x10+0+0",
                           "http://example.invalid/")):
        with Desktop(args.program) as d:
            d.start_program(arguments)
            window = d.wait_program_window()
            geometry = window.get_geometry()
            origin = window.translate_coords(d.x.screen().root, 0, 0)
            check((-origin.x, -origin.y, geometry.width, geometry.height) ==
                  (WINDOW_LEFT, WINDOW_TOP, WINDOW_WIDTH, WINDOW_HEIGHT),
                  "arguments %s moved the window" % (arguments,))
            d.send_close_request(window)
            check_quiet_exit(d, "close request with arguments %s" % (arguments,))
            check(d.top_level_named("Confirm") is None, "a question was asked")


def case_task_name(args):
    """The class name the desktop lists the window under follows the
    executable's file name: cut at its first dot, the rest lower case."""
    with Desktop(args.program) as d:
        copy = os.path.join(d.home, "AVENDREL-Copy.Test.bin")
        subprocess.run(["cp", args.program, copy], check=True)
        d.start_program(program=copy)
        window = d.wait_program_window()
        check(window.get_wm_class() == ("Avendrel-copy", "Avendrel-copy"),
              "WM_CLASS %r" % (window.get_wm_class(),))
        check(window.get_wm_name() == "Avendrel", "the caption changed with the file name")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")
    # Every letter after the first is lowered, also outside A to Z.
    with Desktop(args.program) as d:
        copy = os.path.join(d.home, "\u00c4VENDREL\u00c4\u00d6.bin")
        subprocess.run(["cp", args.program, copy], check=True)
        d.start_program(program=copy)
        window = d.wait_program_window()
        name = "\u00c4vendrel\u00e4\u00f6".encode()
        wm_class = bytes(d.property(window, "WM_CLASS"))
        check(wm_class == name + b"\0" + name + b"\0", "WM_CLASS %r" % (wm_class,))
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_primary_monitor(args):
    """On two monitors the window is centred on the primary one, wherever that
    lies on the screen (halves round to even: 91 / 2 gives 46)."""
    with Desktop(args.program, screen=(2304, 1024)) as d:
        for name, primary, x, y, w, h in (("LEFT", False, 0, 0, 1280, 1024),
                                           ("RIGHT", True, 1280, 0, 1024, 768)):
            set_monitor(d, name, primary, x, y, w, h)
        d.x.sync()
        d.start_program()
        window = d.wait_program_window()
        check(d.window_rectangle(window) == (1280 + 112, 46, 800, 677),
              "window at %s" % (d.window_rectangle(window),))
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def set_monitor(desktop, name, primary, x, y, width, height):
    """Defines a monitor with RandR 1.5 (written out here: the Xlib binding's
    own request cannot pack its monitor record)."""
    from Xlib.protocol import rq

    class SetMonitor(rq.Request):
        _request = rq.Struct(
            rq.Card8("opcode"), rq.Opcode(43), rq.RequestLength(), rq.Window("window"),
            rq.Card32("name"), rq.Bool("primary"), rq.Bool("automatic"), rq.Card16("crtcs"),
            rq.Int16("x"), rq.Int16("y"), rq.Card16("width"), rq.Card16("height"),
            rq.Card32("mm_width"), rq.Card32("mm_height"))

    d = desktop.x
    d.xrandr_query_version()
    SetMonitor(display=d.display, opcode=d.display.get_extension_major("RANDR"),
               window=d.screen().root, name=d.intern_atom(name), primary=primary,
               automatic=False, crtcs=0, x=x, y=y, width=width, height=height,
               mm_width=width // 4, mm_height=height // 4)
    d.sync()


def case_signals(args):
    """SIGTERM, SIGINT and SIGHUP end the program with status 0; so does one
    that arrives while the box is open."""
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        with Desktop(args.program) as d:
            process = d.start_program()
            d.wait_program_window()
            process.send_signal(number)
            check_quiet_exit(d, signal.Signals(number).name)
    with Desktop(args.program) as d:
        process = d.start_program()
        d.wait_program_window()
        d.click(*SIGN_UP_POINT)
        d.wait_box()
        process.send_signal(signal.SIGTERM)
        check_quiet_exit(d, "SIGTERM while the box is open")
        check(d.opened() == [], "the page opened without an answer")


def check_idle(process, what):
    """The program's main thread does not wake up and the program uses no CPU
    time for two seconds."""
    def counters():
        with open("/proc/%d/status" % process.pid) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        with open("/proc/%d/stat" % process.pid) as f:
            stat = f.read().rsplit(")", 1)[1].split()
        return (int(fields["voluntary_ctxt_switches"]),
                int(fields["nonvoluntary_ctxt_switches"]), int(stat[11]) + int(stat[12]))
    time.sleep(0.3)
    before = counters()
    time.sleep(2.0)
    after = counters()
    check(after[0] == before[0] and after[2] == before[2],
          "%s, the idle program woke up: (switches, involuntary, ticks) %s -> %s"
          % (what, before, after))


def case_idle(args):
    """An idle program sleeps: no wake-ups, no CPU time, while nothing happens.
    It has not loaded the toolkits of the box, the tone or the opener either."""
    with Desktop(args.program) as d:
        process = d.start_program()
        window = d.wait_program_window()
        time.sleep(0.5)
        loaded = d.loaded_libraries()
        early = [name for name in loaded
                 if name.startswith(("libgtk-3", "libgdk-3", "libgio-2", "libasound"))]
        check(not early, "loaded at start: %s" % early)

        check_idle(process, "after start")
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def case_no_display(args):
    """Without a display the program says so in one line and ends with status 1."""
    env_sets = [
        {"PATH": "/usr/bin:/bin", "HOME": "/tmp"},
        {"PATH": "/usr/bin:/bin", "HOME": "/tmp", "DISPLAY": ":%d" % unused_display()},
    ]
    for env in env_sets:
        result = subprocess.run([args.program], env=env, capture_output=True, text=True,
                                timeout=20, stdin=subprocess.DEVNULL)
        lines = result.stderr.splitlines()
        check(result.returncode == 1, "status %s with %s" % (result.returncode, env))
        check(len(lines) == 1 and lines[0].startswith("Avendrel: ") and "display" in lines[0],
              "stderr %r" % result.stderr)
        check(result.stdout == "", "stdout %r" % result.stdout)


def run_probe(args, desktop, *probe_args, env=None, wait=True):
    process = subprocess.Popen([args.probe, *map(str, probe_args)],
                               env=env or desktop.environment(), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    desktop.processes.append(process)
    if not wait:
        return process
    return finish_probe(process)


def finish_probe(process):
    out, err = process.communicate(timeout=30)
    check(err == "", "the backend printed %r" % err)
    result, ms = out.split()
    return int(result), float(ms)


def case_error_box(args):
    """The error box: an OK box titled as asked, answered 1 by OK, Return or
    Escape; a style whose buttons are not supported fails with 0 at once."""
    with Desktop(args.program) as d:
        for key in ("Return", "Escape", "alt+o"):
            process = run_probe(args, d, "box", "0x10", "Something went wrong.", "Error",
                                wait=False)
            box = wait_for("the error box", lambda: d.top_level_named("Error"), 20)
            wait_for("the box to take the keyboard",
                     lambda: d.x.get_input_focus().focus in d.window_and_children(box), 10)
            time.sleep(0.2)
            d.xdotool("key", key)
            result, _ = finish_probe(process)
            check(result == 1, "the error box answered %d to %s" % (result, key))
        for style in ("0x3", "0x2", "0x5"):
            result, _ = run_probe(args, d, "box", style, "text", "caption")
            check(result == 0, "style %s answered %d" % (style, result))


def case_no_sound_device(args):
    """Without a sound device the tone returns at once and prints nothing."""
    with Desktop(args.program) as d:
        env = d.environment(HOME=os.path.join(d.home, "no-sound"),
                            ALSA_CONFIG_PATH=os.path.join(d.home, "no-sound.conf"))
        os.makedirs(env["HOME"])
        with open(env["ALSA_CONFIG_PATH"], "w") as f:
            f.write('pcm.!default { type hw card 97 }\n')
        result, ms = run_probe(args, d, "beep", 1200, 5, env=env)
        check(result == 0, "the tone reported success without a device")
        check(ms < 200, "the tone took %.1f ms without a device" % ms)
        # With the device, it returns once the tone has been played.
        result, ms = run_probe(args, d, "beep", 1200, 5)
        check(result == 1, "the tone failed")
        check_tone(d.tone_samples(), 1)


def case_open_address(args):
    """Opening an address does not wait for the handler, passes the address
    unchanged, leaves no zombie, and reports a missing handler quietly; with
    no handler it goes to xdg-open, which is not waited for either."""
    with Desktop(args.program) as d:
        slow = os.path.join(d.home, "recorder.sh")
        with open(slow, "a") as f:
            f.write("sleep 3\n")
        address = "http://www.avendrel.com/?a=1&b=%20x"
        result, ms = run_probe(args, d, "open", address)
        check(result > 32, "opening reported %d" % result)
        check(ms < 1500, "opening waited %.1f ms for the handler" % ms)
        check(d.wait_opened(1) == [address], "opened %s" % d.opened())
        empty = os.path.join(d.home, "empty")
        env = d.environment(XDG_CONFIG_HOME=empty, XDG_DATA_HOME=empty, XDG_DATA_DIRS=empty,
                            PATH=empty)
        result, ms = run_probe(args, d, "open", "http://www.avendrel.com/", env=env)
        check(result <= 32, "opening without a handler or xdg-open reported success (%d)"
              % result)
        # Without a handler xdg-open is started, if there is one, and not waited for.
        env["PATH"] = "/usr/bin:/bin"
        env["BROWSER"] = slow
        result, ms = run_probe(args, d, "open", "http://www.avendrel.com/x", env=env)
        check(result > 32, "starting xdg-open reported %d" % result)
        check(ms < 1500, "opening waited %.1f ms for xdg-open" % ms)
        check(d.wait_opened(2) == [address, "http://www.avendrel.com/x"],
              "opened %s" % d.opened())
    # The program itself leaves no zombie behind after opening an address.
    with Desktop(args.program) as d:
        process = d.start_program()
        window = d.wait_program_window()
        d.click(*HOME_PAGE_POINT)
        d.wait_opened(1)
        time.sleep(0.5)
        children = subprocess.run(["ps", "-o", "stat=", "--ppid", str(process.pid)],
                                  capture_output=True, text=True).stdout.split()
        check(not any(s.startswith("Z") for s in children), "zombie children: %s" % children)
        d.send_close_request(window)
        check_quiet_exit(d, "close request")


def unused_display():
    number = 500
    while os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
        number += 1
    return number


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--program", required=True)
    parser.add_argument("--artwork", required=True)
    parser.add_argument("--cursor-tool")
    parser.add_argument("--probe")
    parser.add_argument("--fake-gtk")
    parser.add_argument("--refuse-pixmap")
    parser.add_argument("--output")
    args = parser.parse_args()
    # Also the cases that start the program without a Desktop.
    end_processes_with_this_test()
    if args.output:
        os.makedirs(args.output, exist_ok=True)
    return run_case(CASES, args)


if __name__ == "__main__":
    sys.exit(main())
