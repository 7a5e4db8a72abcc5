#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files of PNG images (Windows Vista and later).

    python3 tools/make_icons.py [output-dir]     (default: res/ next to this folder)

The pictures are vector shapes in a unit square, rendered with 4 x 4 samples a pixel, so every
size comes from one drawing. The output is deterministic: running it again gives the same bytes.
"""
import math
import os
import struct
import sys
import zlib

SAMPLES = 4  # per axis and pixel


# ---- shapes: predicates on a point (x, y) of the unit square, y growing downwards ----

def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def capsule(ax, ay, bx, by, r):
    return lambda x, y: segment_distance(x, y, ax, ay, bx, by) <= r


def arc(cx, cy, r, width, gap_degrees):
    """A ring of the given width, open at the top by gap_degrees either side of straight up."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        from_up = math.degrees(math.atan2(x - cx, cy - y))
        return abs(from_up) >= gap_degrees
    return inside


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def polygon(points, inset=0.0):
    """Inside the polygon (even-odd) and at least `inset` away from its edges."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        crossings = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                crossings = not crossings
        if not crossings:
            return False
        return inset == 0.0 or min(segment_distance(x, y, ax, ay, bx, by)
                                   for (ax, ay), (bx, by) in edges) >= inset
    return inside


def grown(shape_maker, margin, x0, y0, x1, y1, r):
    return shape_maker(x0 - margin, y0 - margin, x1 + margin, y1 + margin, r + margin)


# ---- colours: functions of the point giving (r, g, b, a) in 0..1 ----

def rgb(hex_colour, alpha=1.0):
    v = int(hex_colour.lstrip('#'), 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, alpha)


def solid(hex_colour, alpha=1.0):
    c = rgb(hex_colour, alpha)
    return lambda x, y: c


def vertical(top_hex, bottom_hex, y0, y1):
    a, b = rgb(top_hex), rgb(bottom_hex)

    def colour(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))
    return colour


# ---- rendering ----

PAINT, CLEAR = 'paint', 'clear'


def render(layers, size):
    """Layers in painting order: (PAINT, shape, colour) or (CLEAR, shape). Returns rows of
    straight-alpha (r, g, b, a) bytes, top row first."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied sum
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    r = g = b = a = 0.0
                    for layer in layers:
                        if not layer[1](x, y):
                            continue
                        if layer[0] == CLEAR:
                            r = g = b = a = 0.0
                            continue
                        cr, cg, cb, ca = layer[2](x, y)
                        r = cr * ca + r * (1 - ca)
                        g = cg * ca + g * (1 - ca)
                        b = cb * ca + b * (1 - ca)
                        a = ca + a * (1 - ca)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            alpha = acc[3] / n
            if alpha <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            row.append(tuple(int(round(min(1.0, acc[i] / n / alpha) * 255)) for i in range(3))
                       + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def deflated(raw):
    """The smallest of a few zlib settings: every byte saved here is a byte of the program."""
    outs = []
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
        c = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        outs.append(c.compress(bytes(raw)) + c.flush())
    return min(outs, key=len)


def paeth(a, b, c):
    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filtered(lines, bpp, choose):
    """PNG scan lines with a filter byte each: one filter type for all (0..4), or per line the
    one with the smallest sum of absolute differences (choose=None)."""
    out = bytearray()
    prev = bytes(len(lines[0]))
    for cur in lines:
        options = []
        for kind in ((choose,) if choose is not None else range(5)):
            line = bytearray()
            for i, v in enumerate(cur):
                a = cur[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
                line.append((v - p) & 255)
            options.append((sum(min(v, 256 - v) for v in line), kind, line))
        _, kind, line = min(options)
        out.append(kind)
        out += line
        prev = cur
    return out


def png_image(rows):
    """The picture as a PNG, as Windows Vista and later accept inside an icon: 8-bit colour type
    6 (RGBA), or type 3 (palette with transparency) when it has at most 256 colours and that is
    smaller. Both keep every pixel exactly."""
    size = len(rows)
    candidates = []

    rgba_lines = [bytes(v for pixel in row for v in pixel) for row in rows]
    idat = min((deflated(filtered(rgba_lines, 4, f)) for f in (None, 0, 1, 2, 4)), key=len)
    candidates.append((struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0), b'', b'', idat))

    counts = {}
    for row in rows:
        for pixel in row:
            counts[pixel] = counts.get(pixel, 0) + 1
    if len(counts) <= 256:
        # Translucent entries first, so the transparency chunk can stop at the last of them.
        palette = sorted(counts, key=lambda c: (c[3] == 255, -counts[c], c))
        index = {c: i for i, c in enumerate(palette)}
        lines = [bytes(index[p] for p in row) for row in rows]
        idat = min((deflated(filtered(lines, 1, f)) for f in (None, 0, 1, 2)), key=len)
        translucent = sum(1 for c in palette if c[3] < 255)
        candidates.append((struct.pack('>IIBBBBB', size, size, 8, 3, 0, 0, 0),
                           png_chunk(b'PLTE', bytes(v for c in palette for v in c[:3])),
                           png_chunk(b'tRNS', bytes(c[3] for c in palette[:translucent]))
                           if translucent else b'', idat))

    pngs = [b'\x89PNG\r\n\x1a\n' + png_chunk(b'IHDR', ihdr) + plte + trns + png_chunk(b'IDAT', idat)
            + png_chunk(b'IEND', b'') for ihdr, plte, trns, idat in candidates]
    return min(pngs, key=len)


def ico_file(images):
    """images: list of row lists; the first is the one loaded when no size is asked for."""
    count = len(images)
    out = bytearray(struct.pack('<HHH', 0, 1, count))
    offset = 6 + 16 * count
    blobs = []
    for rows in images:
        blob = png_image(rows)
        size = len(rows)
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


# ---- the pictures ----

def monitor(ox, oy, scale, screen_top, screen_bottom, gap=0.0):
    """A monitor on its stand in the square (ox, oy)..(ox + scale, oy + scale). A gap clears a
    margin around it first, so it stands apart from what lies behind."""
    def place(fn):
        return lambda x, y: fn((x - ox) / scale, (y - oy) / scale)

    def place_colour(fn):
        return lambda x, y: fn((x - ox) / scale, (y - oy) / scale)

    layers = []
    if gap:
        layers.append((CLEAR, place(grown(rounded_rect, gap, 0.0, 0.0, 1.0, 0.72, 0.08))))
        layers.append((CLEAR, place(grown(rounded_rect, gap, 0.25, 0.84, 0.75, 0.94, 0.03))))
    layers += [
        (PAINT, place(rounded_rect(0.40, 0.70, 0.60, 0.88, 0.0)), solid('#6b7380')),
        (PAINT, place(rounded_rect(0.25, 0.84, 0.75, 0.94, 0.03)), solid('#4a515c')),
        (PAINT, place(rounded_rect(0.0, 0.0, 1.0, 0.72, 0.08)), solid('#2b2f36')),
        (PAINT, place(rounded_rect(0.08, 0.08, 0.92, 0.64, 0.03)),
         place_colour(vertical(screen_top, screen_bottom, 0.08, 0.64))),
        # a soft diagonal sheen across the screen
        (PAINT, place(polygon([(0.08, 0.08), (0.60, 0.08), (0.30, 0.64), (0.08, 0.64)])),
         solid('#ffffff', 0.16)),
    ]
    return layers


def desks(back_top, back_bottom, front_top, front_bottom):
    return (monitor(0.0, 0.0, 0.70, back_top, back_bottom)
            + monitor(0.30, 0.30, 0.70, front_top, front_bottom, gap=0.05))


def default_desk():
    # The normal desktop: a blue screen in front of a grey one.
    return desks('#c3cad4', '#8a95a5', '#8ccaff', '#1f6fd6')


def new_desk():
    # The second desktop: an orange screen in front of a blue one.
    return desks('#8ccaff', '#1f6fd6', '#ffd58a', '#e8721c')


def power():
    return [
        (PAINT, disc(0.5, 0.5, 0.48), solid('#8c1712')),
        (PAINT, disc(0.5, 0.5, 0.44), vertical('#f0645a', '#b8241c', 0.06, 0.94)),
        (PAINT, arc(0.5, 0.53, 0.24, 0.085, 38), solid('#ffffff')),
        (PAINT, capsule(0.5, 0.19, 0.5, 0.50, 0.045), solid('#ffffff')),
    ]


def arrow(tail_x, neck_x, tip_x, centre_y, half_shaft, half_head):
    return [(tail_x, centre_y - half_shaft), (neck_x, centre_y - half_shaft),
            (neck_x, centre_y - half_head), (tip_x, centre_y), (neck_x, centre_y + half_head),
            (neck_x, centre_y + half_shaft), (tail_x, centre_y + half_shaft)]


def switch_arrows():
    # There (right, blue) and back (left, green): the switch between the two desktops. The
    # buttons that show it are lower than the 72-pixel square, so the arrows keep to its middle
    # band (rows 15 to 57) and nothing of them is cut off.
    there = arrow(0.06, 0.56, 0.94, 0.36, 0.07, 0.15)
    back = arrow(0.94, 0.44, 0.06, 0.64, 0.07, 0.15)
    outline = 0.02
    return [
        (PAINT, polygon(there), solid('#123f7a')),
        (PAINT, polygon(there, outline), vertical('#7cc0ff', '#2266cc', 0.21, 0.51)),
        (PAINT, polygon(back), solid('#14592b')),
        (PAINT, polygon(back, outline), vertical('#8fe39b', '#25964a', 0.49, 0.79)),
    ]


def zoomed(picture, factor):
    """The picture shrunk about the centre of the square, for sizes shown in a smaller button."""
    def at(fn):
        return lambda x, y: fn(0.5 + (x - 0.5) / factor, 0.5 + (y - 0.5) / factor)

    def make():
        return [(layer[0], at(layer[1])) + tuple(at(c) for c in layer[2:]) for layer in picture()]
    return make


# The buttons draw their icon at the 100 % size times the display's scale and load the image
# made for that size; the 125 %, 150 % and 200 % images follow the first (100 %) one.
EXIT_SIZES = (48, 60, 72, 96)
SWITCH_SIZES = (72, 90, 108, 144)

ICONS = [
    # file, then (size, picture) in file order; the first is the 100 % button image, loaded when
    # no size is asked for.
    # The tray loads the small-icon size, 16 to 32 pixels with the display's scale (100 % to
    # 200 %); the first copy's window and the program file also show the default one large.
    ('default.ico', [(32, default_desk), (16, default_desk), (20, default_desk), (24, default_desk),
                     (48, default_desk)]),
    ('newdesk.ico', [(32, new_desk), (16, new_desk), (20, new_desk), (24, new_desk)]),
    # The exit button is about 42 pixels high at 100 %: the disc is drawn smaller to fit it whole,
    # pressed (one pixel lower) included.
    ('exit.ico', [(EXIT_SIZES[0], zoomed(power, 0.78)), (32, power), (16, power)]
     + [(size, zoomed(power, 0.78)) for size in EXIT_SIZES[1:]]),
    ('switch.ico', [(size, switch_arrows) for size in SWITCH_SIZES]),
]


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, '..', 'res')
    os.makedirs(out_dir, exist_ok=True)
    for name, images in ICONS:
        data = ico_file([render(picture(), size) for size, picture in images])
        with open(os.path.join(out_dir, name), 'wb') as f:
            f.write(data)
        print('%s: %s, %d bytes' % (name, ' '.join('%dx%d' % (s, s) for s, _ in images), len(data)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
