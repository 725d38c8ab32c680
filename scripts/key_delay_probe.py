#!/usr/bin/python3
# Debian's Python: its python3-xlib is the X library this needs.
"""Types real keys into the console's community field and times each one to
the moment the field's pixels change on the screen, first before Start, then
while the console polls an agent that never answers.

Run by scripts/key-delay on the X display the console's window is on (a
virtual one); the window must be showing. It finds the window by its title,
finds the three edit fields of the left column on the screen (the white
boxes under "IP address:", "Community name:" and "Interval ms:"), and from
their places and the dialog template's the Start button.

The silent agent is a UDP socket on loopback that reads every request and
answers none; it runs in a thread of this program and counts the requests.

Each key goes to the X server through XTEST, the way a keyboard's does; its
time is taken just before it is sent. The field's rectangle is then read
back with GetImage about every millisecond until it differs from the picture
before the key. The text caret blinks in that field: a blink changes one or
two columns of pixels, a letter typed or erased several, so only a change
spanning more columns than the caret's counts (the caret's width is measured
first, with the field left alone).
"""

import argparse
import math
import random
import socket
import statistics
import subprocess
import sys
import threading
import time

from Xlib import X, XK, display as xdisplay
from Xlib.ext import xtest

# The left column of the main window's template (res/dialog_templates.h), in
# dialog units: its left edge and width, the tops of the address box, the
# community field and the interval field, and the Start button (x, y, width,
# height).
COLUMN_X, COLUMN_WIDTH = 7, 79
FIELD_TOPS = (18, 50, 82)
START_BUTTON = (7, 201, 78, 14)
TEMPLATE_WIDTH = 473  # the dialog's width

WHITE = b"\xff\xff\xff"


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--title", default="Tarvik v7310QX-2")
    parser.add_argument("--agent", default="127.0.0.57", help="the silent agent's loopback address")
    parser.add_argument("--keys", type=int, default=20, help="keys timed in each phase")
    parser.add_argument("--interval", default="1000", help="the poll interval typed, in ms")
    parser.add_argument("--timeout", type=float, default=8.0, help="seconds to wait for one key")
    parser.add_argument("--label", default="", help="a name for the figures printed")
    return parser.parse_args()


class SilentAgent:
    """A UDP socket on loopback that reads requests and never answers."""

    def __init__(self, address):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 0))  # a port of its own, chosen by the system
        self.sock.settimeout(0.2)
        self.address = "%s:%d" % self.sock.getsockname()
        self.requests = 0
        self.running = True
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while self.running:
            try:
                self.sock.recvfrom(65536)
                self.requests += 1
            except socket.timeout:
                pass

    def stop(self):
        self.running = False
        self.thread.join()
        self.sock.close()


class Screen:
    """The X display: the window's place, pictures of rectangles, XTEST input."""

    def __init__(self):
        self.display = xdisplay.Display()
        self.root = self.display.screen().root
        if not self.display.has_extension("XTEST"):
            sys.exit("key_delay_probe: the X server has no XTEST extension")

    def find_window(self, title, wait_s=60):
        """The largest viewable top-level window with this title, as
        (x, y, width, height) on the screen."""
        end = time.monotonic() + wait_s
        while time.monotonic() < end:
            found = []
            for window in self.root.query_tree().children:
                try:
                    if window.get_attributes().map_state != X.IsViewable:
                        continue
                    names = [window.get_wm_name()]
                    names += [c.get_wm_name() for c in window.query_tree().children]
                    if title not in names:
                        continue
                    g = window.get_geometry()
                    found.append((g.width * g.height, (g.x, g.y, g.width, g.height)))
                except Exception:  # the window went meanwhile
                    continue
            if found:
                return max(found)[1]
            time.sleep(0.2)
        sys.exit("key_delay_probe: no window titled %r" % title)

    def picture(self, x, y, width, height):
        """The screen's pixels in the rectangle, 4 bytes each (B, G, R, pad)."""
        return self.root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF).data

    def click(self, x, y):
        xtest.fake_input(self.display, X.MotionNotify, x=x, y=y)
        xtest.fake_input(self.display, X.ButtonPress, 1)
        xtest.fake_input(self.display, X.ButtonRelease, 1)
        self.display.sync()

    def keycode(self, name):
        return self.display.keysym_to_keycode(XK.string_to_keysym(name))

    def key(self, name, modifier=None):
        """Presses and releases one key (with a modifier held) and returns
        the time just before the press was sent."""
        code = self.keycode(name)
        held = self.keycode(modifier) if modifier else None
        if held:
            xtest.fake_input(self.display, X.KeyPress, held)
        sent = time.monotonic()
        xtest.fake_input(self.display, X.KeyPress, code)
        xtest.fake_input(self.display, X.KeyRelease, code)
        if held:
            xtest.fake_input(self.display, X.KeyRelease, held)
        self.display.sync()
        return sent

    def type_text(self, text):
        # xdotool knows which keys and shift levels make each character.
        subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)


