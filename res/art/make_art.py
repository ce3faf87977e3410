#!/usr/bin/env python3
"""Draws the wizard's pictures and writes them as resource files.

  bitmaps/background.bmp  bitmap 133: 440 x 429, 8 bits, 256 colours
  bitmaps/phone_vq20.bmp  bitmap 173: the VQ20, drawn at (0, 209) over the background
  bitmaps/phone_vq2x.bmp  bitmap 174: the VQ2X
  cursors/hand.cur        cursor 171: a pointing hand, hot spot on the finger tip

The screens draw their heading at the top left, the buttons at y 294..336 on the right and every
other text, the language list and the progress bar on the white panel below y 288, so the picture
keeps those places calm and light. Run without arguments to write the files beside this script's
parent directory; the output is the same on every run.
"""
import math
import os
import struct

WIDTH, HEIGHT = 440, 429
PHONE_ORIGIN = (0, 209)
PHONE_W, PHONE_H = 120, 76
PANEL_TOP = 288          # white panel for texts, buttons, list and progress bar
HEADER_BOTTOM = 58       # light band that carries the heading
ACCENT = (51, 152, 203)  # the button face colour
WHITE = (255, 255, 255)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def rounded_rect_coverage(x, y, left, top, right, bottom, radius):
    """1 inside a rounded rectangle, 0 outside, smooth over one pixel at the edge."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    dist = math.hypot(x - cx, y - cy) - radius
    return max(0.0, min(1.0, 0.5 - dist))


def ring_coverage(x, y, cx, cy, radius, width):
    dist = abs(math.hypot(x - cx, y - cy) - radius) - width / 2
    return max(0.0, min(1.0, 0.5 - dist))


def circle_coverage(x, y, cx, cy, radius):
    return max(0.0, min(1.0, 0.5 - (math.hypot(x - cx, y - cy) - radius)))


def triangle_coverage(x, y, pts):
    """Coverage of a triangle by signed distance to its edges (convex, either orientation)."""
    worst = -1e9
    area = (pts[1][0] - pts[0][0]) * (pts[2][1] - pts[0][1]) - (pts[1][1] - pts[0][1]) * (pts[2][0] - pts[0][0])
    sign = 1 if area > 0 else -1
    for i in range(3):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % 3]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        d = -sign * ((x - ax) * ey - (y - ay) * ex) / length
        worst = max(worst, -d)
    return max(0.0, min(1.0, 0.5 - worst))


def arrows_coverage(x, y, cx, cy, radius, width):
    """Two curved arrows chasing each other round a circle: the sign of an update."""
    ring = ring_coverage(x, y, cx, cy, radius, width)
    angle = math.atan2(y - cy, x - cx)
    # gaps in the ring where the arrow heads sit
    gap = 0.0
    for start in (-0.35, math.pi - 0.35):
        delta = (angle - start) % (2 * math.pi)
        if delta < 0.7:
            gap = 1.0
    ring *= 1.0 - gap
    heads = 0.0
    for tip_angle, direction in ((-0.35, 1), (math.pi - 0.35, 1)):
        tx = cx + radius * math.cos(tip_angle)
        ty = cy + radius * math.sin(tip_angle)
        # tangent of clockwise travel in screen coordinates
        tan_x, tan_y = -math.sin(tip_angle) * direction, math.cos(tip_angle) * direction
        nx, ny = math.cos(tip_angle), math.sin(tip_angle)
        size = width * 1.9
        base_x, base_y = tx - tan_x * size * 0.1, ty - tan_y * size * 0.1
        pts = [(base_x + tan_x * size, base_y + tan_y * size),
               (base_x + nx * size * 0.9, base_y + ny * size * 0.9),
               (base_x - nx * size * 0.9, base_y - ny * size * 0.9)]
        heads = max(heads, triangle_coverage(x, y, pts))
    return max(ring, heads)


def sky(y):
    """The calm blue of the picture's middle part."""
    return mix((238, 246, 252), (217, 234, 246), (y - HEADER_BOTTOM) / (PANEL_TOP - HEADER_BOTTOM))


def background_pixel(x, y):
    if y >= PANEL_TOP:
        return WHITE
    if y >= PANEL_TOP - 2:
        return (206, 222, 235)
    if y < 10:
        return mix((28, 98, 156), ACCENT, x / WIDTH)
    if y < 12:
        return mix((206, 228, 242), (224, 238, 248), x / WIDTH)
    if y < HEADER_BOTTOM:
        c = (248, 251, 253)
        # small update sign left of the heading
        cov = arrows_coverage(x, y, 34, 33, 9, 3)
        return mix(c, ACCENT, cov)
    if y < HEADER_BOTTOM + 1:
        return (205, 223, 237)
    c = sky(y)
    # two very faint large circles give the sky some depth
    c = mix(c, (246, 250, 254), 0.55 * circle_coverage(x, y, 390, 70, 150) * 0.35)
    c = mix(c, (246, 250, 254), 0.45 * circle_coverage(x, y, 60, 300, 120) * 0.35)
    c = monitor(x, y, c)
    c = data_path(x, y, c)
    return c


