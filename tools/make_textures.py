#!/usr/bin/env python3
"""Generates every image the game reads: surface textures with their specular
maps, the code poster, the six sky faces, the HUD icons, the fallback texture
and the window icon. Everything is procedural and seeded, so a run always
writes the same files.

Usage: python3 tools/make_textures.py   (from the project root)
Needs python3-numpy and python3-pil, and the font fetched by tools/fetch_font.sh
(the poster and the key icons are lettered with it).
"""
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEX = os.path.join(ROOT, "assets", "textures")
FONT = os.path.join(ROOT, "assets", "fonts", "VT323-Regular.ttf")
CODE_FILE = os.path.join(ROOT, "tools", "lock_code.txt")


def read_code():
    """The four lock digits, from tools/lock_code.txt."""
    with open(CODE_FILE) as f:
        lines = [l.strip() for l in f if l.strip() and not l.startswith("#")]
    if len(lines) != 1 or len(lines[0]) != 4 or not all(c in "123456789" for c in lines[0]):
        sys.exit(f"{CODE_FILE}: expected one line of four digits 1-9")
    return [int(c) for c in lines[0]]


# ---------------------------------------------------------------------------
# Noise helpers. Spectral noise is periodic, so every texture built from it
# tiles without seams.

def fractal_noise(rng, size, beta=2.0, aniso=(1.0, 1.0)):
    """Tileable noise in [0, 1] with a 1/f^beta spectrum; aniso stretches it."""
    h, w = size
    white = rng.standard_normal((h, w))
    fy = np.fft.fftfreq(h)[:, None] * aniso[1]
    fx = np.fft.fftfreq(w)[None, :] * aniso[0]
    f = np.sqrt(fx * fx + fy * fy)
    f[0, 0] = 1.0
    spec = np.fft.fft2(white) / (f ** (beta / 2.0))
    spec[0, 0] = 0.0
    n = np.real(np.fft.ifft2(spec))
    n -= n.min()
    return n / max(n.max(), 1e-9)


def to_img(rgb):
    return Image.fromarray((np.clip(rgb, 0.0, 1.0) * 255.0 + 0.5).astype(np.uint8))


# Maps of small things, never seen up close enough to show their full detail
# (a player cannot come nearer than about half a metre): they are painted at
# full size and stored one mipmap level down, which looks the same wherever
# the full map would have been shown at half its size or less, and takes a
# quarter of the memory.
STORED_AT_HALF = {"steel", "wood", "fabric", "plate", "goal", "guard", "ceiling", "concrete"}


def mip_half(img):
    """The next mipmap level: each texel the mean of a 2 x 2 block, as the GL
    builds a map's levels."""
    a = np.asarray(img, dtype=np.float64)
    h, w = a.shape[0] // 2, a.shape[1] // 2
    a = a[:2 * h, :2 * w].reshape(h, 2, w, 2, *a.shape[2:]).mean(axis=(1, 3))
    return Image.fromarray((a + 0.5).astype(np.uint8), img.mode)