def white_run_rows(pixels, width, height, column):
    """The runs of white rows in one column of a picture: [(top, bottom)]."""
    runs, top = [], None
    for row in range(height + 1):
        offset = (row * width + column) * 4
        white = row < height and pixels[offset : offset + 3] == WHITE
        if white and top is None:
            top = row
        elif not white and top is not None:
            runs.append((top, row))
            top = None
    return runs


def white_extent(pixels, width, row, column):
    """The white span of one row around a column: (left, right)."""
    def white(c):
        offset = (row * width + c) * 4
        return pixels[offset : offset + 3] == WHITE

    left = right = column
    while left > 0 and white(left - 1):
        left -= 1
    while right + 1 < width and white(right + 1):
        right += 1
    return left, right + 1


def find_fields(screen, window):
    """The address, community and interval boxes' white insides, as screen
    rectangles (x, y, width, height), found in the window's picture down a
    few columns across the left column (text in a box cuts some columns);
    then a function from dialog units to the screen."""
    wx, wy, ww, wh = window
    pixels = screen.picture(wx, wy, ww, wh)
    found = {}  # top on the screen: (left, top, width, height)
    for share in (0.2, 0.35, 0.5, 0.65, 0.8):
        column = round(ww * (COLUMN_X + COLUMN_WIDTH * share) / TEMPLATE_WIDTH)
        for top, bottom in white_run_rows(pixels, ww, wh, column):
            if bottom - top < 8:
                continue  # a letter's stroke, not a box
            # Its widest row: text, a caret or a focus frame cut some rows short.
            left, right = max((white_extent(pixels, ww, row, column) for row in range(top, bottom)),
                              key=lambda span: span[1] - span[0])
            if right - left < ww * 0.08:
                continue
            box = (wx + left, wy + top, right - left, bottom - top)
            # The same box seen down another column, whole or in part
            # (below or above a text): the larger sighting stands.
            same = [t for t, b in found.items() if t < wy + bottom and wy + top < b[1] + b[3]]
            if any(found[t][2] * found[t][3] >= box[2] * box[3] for t in same):
                continue
            for t in same:
                del found[t]
            found[wy + top] = box
    boxes = [found[top] for top in sorted(found)]
    if len(boxes) < 3:
        sys.exit("key_delay_probe: found %d white boxes in the left column, not 3: %r"
                 % (len(boxes), boxes))
    boxes = boxes[:3]
    # Dialog units to the screen: the first and third boxes' tops give the
    # vertical scale and offset, the first box's left edge and the window's
    # width the horizontal ones.
    (ax, ay, _, _), _, (_, iy, _, _) = boxes
    y_scale = (iy - ay) / (FIELD_TOPS[2] - FIELD_TOPS[0])
    x_scale = ww / TEMPLATE_WIDTH

    def to_screen(ux, uy):
        return round(ax + (ux - COLUMN_X) * x_scale), round(ay + (uy - FIELD_TOPS[0]) * y_scale)

    return boxes, to_screen


def centre(box):
    x, y, w, h = box
    return x + w // 2, y + h // 2