MON_L, MON_T, MON_R, MON_B = 268, 92, 408, 196


def monitor(x, y, c):
    """A PC monitor on the right: the phone's partner in the update."""
    # soft shadow
    c = mix(c, (190, 210, 226), 0.5 * rounded_rect_coverage(x, y, MON_L + 4, MON_T + 6, MON_R + 4, MON_B + 6, 9))
    c = mix(c, (66, 78, 94), rounded_rect_coverage(x, y, MON_L, MON_T, MON_R, MON_B, 8))
    screen = rounded_rect_coverage(x, y, MON_L + 8, MON_T + 8, MON_R - 8, MON_B - 10, 3)
    if screen > 0:
        t = (y - MON_T) / (MON_B - MON_T)
        glass = mix((92, 176, 222), (44, 132, 188), t)
        glass = mix(glass, WHITE, arrows_coverage(x, y, (MON_L + MON_R) / 2, (MON_T + MON_B) / 2 - 1, 25, 6) * 0.95)
        c = mix(c, glass, screen)
    # neck and foot
    c = mix(c, (88, 100, 116), rounded_rect_coverage(x, y, 328, MON_B - 1, 348, MON_B + 22, 1))
    c = mix(c, (72, 84, 100), rounded_rect_coverage(x, y, 302, MON_B + 20, 374, MON_B + 28, 4))
    return c


def data_path(x, y, c):
    """Dots on an arc from the phone's place towards the monitor."""
    start = (130, 238)
    end = (256, 178)
    ctrl = (176, 160)
    best = 0.0
    steps = 10
    for i in range(steps + 1):
        t = i / steps
        px = (1 - t) ** 2 * start[0] + 2 * (1 - t) * t * ctrl[0] + t * t * end[0]
        py = (1 - t) ** 2 * start[1] + 2 * (1 - t) * t * ctrl[1] + t * t * end[1]
        if abs(x - px) > 5 or abs(y - py) > 5:
            continue
        radius = 2.2 + 1.2 * math.sin(math.pi * t)
        best = max(best, circle_coverage(x, y, px, py, radius))
    return mix(c, ACCENT, best * 0.8)


def phone_pixel(x, y, model):
    """The phone picture, drawn on the same sky as the background beneath it."""
    gx, gy = x + PHONE_ORIGIN[0], y + PHONE_ORIGIN[1]
    c = background_pixel(gx, gy)
    body_colour = (58, 64, 74) if model == "VQ20" else (150, 160, 172)
    edge_colour = (32, 36, 42) if model == "VQ20" else (96, 106, 120)
    left, top, right, bottom = 44, 4, 84, 73
    c = mix(c, (190, 210, 226), 0.5 * rounded_rect_coverage(x, y, left + 3, top + 3, right + 3, bottom + 2, 8))
    c = mix(c, edge_colour, rounded_rect_coverage(x, y, left, top, right, bottom, 8))
    body = rounded_rect_coverage(x, y, left + 1, top + 1, right - 1, bottom - 1, 7)
    if body:
        shade = mix(body_colour, WHITE, 0.18 * (1 - (x - left) / (right - left)))
        c = mix(c, shade, body)
    # antenna stub
    c = mix(c, edge_colour, rounded_rect_coverage(x, y, 72, 0, 78, 6, 2))
    # display with the model name
    disp = rounded_rect_coverage(x, y, left + 4, top + 8, right - 4, top + 27, 2)
    if disp:
        c = mix(c, mix((186, 224, 150), (150, 200, 120), (y - top - 8) / 19), disp)
    if model_text_pixel(model, x - (left + 6), y - (top + 13)):
        c = (36, 64, 30)
    # keypad: 3 x 4 round keys and a wide select key
    c = mix(c, ACCENT, rounded_rect_coverage(x, y, left + 12, top + 31, right - 12, top + 36, 2.5))
    for row in range(4):
        for col in range(3):
            kx = left + 11 + col * 9
            ky = top + 43 + row * 6.5
            c = mix(c, (228, 232, 238), circle_coverage(x, y, kx, ky, 2.4))
    return c


# 3 x 5 pixel letters for the display, scaled by two
GLYPHS = {
    "V": ["101", "101", "101", "101", "010"],
    "Q": ["111", "101", "101", "111", "001"],
    "2": ["111", "001", "111", "100", "111"],
    "0": ["111", "101", "101", "101", "111"],
    "X": ["101", "101", "010", "101", "101"],
}


