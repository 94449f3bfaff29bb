"""Pictures: how much of a screen taken on the board differs from a picture of the offscreen
gallery (tests/ draws it with the same software renderer), with parts masked or cropped."""
import time

# Where the screens taken by matches() are kept.
SHOTS = "/tmp/board-screens"


def differs(png_a, png_b, masks=(), tolerance=16, box=None):
    """Fraction of pixels (in box, outside the masked (x0, y0, x1, y1) boxes) that differ."""
    from PIL import Image, ImageChops, ImageDraw
    a, b = (Image.open(p).convert("RGB") for p in (png_a, png_b))
    if box and a.size == b.size:
        a, b = a.crop(box), b.crop(box)
    if a.size != b.size:
        return 1.0
    diff = ImageChops.difference(a, b).convert("L").point(lambda v: 255 if v > tolerance else 0)
    draw = ImageDraw.Draw(diff)
    for box in masks:
        draw.rectangle(box, fill=0)
    return sum(diff.histogram()[255:]) / (a.size[0] * a.size[1])


def matches(machine, name, expected, masks=(), box=None, limit=0.02):
    """The screen (kept as SHOTS/name.png) differs from the picture `expected` in under `limit`
    of its pixels; a frame caught mid-update is taken again, three times at most. A note
    for the case's line, else AssertionError."""
    for _ in range(3):
        time.sleep(2)
        d = differs(machine.screen(f"{SHOTS}/{name}.png"), expected, masks, box=box)
        if d < limit:
            return f"{name} {d:.1%} differs"
    raise AssertionError(f"{name}: {d:.1%} of the screen differs from {expected}")
