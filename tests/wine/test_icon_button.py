"""The owner-drawn icon buttons on the real windows: style, placement of icon and caption, the
hover and pressed frames, the default-button protocol, focus on disabling and double clicks.

Pixels are read from screenshots of the virtual display; colours are compared with the button's
own face colour rather than fixed values, so the Wine colour scheme does not matter.
"""

import os
import subprocess
import time

from harness import WM_CLOSE, WM_LBUTTONUP, check, wait_until
from tolva import IDC_CANCEL, IDC_EXIT, IDC_SWITCH, IDC_TRAY, MAIN_TITLE, NEW_DESKTOP, RUNNING_TITLE, SECOND_TITLE

# Screenshots and the pointer need a screen of their own: other test modules running at the same
# time put their topmost windows in the same corner. Without DISPLAY the harness starts a private
# Xvfb for this module.
os.environ.pop("DISPLAY", None)

WM_ENABLE = 0x000A
WM_NEXTDLGCTL = 0x0028
WM_GETDLGCODE = 0x0087
WM_LBUTTONDBLCLK = 0x0203
BM_SETSTATE = 0x00F3
BM_SETSTYLE = 0x00F4
MK_LBUTTON = 0x0001
BS_OWNERDRAW = 0x0B
DLGC_DEFPUSHBUTTON = 0x10
DLGC_UNDEFPUSHBUTTON = 0x20


class Shot:
    """One screenshot of the whole display, read as RGB triples."""

    def __init__(self):
        out = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=os.environ,
                             check=True, capture_output=True).stdout
        # Binary PPM: "P6", width, height, maximum value, each followed by one blank, then pixels.
        magic, width, height, maximum, self.data = out.split(maxsplit=4)
        check(magic == b"P6" and maximum == b"255", "unexpected screenshot format")
        self.width, self.height = int(width), int(height)

    def at(self, x, y):
        check(0 <= x < self.width and 0 <= y < self.height, f"({x}, {y}) is off the screen")
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])


def brightness(rgb):
    return sum(rgb)


def edges(rect):
    """The pixels of a one-pixel 3-D frame: the top-left pair (top row and left column, each
    without its last pixel) and the bottom-right pair (full right column and bottom row)."""
    left, top, right, bottom = rect
    top_left = [(x, top) for x in range(left, right - 1)] + [(left, y) for y in range(top, bottom - 1)]
    bottom_right = [(right - 1, y) for y in range(top, bottom)] + [(x, bottom - 1) for x in range(left, right)]
    return top_left, bottom_right