def model_text_pixel(model, x, y):
    x, y = math.floor(x), math.floor(y)
    if x < 0 or y < 0 or y >= 10:
        return False
    cell = x // 2
    letter, column = divmod(cell, 4)
    if letter >= len(model) or column == 3:
        return False
    return GLYPHS[model[letter]][y // 2][column] == "1"


def render(width, height, pixel):
    """Each pixel is the mean of a 2 x 2 grid of samples."""
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            acc = [0.0, 0.0, 0.0]
            for sy in (0.25, 0.75):
                for sx in (0.25, 0.75):
                    p = pixel(x + sx, y + sy)
                    acc[0] += p[0]
                    acc[1] += p[1]
                    acc[2] += p[2]
            row.append(tuple(int(round(v / 4)) for v in acc))
        rows.append(row)
    return rows


def median_cut(colours, count):
    """colours: {rgb: weight}. Returns up to count representative colours."""
    boxes = [list(colours.items())]
    while len(boxes) < count:
        # split the box with the widest channel range, weighted by its pixel count
        best, best_score, best_channel = None, -1, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                values = [c[ch] for c, _ in box]
                spread = max(values) - min(values)
                score = spread * math.sqrt(sum(w for _, w in box))
                if score > best_score:
                    best, best_score, best_channel = i, score, ch
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda cw: cw[0][best_channel])
        total = sum(w for _, w in box)
        acc, cut = 0, 1
        for j, (_, w) in enumerate(box):
            acc += w
            if acc >= total / 2:
                cut = max(1, min(len(box) - 1, j + 1))
                break
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(w for _, w in box)
        palette.append(tuple(int(round(sum(c[ch] * w for c, w in box) / total)) for ch in range(3)))
    return palette


def quantise(rows, fixed):
    counts = {}
    for row in rows:
        for p in row:
            counts[p] = counts.get(p, 0) + 1
    rest = {c: w for c, w in counts.items() if c not in fixed}
    palette = list(fixed) + median_cut(rest, 256 - len(fixed)) if rest else list(fixed)
    palette = palette[:256]
    while len(palette) < 256:
        palette.append((0, 0, 0))
    nearest = {}
    for c in counts:
        nearest[c] = min(range(len(palette)),
                         key=lambda i: (palette[i][0] - c[0]) ** 2 * 3 + (palette[i][1] - c[1]) ** 2 * 4
                         + (palette[i][2] - c[2]) ** 2 * 2)
    return palette, [[nearest[p] for p in row] for row in rows]


def bmp8(palette, indices):
    height, width = len(indices), len(indices[0])
    stride = (width + 3) // 4 * 4
    bits = bytearray()
    for row in reversed(indices):  # bottom-up
        bits += bytes(row) + bytes(stride - width)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits), 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(colours)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return head + info + colours + bytes(bits)


HAND = [
    "......XX..........",
    ".....X..X.........",
    ".....X..X.........",
    ".....X..X.........",
    ".....X..X.........",
    ".....X..XXX.......",
    ".....X..X..XXX....",
    ".....X..X..X..XX..",
    ".....X..X..X..X.X.",
    ".XX..X..X..X..X..X",
    ".X.X.X...........X",
    ".X..XX...........X",
    "..X..X...........X",
    "...X.............X",
    "...X.............X",
    "....X............X",
    "....X...........X.",
    ".....X..........X.",
    ".....X.........X..",
    "......X........X..",
    "......X........X..",
    "......XXXXXXXXXX..",
]
HAND_HOT_SPOT = (6, 0)


def hand_cursor():
    """A 32 x 32 cursor file: black outline, white inside, transparent around."""
    size = 32
    grid = [list(row.ljust(size, ".")) for row in HAND] + [["."] * size for _ in range(size - len(HAND))]
    outside = set()
    stack = [(0, size - 1)]
    while stack:
        x, y = stack.pop()
        if not (0 <= x < size and 0 <= y < size) or (x, y) in outside or grid[y][x] == "X":
            continue
        outside.add((x, y))
        stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        mask_row = 0
        for x in range(size):
            if grid[y][x] == "X":
                colour += bytes((0, 0, 0, 255))
            elif (x, y) in outside:
                colour += bytes((0, 0, 0, 0))
                mask_row |= 1 << (size - 1 - x)
            else:
                colour += bytes((255, 255, 255, 255))
        mask += struct.pack(">I", mask_row)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = info + colour + mask
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, HAND_HOT_SPOT[0], HAND_HOT_SPOT[1], len(image), 6 + 16)
    return directory + entry + image


def main():
    res = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    os.makedirs(os.path.join(res, "bitmaps"), exist_ok=True)
    os.makedirs(os.path.join(res, "cursors"), exist_ok=True)
    fixed = [WHITE, ACCENT, (206, 222, 235), (205, 223, 237), (248, 251, 253), (36, 64, 30)]
    rows = render(WIDTH, HEIGHT, background_pixel)
    palette, indices = quantise(rows, fixed)
    with open(os.path.join(res, "bitmaps", "background.bmp"), "wb") as f:
        f.write(bmp8(palette, indices))
    for model, name in (("VQ20", "phone_vq20.bmp"), ("VQ2X", "phone_vq2x.bmp")):
        rows = render(PHONE_W, PHONE_H, lambda x, y, m=model: phone_pixel(x, y, m))
        palette, indices = quantise(rows, fixed)
        with open(os.path.join(res, "bitmaps", name), "wb") as f:
            f.write(bmp8(palette, indices))
    with open(os.path.join(res, "cursors", "hand.cur"), "wb") as f:
        f.write(hand_cursor())


if __name__ == "__main__":
    main()
