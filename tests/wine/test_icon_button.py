"""The owner-drawn icon buttons on the real windows: style, placement of icon and caption, the
hover and pressed frames, the default-button protocol, focus on disabling and double clicks.

Pixels are read from screenshots of the virtual display; colours are compared with the button's
own face colour rather than fixed values, so the Wine colour scheme does not matter.
"""

import os
import subprocess
import time

from harness import SC_MINIMIZE, WM_CLOSE, WM_LBUTTONUP, WM_SYSCOMMAND, check, wait_until
from tolva import (IDC_CANCEL, IDC_EXIT, IDC_SWITCH, IDC_TRAY, MAIN_TITLE, NEW_DESKTOP, RUNNING_TITLE, SECOND_TITLE,
                   SHELL_WINDOW_TITLE, WM_TOLVA_QUERY, Q_TRAY_SHOWN)

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
WM_DPICHANGED = 0x02E0
WM_QUERYUISTATE = 0x0129
UISF_HIDEFOCUS = 0x1
# The focus cue is drawn this far inside the button's edge.
CUE_INSET = 3


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


def shows_cue(shot, rect):
    """Whether anything other than the face is drawn on the ring CUE_INSET pixels inside rect,
    where the focused button draws its dotted focus rectangle."""
    face = face_colour(shot, rect)
    left, top, right, bottom = rect[0] + CUE_INSET, rect[1] + CUE_INSET, rect[2] - CUE_INSET, rect[3] - CUE_INSET
    ring = ([(x, y) for x in range(left, right) for y in (top, bottom - 1)]
            + [(x, y) for y in range(top, bottom) for x in (left, right - 1)])
    return any(shot.at(x, y) != face for x, y in ring)


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
    # So can the shell's folder window, which at 200 % reaches the corner: minimised.
    shell = prefix.try_find(SHELL_WINDOW_TITLE, 10000, desktop=NEW_DESKTOP)
    if shell:
        prefix.send(shell, WM_SYSCOMMAND, SC_MINIMIZE, 0)
    return main