def face_colour(shot, rect):
    # Two pixels in from the left edge, half way down: inside the frame, beside any icon or caption.
    return shot.at(rect[0] + 2, (rect[1] + rect[3]) // 2)


def frame_look(shot, rect):
    """'none', 'raised' or 'sunken' against the face colour; None for anything else."""
    face = face_colour(shot, rect)
    top_left, bottom_right = ({shot.at(x, y) for x, y in pixels} for pixels in edges(rect))
    if top_left == bottom_right == {face}:
        return "none"
    if len(top_left) != 1 or len(bottom_right) != 1:
        return None
    light, dark = brightness(next(iter(top_left))), brightness(next(iter(bottom_right)))
    if light > brightness(face) > dark:
        return "raised"
    if light < brightness(face) < dark:
        return "sunken"
    return None


def wait_for_look(rect, look, message):
    """Screenshots until the button in rect shows the frame look; returns that screenshot."""
    def shot_with_look():
        shot = Shot()
        return shot if frame_look(shot, rect) == look else None
    return wait_until(shot_with_look, timeout=30, message=message)


def bounds(shot, rect, predicate):
    """Bounding box (left, top, right, bottom) of the pixels in rect that satisfy predicate."""
    xs, ys = [], []
    for y in range(rect[1], rect[3]):
        for x in range(rect[0], rect[2]):
            if predicate(shot.at(x, y)):
                xs.append(x)
                ys.append(y)
    check(xs, f"nothing drawn in {rect}")
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def is_red(rgb):
    r, g, b = rgb
    return r > 150 and g < 120 and b < 120


def centre2(box):
    """Twice the centre, so odd sizes stay whole numbers."""
    return box[0] + box[2], box[1] + box[3]


def rect_of(prefix, hwnd, ctrl=None):
    rc, out = prefix.driver("rect", hwnd, *([ctrl] if ctrl is not None else []))
    check(rc == 0, f"no rectangle for {hwnd} {ctrl}")
    return tuple(int(v) for v in out.split())


def button_hwnd(prefix, dialog, ctrl):
    """The handle of a dialog's control, found by moving the dialog's focus onto it."""
    want = rect_of(prefix, dialog, ctrl)
    for _ in range(8):
        focus = prefix.focus(dialog)
        if focus and rect_of(prefix, focus) == want:
            return focus
        prefix.send(dialog, WM_NEXTDLGCTL, 0, 0)
    raise AssertionError(f"control {ctrl} never took the focus")


def first_copy_in_view(prefix):
    """Starts the first copy; returns its window once the second copy's window no longer covers it."""
    prefix.start()
    main = prefix.find(MAIN_TITLE, 30000)
    # The second copy's window opens on top of the first's on Wine's single screen: close it (it
    # only hides) so that the first copy's buttons can be seen.
    newdesk = prefix.find(SECOND_TITLE, 30000, desktop=NEW_DESKTOP)
    prefix.post(newdesk, WM_CLOSE)
    wait_until(lambda: not prefix.visible(newdesk), message="the second copy's window stays up")
    return main


def test_main_window_icon_button_at_rest_hovered_and_pressed(prefix):
    main = first_copy_in_view(prefix)
    for ctrl in (IDC_EXIT, IDC_SWITCH):
        rc, out = prefix.driver("style", main, ctrl)
        check(rc == 0 and int(out, 0) & 0x1F == BS_OWNERDRAW, f"button {ctrl} is not owner-drawn: {out}")

    exit_rect = rect_of(prefix, main, IDC_EXIT)
    prefix.driver("cursor", 0, 0)

    # At rest: flat, and the power icon centred in the button.
    shot = wait_for_look(exit_rect, "none", "the button at rest has a frame or a picture on its edge")
    icon = bounds(shot, exit_rect, is_red)
    cx, cy = centre2(exit_rect)
    ix, iy = centre2(icon)
    check(abs(ix - cx) <= 2 and abs(iy - cy) <= 2, f"icon {icon} not centred in {exit_rect}")

    # Under the pointer: raised frame on the full rectangle; away again: flat.
    prefix.driver("cursor", (exit_rect[0] + exit_rect[2]) // 2, (exit_rect[1] + exit_rect[3]) // 2)
    wait_for_look(exit_rect, "raised", "no raised frame on hover")
    prefix.driver("cursor", 0, 0)
    wait_for_look(exit_rect, "none", "the hover frame stays")

    # Pressed: sunken frame and the icon one pixel right and down.
    hwnd_exit = button_hwnd(prefix, main, IDC_EXIT)
    prefix.send(hwnd_exit, BM_SETSTATE, 1, 0)
    shot = wait_for_look(exit_rect, "sunken", "no sunken frame while pressed")
    pressed_icon = bounds(shot, exit_rect, is_red)
    # Right and bottom of the icon may be clipped by the button, so compare the top-left corner.
    check(pressed_icon[:2] == (icon[0] + 1, icon[1] + 1), f"pressed icon {pressed_icon}, at rest {icon}")
    prefix.send(hwnd_exit, BM_SETSTATE, 0, 0)
    wait_for_look(exit_rect, "none", "the pressed frame stays")


def running_dialog_in_view(prefix):
    first_copy_in_view(prefix)
    prefix.driver("cursor", 0, 0)  # the dialog opens at the pointer, away from the other windows
    prefix.start()
    return prefix.find(RUNNING_TITLE, 30000)


def test_running_dialog_text_buttons_are_centred_flat_and_keep_the_dialog_protocol(prefix):
    dialog = running_dialog_in_view(prefix)
    rects = {c: rect_of(prefix, dialog, c) for c in (IDC_SWITCH, IDC_TRAY, IDC_EXIT, IDC_CANCEL)}

    # Captions centred both ways although the template asks for left alignment; no frame and no
    # focus rectangle, the focused button included.
    shot = Shot()
    for ctrl, rect in rects.items():
        check(frame_look(shot, rect) == "none", f"button {ctrl} has a frame, a focus mark or its caption on its edge")
        face = face_colour(shot, rect)
        text = bounds(shot, rect, lambda p, face=face: brightness(p) < brightness(face) - 150)
        tx, ty = centre2(text)
        bx, by = centre2(rect)
        check(abs(tx - bx) <= 3 and abs(ty - by) <= 3, f"caption {text} of {ctrl} not centred in {rect}")

    # Default-button protocol: the dialog manager's restyling never loses the owner-drawn style.
    tray = button_hwnd(prefix, dialog, IDC_TRAY)
    prefix.send(tray, BM_SETSTYLE, 1, 1)
    check(prefix.style(tray) & 0x1F == BS_OWNERDRAW, "BM_SETSTYLE made the button a plain one")
    code = prefix.send(tray, WM_GETDLGCODE, 0, 0)
    check(code & DLGC_DEFPUSHBUTTON and not code & DLGC_UNDEFPUSHBUTTON, f"default button code {code:#x}")
    prefix.send(tray, BM_SETSTYLE, 0, 1)
    check(prefix.style(tray) & 0x1F == BS_OWNERDRAW, "BM_SETSTYLE made the button a plain one")
    code = prefix.send(tray, WM_GETDLGCODE, 0, 0)
    check(code & DLGC_UNDEFPUSHBUTTON and not code & DLGC_DEFPUSHBUTTON, f"plain button code {code:#x}")

    # Disabling a button hands the focus on to the next tab stop. The driver cannot disable a
    # control of another process, so the notification that disabling sends is sent directly.
    prefix.send(tray, WM_ENABLE, 0, 0)
    focus = prefix.focus(dialog)
    check(focus and rect_of(prefix, focus) == rects[IDC_EXIT], "the focus did not move to the next button")


def test_second_press_of_a_double_click_is_a_click(prefix):
    dialog = running_dialog_in_view(prefix)
    cancel = button_hwnd(prefix, dialog, IDC_CANCEL)
    # An owner-drawn button would report a double click instead; "取消" closes the dialog on a click.
    inside = (5 << 16) | 5
    prefix.post(cancel, WM_LBUTTONDBLCLK, MK_LBUTTON, inside)
    prefix.post(cancel, WM_LBUTTONUP, 0, inside)
    wait_until(lambda: not prefix.exists(dialog), message="the double click's second press did not click")


def test_repainting_the_main_window_buttons_keeps_the_gdi_object_count(prefix):
    main = first_copy_in_view(prefix)
    pid = prefix.pid(main)
    exit_rect = rect_of(prefix, main, IDC_EXIT)
    hwnd_exit = button_hwnd(prefix, main, IDC_EXIT)

    def gdi_count():
        rc, out = prefix.driver("gdi-count", pid)
        check(rc == 0, f"no GDI object count for process {pid}")
        return int(out)

    def settled_count():
        """The count once it has held for 8 s: a tooltip shown on hover frees its objects only
        when it pops down, about 5 s later."""
        readings = []

        def steady():
            now, count = time.monotonic(), gdi_count()
            if not readings or readings[-1][1] != count:
                readings.append((now, count))
            return count if now - readings[-1][0] >= 8 else None
        return wait_until(steady, timeout=60, interval=0.5, message=f"the GDI count never settles: {readings}")

    def repaint(times):
        check(prefix.driver("redraw", main, times)[0] == 0, "the main window could not be redrawn")

    def repaint_each_look(times):
        # At rest, hovered and pressed: each look draws through its own frame and icon path.
        prefix.driver("cursor", 0, 0)
        wait_for_look(exit_rect, "none", "the button does not come to rest")
        repaint(times)
        prefix.driver("cursor", (exit_rect[0] + exit_rect[2]) // 2, (exit_rect[1] + exit_rect[3]) // 2)
        wait_for_look(exit_rect, "raised", "no raised frame on hover")
        repaint(times)
        prefix.driver("cursor", 0, 0)
        prefix.send(hwnd_exit, BM_SETSTATE, 1, 0)
        repaint(times)
        prefix.send(hwnd_exit, BM_SETSTATE, 0, 0)
        prefix.driver("cursor", 0, 0)

    # One pass first, so objects made once on first use (fonts, cached brushes) are in the baseline.
    repaint_each_look(1)
    before = settled_count()
    check(before > 0, "the GDI object count reads 0")
    repaint_each_look(100)
    after = settled_count()
    check(after == before, f"GDI objects before 300 repaints {before}, after {after}")