def changed_columns(before, after, width):
    """The columns in which two pictures of the same rectangle differ."""
    columns = set()
    for offset in range(0, len(before), 4):
        if before[offset : offset + 3] != after[offset : offset + 3]:
            columns.add((offset // 4) % width)
    return columns


def caret_width(screen, box, seconds=2.5):
    """The most columns the field's picture changes by while nobody types:
    the blinking caret's width."""
    first = screen.picture(*box)
    widest = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        now = screen.picture(*box)
        if now != first:
            widest = max(widest, len(changed_columns(first, now, box[2])))
        time.sleep(0.01)
    return widest


def time_keys(screen, box, count, caret, timeout):
    """Types `count` keys into the field (a letter, then BackSpace, in turn)
    and returns each one's delay in ms (None: no change within `timeout`)."""
    delays = []
    for i in range(count):
        name = "m" if i % 2 == 0 else "BackSpace"
        before = screen.picture(*box)
        sent = screen.key(name)
        delay = None
        while time.monotonic() - sent < timeout:
            now = screen.picture(*box)
            if now != before and len(changed_columns(before, now, box[2])) > caret:
                delay = (time.monotonic() - sent) * 1000
                break
            time.sleep(0.001)
        delays.append(delay)
        # A pause at random over a whole answer wait (2 s), so that the keys
        # fall anywhere in the poll cycle: a window that shows each key only
        # after the wait would otherwise get the next key just after the
        # next wait began, every time.
        time.sleep(random.uniform(0.2, 2.2))
    return delays


def summary(delays):
    got = sorted(d for d in delays if d is not None)
    missed = len(delays) - len(got)
    if not got:
        return "no key showed (%d sent)" % len(delays)
    p90 = got[math.ceil(0.9 * len(got)) - 1]  # the nearest rank
    text = "median %7.1f ms   p90 %7.1f ms   max %7.1f ms   (n=%d" % (
        statistics.median(got), p90, got[-1], len(got))
    return text + (", %d never showed)" % missed if missed else ")")


def main():
    args = parse_arguments()
    agent = SilentAgent(args.agent)
    screen = Screen()
    window = screen.find_window(args.title)
    time.sleep(1.0)  # the window's first drawing
    window = screen.find_window(args.title)
    boxes, to_screen = find_fields(screen, window)
    address, community, interval = boxes
    start = to_screen(START_BUTTON[0] + START_BUTTON[2] / 2, START_BUTTON[1] + START_BUTTON[3] / 2)
    print("== window %s; address box %s, community field %s, interval field %s, Start at %s"
          % (window, address, community, interval, start))

    # The fields: the silent agent's address, the interval, and an empty
    # community field with the focus.
    for box, text in ((address, agent.address), (interval, args.interval)):
        screen.click(*centre(box))
        time.sleep(0.3)
        screen.key("a", "Control_L")
        screen.type_text(text)
    screen.click(*centre(community))
    time.sleep(0.3)
    screen.key("a", "Control_L")
    screen.key("BackSpace")
    time.sleep(0.5)
    caret = caret_width(screen, community)
    print("== the caret changes at most %d column(s) of the field while idle" % caret)

    before_start = time_keys(screen, community, args.keys, caret, args.timeout)

    # Start, and the focus back in the field: the click may wait for a
    # whole answer wait in a window that blocks.
    screen.click(*start)
    time.sleep(1.5)
    screen.click(*centre(community))
    time.sleep(4.5)
    requests_before = agent.requests
    polling = time_keys(screen, community, args.keys, caret, args.timeout)
    requests = agent.requests - requests_before
    agent.stop()

    label = args.label + ": " if args.label else ""
    print("== %sbefore Start:  %s" % (label, summary(before_start)))
    print("== %swhile polling: %s" % (label, summary(polling)))
    print("== the silent agent at %s got %d requests while the keys were typed"
          % (agent.address, requests))
    print("== each key, ms, before Start: %s"
          % " ".join("-" if d is None else "%.0f" % d for d in before_start))
    print("== each key, ms, while polling: %s"
          % " ".join("-" if d is None else "%.0f" % d for d in polling))
    if requests == 0:
        sys.exit("key_delay_probe: the console sent the silent agent nothing: no poll ran")


if __name__ == "__main__":
    main()