def test_main_window_icon_button_at_rest_hovered_and_pressed(prefix):
    main = first_copy_in_view(prefix)
    for ctrl in (IDC_EXIT, IDC_SWITCH):
        rc, out = prefix.driver("style", main, ctrl)
        check(rc == 0 and int(out, 0) & 0x1F == BS_OWNERDRAW, f"button {ctrl} is not owner-drawn: {out}")

    exit_rect = rect_of(prefix, main, IDC_EXIT)
    prefix.cursor(0, 0)

    # At rest: flat, and the power icon centred in the button.
    shot = wait_for_look(exit_rect, "none", "the button at rest has a frame or a picture on its edge")
    icon = bounds(shot, exit_rect, is_red)
    cx, cy = centre2(exit_rect)
    ix, iy = centre2(icon)
    check(abs(ix - cx) <= 2 and abs(iy - cy) <= 2, f"icon {icon} not centred in {exit_rect}")

    # Under the pointer: raised frame on the full rectangle; away again: flat.
    prefix.cursor((exit_rect[0] + exit_rect[2]) // 2, (exit_rect[1] + exit_rect[3]) // 2)
    wait_for_look(exit_rect, "raised", "no raised frame on hover")
    prefix.cursor(0, 0)
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

    # Named for screen readers, not drawn (no caption beside the icon), and explained by tooltips.
    check(prefix.text(main, IDC_SWITCH) == "切换" and prefix.text(main, IDC_EXIT) == "退出",
          f"button names {prefix.text(main, IDC_SWITCH)!r}, {prefix.text(main, IDC_EXIT)!r}")
    tips = prefix.tooltips(prefix.pid(main))
    check(list(tips.values()) == [2], f"expected one tooltip window with both buttons: {tips}")
    newdesk = prefix.find(SECOND_TITLE, 0, desktop=NEW_DESKTOP)
    check(prefix.text(newdesk, IDC_SWITCH) == "切换", f"second copy's button {prefix.text(newdesk, IDC_SWITCH)!r}")
    tips = prefix.tooltips(prefix.pid(newdesk), desktop=NEW_DESKTOP)
    check(list(tips.values()) == [1], f"expected one tooltip window in the second copy: {tips}")

    # At 200 % the icons grow with their buttons, drawn from images made for that size.
    at_100 = drawn_icons(prefix, main)
    prefix.restart_at_dpi(192)
    main = first_copy_in_view(prefix)
    at_200 = drawn_icons(prefix, main)
    for ctrl in (IDC_EXIT, IDC_SWITCH):
        (w1, h1), (w2, h2) = at_100[ctrl], at_200[ctrl]
        check(w2 >= 1.5 * w1 and h2 >= 1.5 * h1, f"button {ctrl}: icon {w1}x{h1} at 96 DPI, {w2}x{h2} at 192")
    # Moved to a monitor of another scale, the window takes the size the system suggests (the
    # rectangle lives in the program's memory, as the system's would), loads its pictures for that
    # scale and goes back into its corner.
    placed = prefix.rect(main)
    width, height = placed[2] - placed[0], placed[3] - placed[1]
    for dpi, want, grown in ((96, at_100, (8, 6)), (192, at_200, (0, 0))):
        prefix.move(main, 40, 30)
        suggested = (40, 30, 40 + width + grown[0], 30 + height + grown[1])
        prefix.send_rect(main, WM_DPICHANGED, dpi << 16 | dpi, suggested)
        corner = (placed[0] - grown[0], placed[1] - grown[1], placed[2], placed[3])
        check(prefix.rect(main) == corner,
              f"after a change to {dpi} DPI suggesting {suggested} the window is at {prefix.rect(main)}, not {corner}")
        check(drawn_icons(prefix, main) == want, f"pictures at {dpi} DPI: {drawn_icons(prefix, main)}, want {want}")
    check(prefix.send(main, WM_TOLVA_QUERY, Q_TRAY_SHOWN) == 1, "the tray icon went with the change of scale")


def drawn_icons(prefix, main):
    """Width and height of the picture drawn in each of the main window's buttons at rest."""
    prefix.cursor(0, 0)
    sizes = {}
    for ctrl, drawn in ((IDC_EXIT, is_red), (IDC_SWITCH, None)):
        rect = rect_of(prefix, main, ctrl)
        shot = wait_for_look(rect, "none", f"button {ctrl} does not come to rest")
        face = face_colour(shot, rect)
        box = bounds(shot, rect, drawn or (lambda p, face=face: p != face))
        sizes[ctrl] = (box[2] - box[0], box[3] - box[1])
    return sizes


def running_dialog_in_view(prefix):
    first_copy_in_view(prefix)
    prefix.cursor(0, 0)  # the dialog opens at the pointer, away from the other windows
    prefix.start()
    return prefix.find(RUNNING_TITLE, 30000)


def test_running_dialog_text_buttons_are_centred_flat_and_keep_the_dialog_protocol(prefix):
    dialog = running_dialog_in_view(prefix)
    rects = {c: rect_of(prefix, dialog, c) for c in (IDC_SWITCH, IDC_TRAY, IDC_EXIT, IDC_CANCEL)}

    # Captions centred both ways although the template asks for left alignment; no frame. The
    # focused button shows its focus rectangle exactly when its UI state does not hide focus cues
    # (Wine never hides them); no other button shows one.
    focused = prefix.focus(dialog)
    check(focused, "no control of the dialog has the focus")
    focused_rect = rect_of(prefix, focused)
    cue_wanted = not prefix.send(focused, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS
    want = {ctrl: cue_wanted and rect == focused_rect for ctrl, rect in rects.items()}
    check(sum(rect == focused_rect for rect in rects.values()) == 1, f"the focus {focused_rect} is on no button")

    def painted():
        shot = Shot()
        return shot if all(shows_cue(shot, rect) == want[c] for c, rect in rects.items()) else None
    shot = wait_until(painted, 10, 0.3, f"focus cues are not {want} (button: shown)")
    for ctrl, rect in rects.items():
        check(frame_look(shot, rect) == "none", f"button {ctrl} has a frame or its caption on its edge")
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
    main = prefix.find(MAIN_TITLE)
    wait_until(lambda: prefix.send(main, WM_TOLVA_QUERY, Q_TRAY_SHOWN) == 1, 10, 0.2,
               "the first copy's tray icon is not shown")
    tray = button_hwnd(prefix, dialog, IDC_TRAY)
    # An owner-drawn button would report a double click instead. The tray button's click hides
    # the first copy's icon and closes the dialog: the click acted, once.
    inside = (5 << 16) | 5
    prefix.post(tray, WM_LBUTTONDBLCLK, MK_LBUTTON, inside)
    prefix.post(tray, WM_LBUTTONUP, 0, inside)
    wait_until(lambda: prefix.send(main, WM_TOLVA_QUERY, Q_TRAY_SHOWN) == 0, 10, 0.2,
               "the double click's second press did not click: the icon is still shown")
    wait_until(lambda: not prefix.exists(dialog), message="the dialog stayed open after the click")
    time.sleep(2)  # a second toggle would show the icon again
    check(prefix.send(main, WM_TOLVA_QUERY, Q_TRAY_SHOWN) == 0, "the double click acted twice")


def test_repainting_the_main_window_buttons_keeps_the_gdi_object_count(prefix):
    main = first_copy_in_view(prefix)
    pid = prefix.pid(main)
    exit_rect = rect_of(prefix, main, IDC_EXIT)
    hwnd_exit = button_hwnd(prefix, main, IDC_EXIT)
    tip = next(iter(prefix.tooltips(pid)), None)
    check(tip, "the main window has no tooltip window")

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
        prefix.cursor(0, 0)
        wait_for_look(exit_rect, "none", "the button does not come to rest")
        repaint(times)
        prefix.cursor((exit_rect[0] + exit_rect[2]) // 2, (exit_rect[1] + exit_rect[3]) // 2)
        wait_for_look(exit_rect, "raised", "no raised frame on hover")
        # The tooltip makes its objects when it first shows: in the baseline too.
        wait_until(lambda: prefix.visible(tip), timeout=15, message="no tooltip over the hovered button")
        repaint(times)
        prefix.cursor(0, 0)
        prefix.send(hwnd_exit, BM_SETSTATE, 1, 0)
        repaint(times)
        prefix.send(hwnd_exit, BM_SETSTATE, 0, 0)
        prefix.cursor(0, 0)

    # One pass first, so objects made once on first use (fonts, cached brushes) are in the baseline.
    repaint_each_look(1)
    before = settled_count()
    check(before > 0, "the GDI object count reads 0")
    repaint_each_look(100)
    after = settled_count()
    check(after == before, f"GDI objects before 300 repaints {before}, after {after}")