def save(img, name):
    if os.path.splitext(name)[0].replace("_specular", "") in STORED_AT_HALF:
        img = mip_half(img)
    path = os.path.join(TEX, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if name.endswith(".jpg"):
        img.convert("RGB").save(path, quality=88)
    else:
        img.save(path, optimize=True)
    print("wrote", os.path.relpath(path, ROOT))


def colorize(v, c0, c1):
    """Blends two colours by a [0, 1] field."""
    c0 = np.array(c0, dtype=float)
    c1 = np.array(c1, dtype=float)
    return c0 + (c1 - c0) * v[..., None]


def spec_map(v, lo, hi):
    g = lo + (hi - lo) * v
    return Image.fromarray((np.clip(g, 0, 1) * 255 + 0.5).astype(np.uint8), "L")


# ---------------------------------------------------------------------------
# Surface textures (512 x 512 diffuse, 256 x 256 specular).

def bricks(rng):
    n = 512
    rows, per_row = 8, 4
    bh, bw = n // rows, n // per_row
    y, x = np.mgrid[0:n, 0:n]
    row = y // bh
    xs = (x + (row % 2) * (bw // 2)) % n
    col = xs // bw
    brick_id = row * per_row + col
    tint = rng.uniform(0.8, 1.15, rows * per_row)[brick_id]
    hue = rng.uniform(-0.06, 0.06, rows * per_row)[brick_id]
    mortar = ((y % bh) < 5) | ((xs % bw) < 5)
    grain = fractal_noise(rng, (n, n), 1.6)
    fine = fractal_noise(rng, (n, n), 0.6)
    base = np.stack([0.55 + hue, 0.27 + hue * 0.5, 0.2 + 0 * hue], -1) * tint[..., None]
    base *= (0.8 + 0.35 * grain)[..., None] * (0.9 + 0.2 * fine)[..., None]
    mort = colorize(fine, (0.55, 0.53, 0.5), (0.7, 0.68, 0.64))
    rgb = np.where(mortar[..., None], mort, base)
    # a little grime towards the bottom of every brick
    rgb *= (1.0 - 0.12 * ((y % bh) / bh))[..., None]
    save(to_img(rgb), "brick.png")
    s = np.where(mortar, 0.05, 0.15 + 0.25 * fine)
    save(spec_map(s, 0, 1).resize((256, 256), Image.BILINEAR), "brick_specular.png")


def concrete(rng, name, c0, c1, spots=True):
    n = 512
    big = fractal_noise(rng, (n, n), 2.4)
    mid = fractal_noise(rng, (n, n), 1.4)
    fine = fractal_noise(rng, (n, n), 0.3)
    v = 0.45 * big + 0.35 * mid + 0.2 * fine
    rgb = colorize(v, c0, c1)
    if spots:
        pits = fine > 0.82
        rgb[pits] *= 0.75
        stains = fractal_noise(rng, (n, n), 2.8)
        rgb *= (1.0 - 0.18 * np.clip((stains - 0.6) * 3.0, 0, 1))[..., None]
    save(to_img(rgb), name + ".png")
    save(spec_map(mid, 0.05, 0.3).resize((256, 256), Image.BILINEAR), name + "_specular.png")


def brushed_steel(rng):
    n = 512
    streak = fractal_noise(rng, (n, n), 1.2, aniso=(12.0, 0.25))
    blot = fractal_noise(rng, (n, n), 2.5)
    v = 0.65 * streak + 0.35 * blot
    rgb = colorize(v, (0.52, 0.54, 0.56), (0.84, 0.85, 0.87))
    save(to_img(rgb), "steel.png")
    save(spec_map(streak, 0.55, 0.95).resize((256, 256), Image.BILINEAR), "steel_specular.png")


def painted_metal(rng):
    n = 512
    y, x = np.mgrid[0:n, 0:n]
    blot = fractal_noise(rng, (n, n), 2.2)
    fine = fractal_noise(rng, (n, n), 0.8)
    rust_field = fractal_noise(rng, (n, n), 2.0)
    rgb = colorize(0.6 * blot + 0.4 * fine, (0.23, 0.3, 0.29), (0.36, 0.44, 0.42))
    rust = np.clip((rust_field - 0.68) * 6.0, 0, 1)
    rust_col = colorize(fine, (0.3, 0.15, 0.07), (0.55, 0.3, 0.12))
    rgb = rgb * (1 - rust[..., None]) + rust_col * rust[..., None]
    # scratches: thin bright diagonal lines
    img = to_img(rgb)
    d = ImageDraw.Draw(img)
    for _ in range(60):
        x0, y0 = rng.integers(0, n, 2)
        a = rng.uniform(-0.4, 0.4) + (math.pi / 4 if rng.random() < 0.5 else -math.pi / 4)
        ln = rng.integers(10, 60)
        x1, y1 = x0 + ln * math.cos(a), y0 + ln * math.sin(a)
        d.line([(x0, y0), (x1, y1)], fill=(150, 160, 155), width=1)
    # rivets along the panel edges (the tile edges)
    for p in range(16, n, 64):
        for (cx, cy) in ((p, 12), (p, n - 12), (12, p), (n - 12, p)):
            d.ellipse([cx - 5, cy - 5, cx + 5, cy + 5], fill=(70, 82, 80), outline=(40, 48, 46))
            d.ellipse([cx - 3, cy - 4, cx + 1, cy], fill=(125, 138, 134))
    save(img, "metal_door.png")
    s = 0.35 + 0.3 * fine - 0.3 * rust
    save(spec_map(s, 0, 1).resize((256, 256), Image.BILINEAR), "metal_door_specular.png")


def wood(rng):
    n = 512
    y, x = np.mgrid[0:n, 0:n].astype(float)
    warp = fractal_noise(rng, (n, n), 2.2, aniso=(0.3, 3.0))
    fine = fractal_noise(rng, (n, n), 0.8, aniso=(0.2, 4.0))
    rings = 0.5 + 0.5 * np.sin(2 * math.pi * (6 * y / n + 2.0 * warp))
    v = 0.55 * rings ** 3 + 0.3 * fine + 0.15 * warp
    rgb = colorize(v, (0.42, 0.26, 0.13), (0.68, 0.47, 0.27))
    save(to_img(rgb), "wood.png")
    save(spec_map(rings, 0.1, 0.35).resize((256, 256), Image.BILINEAR), "wood_specular.png")


def fabric(rng):
    n = 512
    y, x = np.mgrid[0:n, 0:n].astype(float)
    weave = 0.5 + 0.25 * np.sin(2 * math.pi * x / 8) * np.sign(np.sin(2 * math.pi * y / 16)) \
        + 0.25 * np.sin(2 * math.pi * y / 8) * np.sign(np.sin(2 * math.pi * x / 16))
    blot = fractal_noise(rng, (n, n), 2.3)
    v = 0.55 * weave + 0.45 * blot
    rgb = colorize(v, (0.26, 0.3, 0.36), (0.48, 0.52, 0.58))
    # two pale stripes across the blanket
    stripe = ((y % 256) > 200) & ((y % 256) < 220)
    rgb[stripe] = rgb[stripe] * 0.6 + np.array([0.75, 0.72, 0.62]) * 0.4
    save(to_img(rgb), "fabric.png")
    save(spec_map(weave, 0.02, 0.12).resize((256, 256), Image.BILINEAR), "fabric_specular.png")


def blocks(rng):
    """Big cast concrete blocks of the yard and labyrinth walls."""
    n = 512
    y, x = np.mgrid[0:n, 0:n]
    rows, per_row = 4, 2
    bh, bw = n // rows, n // per_row
    row = y // bh
    xs = (x + (row % 2) * (bw // 2)) % n
    col = xs // bw
    bid = row * per_row + col
    tint = rng.uniform(0.88, 1.08, rows * per_row)[bid]
    joint = ((y % bh) < 4) | ((xs % bw) < 4)
    big = fractal_noise(rng, (n, n), 2.2)
    fine = fractal_noise(rng, (n, n), 0.5)
    v = 0.6 * big + 0.4 * fine
    rgb = colorize(v, (0.5, 0.48, 0.43), (0.72, 0.7, 0.64)) * tint[..., None]
    moss = np.clip((fractal_noise(rng, (n, n), 2.6) - 0.62) * 4.0, 0, 1) * (y / n)
    rgb = rgb * (1 - moss[..., None] * 0.6) + np.array([0.25, 0.33, 0.16]) * moss[..., None] * 0.6
    rgb[joint] *= 0.55
    save(to_img(rgb), "blocks.png")
    s = np.where(joint, 0.02, 0.08 + 0.15 * fine)
    save(spec_map(s, 0, 1).resize((256, 256), Image.BILINEAR), "blocks_specular.png")


def plate(rng):
    """Pressure plate: steel chequer plate with a hazard-striped border."""
    n = 512
    y, x = np.mgrid[0:n, 0:n].astype(float)
    noise = fractal_noise(rng, (n, n), 1.5)
    rgb = colorize(noise, (0.45, 0.46, 0.47), (0.65, 0.66, 0.67))
    tread = (np.abs(((x + y) % 40) - 20) < 3) & ((x // 40 + y // 40) % 2 == 0) | \
            (np.abs(((x - y) % 40) - 20) < 3) & ((x // 40 + y // 40) % 2 == 1)
    rgb[tread] *= 1.25
    border = (x < 56) | (x > n - 57) | (y < 56) | (y > n - 57)
    stripe = ((x + y) // 36) % 2 == 0
    rgb[border & stripe] = [0.9, 0.72, 0.08]
    rgb[border & ~stripe] = [0.08, 0.08, 0.08]
    save(to_img(rgb), "plate.png")
    save(spec_map(np.where(border, 0.2, 0.7) * (0.7 + 0.3 * noise), 0, 1).resize((256, 256)),
         "plate_specular.png")


def goal(rng):
    """The exit pad: a green field with a white ring and an arrow."""
    n = 512
    y, x = np.mgrid[0:n, 0:n].astype(float)
    noise = fractal_noise(rng, (n, n), 1.8)
    rgb = colorize(noise, (0.08, 0.45, 0.16), (0.18, 0.7, 0.28))
    img = to_img(rgb)
    d = ImageDraw.Draw(img)
    d.ellipse([40, 40, n - 40, n - 40], outline=(235, 245, 235), width=22)
    # arrow pointing along +u (the way out, +x in the level)
    d.polygon([(150, 220), (290, 220), (290, 150), (390, 256), (290, 362), (290, 292), (150, 292)],
              fill=(240, 250, 240))
    save(img, "goal.png")
    save(spec_map(noise, 0.2, 0.5).resize((256, 256)), "goal_specular.png")


def lock_face(rng):
    """The face plate of a combination lock: no lamp lights it (see
    build_models.py), so it shows at a tenth of these colours, nearly black,
    and at their full strength while in focus; a slate blue, dark enough at
    full strength for the white digit to read on it in both states."""
    n = 256
    y, x = np.mgrid[0:n, 0:n].astype(float)
    noise = fractal_noise(rng, (n, n), 1.2)
    rgb = colorize(noise, (0.2, 0.29, 0.62), (0.26, 0.36, 0.72))
    edge = np.minimum(np.minimum(x, n - 1 - x), np.minimum(y, n - 1 - y))
    bevel = np.clip(1.0 - edge / 14.0, 0, 1)
    rgb += (0.35 * bevel)[..., None] * np.array([0.8, 0.8, 0.85])
    save(to_img(rgb), "lock.png")
    save(spec_map(0.4 + 0.4 * bevel, 0, 1), "lock_specular.png")


def glasses_tex(rng):
    """Left half: black plastic frame; right half: red lens."""
    n = 128
    noise = fractal_noise(rng, (n, n), 1.2)
    rgb = colorize(noise, (0.03, 0.03, 0.03), (0.12, 0.11, 0.1))
    lens = colorize(noise, (0.75, 0.05, 0.04), (0.95, 0.15, 0.1))
    rgb[:, n // 2:] = lens[:, n // 2:]
    save(to_img(rgb), "glasses.png")
    save(spec_map(np.full((n, n), 0.8), 0, 1), "glasses_specular.png")


def guard_tex(rng):
    """Atlas of the guard: uniform (top left), skin (top right), boots and
    belt (bottom left), face (bottom right); each quadrant 256 x 256."""
    n = 512
    h = n // 2
    noise = fractal_noise(rng, (n, n), 1.0)
    blot = fractal_noise(rng, (n, n), 2.2)
    rgb = np.zeros((n, n, 3))
    uniform = colorize(0.5 * noise + 0.5 * blot, (0.1, 0.14, 0.27), (0.2, 0.26, 0.42))
    skin = colorize(blot, (0.72, 0.53, 0.42), (0.84, 0.64, 0.52))
    boots = colorize(noise, (0.04, 0.035, 0.03), (0.14, 0.12, 0.1))
    rgb[:h, :h] = uniform[:h, :h]
    rgb[:h, h:] = skin[:h, h:]
    rgb[h:, :h] = boots[h:, :h]
    rgb[h:, h:] = skin[h:, h:]
    img = to_img(rgb)
    d = ImageDraw.Draw(img)
    # seams and a badge on the uniform
    for k in range(0, h, 64):
        d.line([(k, 0), (k, h - 1)], fill=(20, 26, 48), width=2)
    d.polygon([(180, 60), (200, 52), (220, 60), (214, 90), (200, 100), (186, 90)], fill=(205, 170, 60))
    # face: eyes, brows, nose shadow and a stern mouth
    ox, oy = h, h
    for ex in (ox + 80, ox + 176):
        d.ellipse([ex - 18, oy + 88, ex + 18, oy + 112], fill=(245, 245, 240))
        d.ellipse([ex - 8, oy + 92, ex + 8, oy + 108], fill=(40, 30, 25))
        d.rectangle([ex - 24, oy + 70, ex + 24, oy + 78], fill=(60, 40, 30))
    d.polygon([(ox + 128, oy + 110), (ox + 112, oy + 160), (ox + 140, oy + 160)], fill=(170, 115, 95))
    d.rectangle([ox + 92, oy + 190, ox + 164, oy + 198], fill=(110, 50, 45))
    save(img, "guard.png")
    s = np.zeros((n, n))
    s[:h, :h] = 0.12
    s[:h, h:] = 0.25
    s[h:, :h] = 0.55
    s[h:, h:] = 0.25
    save(spec_map(s, 0, 1).resize((256, 256)), "guard_specular.png")


# ---------------------------------------------------------------------------
# The code poster. The red glasses keep only the red channel, so the poster is
# painted for two viewers at once: six four-digit codes of one size and weight
# on plain paper, each in its own ink, spread round the colour wheel and all
# about as far from the paper in colour (CIELAB) as each other, so that the
# naked eye has nothing to prefer one by, however much distance blurs them.
# Five inks keep the paper's red exactly and vanish through the filter at
# every mip level (averaging equal reds gives that red again); only the door
# code's ink has little red, and it stays, dark on an even field. The colours
# are chosen for the cell's warm lamp, which makes the bluish paper grey; the
# door code's ink sits a little closer to the paper than the others, so that
# blurring never lifts it above them. The poster has its own seed, so
# reworking it leaves the other textures alone.

POSTER_SEED = 7311
POSTER_PAPER = (123, 134, 147)
POSTER_CODE_INK = (24, 122, 124)  # teal
POSTER_DECOY_INKS = [(123, 63, 70), (123, 80, 45), (123, 138, 74), (123, 126, 211), (123, 73, 133)]
POSTER_DIGIT_SIZE = 140
POSTER_WEIGHT = 4  # pixels of stroke around every glyph: bolder digits survive the mip levels


def poster(code):
    n = 512
    if not os.path.exists(FONT):
        sys.exit(f"{FONT} is missing: run tools/fetch_font.sh first")
    if any(ink[0] != POSTER_PAPER[0] for ink in POSTER_DECOY_INKS) or POSTER_CODE_INK[0] > POSTER_PAPER[0] // 2:
        sys.exit("make_textures.py: the decoy inks must keep the paper's red, the code's ink must drop it")
    rng = np.random.default_rng(POSTER_SEED)
    font = ImageFont.truetype(FONT, POSTER_DIGIT_SIZE)

    def mask(text, centre):
        m = Image.new("L", (n, n), 0)
        ImageDraw.Draw(m).text(centre, text, font=font, anchor="mm", fill=255, stroke_width=POSTER_WEIGHT,
                               stroke_fill=255)
        return np.asarray(m).astype(float) / 255.0

    # Decoys carry about as much ink as the code, so that none of the six
    # blurs into a paler or a heavier patch than the others.
    true_code = "".join(str(d) for d in code)
    ink = mask(true_code, (n / 2, n / 2)).sum()
    decoys = []
    while len(decoys) < len(POSTER_DECOY_INKS):
        candidate = "".join(str(d) for d in rng.integers(1, 10, 4))
        if candidate != true_code and candidate not in decoys and \
                abs(mask(candidate, (n / 2, n / 2)).sum() / ink - 1.0) < 0.02:
            decoys.append(candidate)

    # Three rows of two, in shuffled order: the code has no place of its own.
    entries = [(true_code, POSTER_CODE_INK)] + list(zip(decoys, POSTER_DECOY_INKS))
    paper = np.array(POSTER_PAPER, dtype=float)
    rgb = np.empty((n, n, 3))
    rgb[...] = paper
    for slot, k in enumerate(rng.permutation(len(entries))):
        text, colour = entries[k]
        m = mask(text, (n * (0.25 + 0.5 * (slot % 2)), n * (0.2 + 0.3 * (slot // 2))))
        rgb += (np.array(colour, dtype=float) - rgb) * m[..., None]
    save(Image.fromarray(np.round(rgb).astype(np.uint8)), "poster.png")
    save(spec_map(np.full((64, 64), 0.05), 0, 1), "poster_specular.png")


# ---------------------------------------------------------------------------
# Sky: one function of the view direction sampled on the six faces, so the
# faces meet without seams.

class ValueNoise3:
    def __init__(self, rng, size=64):
        self.size = size
        self.table = rng.random((size, size, size))

    def __call__(self, p):
        s = self.size
        i = np.floor(p).astype(int)
        f = p - i
        f = f * f * (3 - 2 * f)
        out = 0.0
        for dx in (0, 1):
            for dy in (0, 1):
                for dz in (0, 1):
                    w = (f[..., 0] if dx else 1 - f[..., 0]) * (f[..., 1] if dy else 1 - f[..., 1]) \
                        * (f[..., 2] if dz else 1 - f[..., 2])
                    out = out + w * self.table[(i[..., 0] + dx) % s, (i[..., 1] + dy) % s, (i[..., 2] + dz) % s]
        return out


def sky(rng):
    n = 512
    noise = ValueNoise3(rng)
    j, i = np.meshgrid(np.arange(n), np.arange(n))
    sc = 2.0 * (j + 0.5) / n - 1.0
    tc = 2.0 * (i + 0.5) / n - 1.0
    one = np.ones_like(sc)
    # OpenGL cube-map conventions: first image row is t = 0.
    faces = {
        "right.jpg": (one, -tc, -sc),
        "left.jpg": (-one, -tc, sc),
        "top.jpg": (sc, one, tc),
        "bottom.jpg": (sc, -one, -tc),
        "front.jpg": (sc, -tc, one),
        "back.jpg": (-sc, -tc, -one),
    }
    sun = np.array([0.55, 0.32, -0.77])
    sun /= np.linalg.norm(sun)
    for name, (dx, dy, dz) in faces.items():
        d = np.stack([dx, dy, dz], -1)
        d /= np.linalg.norm(d, axis=-1, keepdims=True)
        up = d[..., 1]
        # base gradient: warm haze at the horizon, deep blue overhead
        t = np.clip(up, 0, 1) ** 0.5
        col = colorize(t, (0.86, 0.74, 0.62), (0.2, 0.38, 0.72))
        # clouds, projected on a plane above the viewer
        hgt = np.clip(up, 0.02, 1)
        p = np.stack([d[..., 0] / hgt, d[..., 2] / hgt, np.zeros_like(hgt)], -1) * 1.6 + 7.3
        c = 0.0
        amp, freq = 0.55, 1.0
        for _ in range(5):
            c = c + amp * noise(p * freq)
            amp *= 0.5
            freq *= 2.1
        cover = np.clip((c - 0.5) * 2.6, 0, 1) * np.clip(up * 6, 0, 1)
        cloud = colorize(np.clip(c, 0, 1), (0.72, 0.7, 0.72), (1.0, 0.97, 0.95))
        col = col * (1 - cover[..., None]) + cloud * cover[..., None]
        # sun glow
        s = np.clip(np.sum(d * sun, -1), 0, 1)
        col += (s ** 200 * 1.2 + s ** 12 * 0.25)[..., None] * np.array([1.0, 0.9, 0.7])
        # below the horizon: a dim, hazy ground
        below = np.clip(-up * 8, 0, 1)
        ground = colorize(np.clip(noise(d * 12 + 3.1), 0, 1), (0.2, 0.2, 0.18), (0.32, 0.3, 0.26))
        col = col * (1 - below[..., None]) + ground * below[..., None]
        save(to_img(col), "cubemap/" + name)


# ---------------------------------------------------------------------------
# HUD icons (96 x 96 RGBA), the fallback texture and the window icon.

def key_icon(pressed):
    s = 4  # draw large, then scale down for smooth edges
    n = 96 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    off = 10 * s if pressed else 0
    body_top = (235, 235, 230, 255) if not pressed else (200, 215, 235, 255)
    side = (150, 150, 145, 255) if not pressed else (110, 125, 150, 255)
    d.rounded_rectangle([6 * s, 6 * s + off, 90 * s, 90 * s], radius=14 * s, fill=side,
                        outline=(30, 30, 30, 255), width=3 * s)
    d.rounded_rectangle([12 * s, 10 * s + off, 84 * s, (76 if not pressed else 84) * s], radius=10 * s,
                        fill=body_top)
    font = ImageFont.truetype(FONT, 60 * s)
    cy = (43 if not pressed else 49) * s
    d.text((48 * s, cy), "E", font=font, anchor="mm", fill=(25, 25, 30, 255))
    return img.resize((96, 96), Image.LANCZOS)


def glasses_icon():
    s = 4
    n = 96 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    frame = (20, 20, 22, 255)
    for cx in (27, 69):
        d.rounded_rectangle([(cx - 20) * s, 34 * s, (cx + 20) * s, 64 * s], radius=9 * s, fill=frame)
        d.rounded_rectangle([(cx - 15) * s, 39 * s, (cx + 15) * s, 59 * s], radius=6 * s,
                            fill=(225, 30, 25, 235))
        d.ellipse([(cx - 10) * s, 42 * s, (cx - 4) * s, 48 * s], fill=(255, 170, 160, 220))
    d.rectangle([45 * s, 40 * s, 51 * s, 46 * s], fill=frame)
    d.line([(8 * s, 40 * s), (2 * s, 30 * s)], fill=frame, width=4 * s)
    d.line([(88 * s, 40 * s), (94 * s, 30 * s)], fill=frame, width=4 * s)
    return img.resize((96, 96), Image.LANCZOS)


def missing_texture():
    n, c = 64, 8
    y, x = np.mgrid[0:n, 0:n]
    check = ((x // c + y // c) % 2 == 0)
    rgb = np.where(check[..., None], np.array([1.0, 0.0, 1.0]), np.array([0.0, 0.0, 0.0]))
    save(to_img(rgb), "missing_texture.png")


def window_icon():
    s = 4
    n = 64 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([2 * s, 2 * s, 62 * s, 62 * s], radius=10 * s, fill=(48, 56, 60, 255),
                        outline=(20, 22, 24, 255), width=2 * s)
    for bx in (14, 26, 38, 50):
        d.rectangle([(bx - 2) * s, 6 * s, (bx + 2) * s, 58 * s], fill=(150, 160, 165, 255))
    d.rectangle([6 * s, 12 * s, 58 * s, 16 * s], fill=(120, 130, 135, 255))
    d.rectangle([6 * s, 48 * s, 58 * s, 52 * s], fill=(120, 130, 135, 255))
    # a golden key across the bars
    gold = (235, 190, 50, 255)
    d.ellipse([10 * s, 24 * s, 28 * s, 42 * s], outline=gold, width=5 * s)
    d.rectangle([27 * s, 31 * s, 54 * s, 35 * s], fill=gold)
    d.rectangle([46 * s, 35 * s, 50 * s, 42 * s], fill=gold)
    d.rectangle([38 * s, 35 * s, 42 * s, 40 * s], fill=gold)
    path = os.path.join(ROOT, "assets", "icon.png")
    img.resize((64, 64), Image.LANCZOS).save(path, optimize=True)
    print("wrote", os.path.relpath(path, ROOT))


# ---------------------------------------------------------------------------
# The labyrinth's paint: one patch per arm colour, and the beacon's lamp glass,
# side by side (tools/build_models.py's TRIM list gives the order). Its own
# seed, so the other textures stay as they are.

TRIM_SEED = 5150
TRIM_COLOURS = [
    (0.86, 0.16, 0.12),  # red
    (0.95, 0.52, 0.1),   # orange
    (0.95, 0.86, 0.16),  # yellow
    (0.18, 0.7, 0.26),   # green
    (0.16, 0.36, 0.88),  # blue
    (0.58, 0.22, 0.74),  # purple
    (0.94, 0.94, 0.92),  # white: the exit
    (1.0, 0.78, 0.22),   # the beacon's lamp: amber against the sky
]


def trim():
    rng = np.random.default_rng(TRIM_SEED)
    n = 64
    noise = fractal_noise(rng, (n, n * len(TRIM_COLOURS)), 1.4)
    rgb = np.zeros((n, n * len(TRIM_COLOURS), 3))
    for i, colour in enumerate(TRIM_COLOURS):
        patch = noise[:, i * n:(i + 1) * n]
        rgb[:, i * n:(i + 1) * n] = np.array(colour) * (0.88 + 0.12 * patch)[..., None]
    save(to_img(rgb), "trim.png")
    save(spec_map(0.25 + 0.2 * noise, 0, 1), "trim_specular.png")


def main():
    code = read_code()
    os.makedirs(os.path.join(TEX, "cubemap"), exist_ok=True)
    rng = np.random.default_rng(20240611)
    bricks(rng)
    concrete(rng, "concrete", (0.38, 0.38, 0.37), (0.62, 0.61, 0.58))
    concrete(rng, "ceiling", (0.55, 0.55, 0.53), (0.74, 0.73, 0.7), spots=False)
    brushed_steel(rng)
    painted_metal(rng)
    wood(rng)
    fabric(rng)
    blocks(rng)
    plate(rng)
    goal(rng)
    lock_face(rng)
    glasses_tex(rng)
    guard_tex(rng)
    poster(code)
    sky(rng)
    save(key_icon(False), "key_e.png")
    save(key_icon(True), "key_e_pressed.png")
    save(glasses_icon(), "glasses_icon.png")
    missing_texture()
    window_icon()
    trim()


if __name__ == "__main__":
    main()
