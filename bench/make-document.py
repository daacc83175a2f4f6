#!/usr/bin/env python3
"""Writes the benchmark's print job: a deterministic A4 PostScript document of
mixed pages (running text, vector art with shadings, colour photographs as
inline image data), the way an application's print path produces it.

Usage: make-document.py OUTPUT [PAGES]     (PAGES defaults to 20)
       make-document.py --spool OUTPUT MB    a spool file of at least MB
                                             megabytes: the 20 pages repeated,
                                             page count in the trailer; prints
                                             the page count
The same arguments always give the same bytes.
"""

import math
import sys

WIDTH, HEIGHT = 595, 842  # A4 in points

WORDS = (
    "printer toner drum fuser paper tray duplex colour mono resolution page "
    "queue job status driver filter network channel spool document raster "
    "vector image font glyph margin layout column paragraph header footer "
    "the a of and to in is for with on as by at from that this be are it "
    "quality density contrast brightness calibration maintenance cartridge"
).split()


class Rng:
    """Small linear congruential generator: same seed, same sequence."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state

    def uniform(self, lo, hi):
        return lo + (hi - lo) * (self.next() / 4294967296.0)

    def choice(self, seq):
        return seq[self.next() % len(seq)]


def ps_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def sentence(rng, words):
    s = " ".join(rng.choice(WORDS) for _ in range(words))
    return s[0].upper() + s[1:] + "."


def text_block(rng, x, y, width_chars, lines, size, font="Times-Roman"):
    out = [f"/{font} findfont {size} scalefont setfont", "0 0 0 setrgbcolor"]
    lead = size * 1.25
    for i in range(lines):
        line = sentence(rng, 14)[:width_chars]
        out.append(f"{x} {y - i * lead:.2f} moveto {ps_string(line)} show")
    return out


def heading(rng, text, y):
    return [
        "/Helvetica-Bold findfont 18 scalefont setfont",
        "0.1 0.2 0.5 setrgbcolor",
        f"56 {y} moveto {ps_string(text)} show",
    ]


def vector_art(rng, x0, y0, w, h, shapes):
    out = ["gsave", f"{x0} {y0} translate"]
    # Axial shading background.
    out.append(
        "<< /ShadingType 2 /ColorSpace /DeviceRGB "
        f"/Coords [0 0 {w} {h}] /Extend [true true] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [0.95 0.9 0.8] /C1 [0.6 0.8 0.95] /N 1 >> "
        f">> gsave 0 0 {w} {h} rectclip shfill grestore"
    )
    for _ in range(shapes):
        kind = rng.next() % 4
        r, g, b = (rng.uniform(0, 1) for _ in range(3))
        out.append(f"{r:.3f} {g:.3f} {b:.3f} setrgbcolor")
        if kind == 0:
            cx, cy, rad = rng.uniform(0, w), rng.uniform(0, h), rng.uniform(5, 60)
            out.append(f"newpath {cx:.2f} {cy:.2f} {rad:.2f} 0 360 arc fill")
        elif kind == 1:
            pts = [(rng.uniform(0, w), rng.uniform(0, h)) for _ in range(6)]
            path = " ".join(f"{px:.2f} {py:.2f} lineto" for px, py in pts[1:])
            out.append(f"newpath {pts[0][0]:.2f} {pts[0][1]:.2f} moveto {path} closepath fill")
        elif kind == 2:
            c = [rng.uniform(0, w) if i % 2 == 0 else rng.uniform(0, h) for i in range(8)]
            lw = rng.uniform(0.5, 4)
            out.append(
                f"{lw:.2f} setlinewidth newpath {c[0]:.2f} {c[1]:.2f} moveto "
                f"{c[2]:.2f} {c[3]:.2f} {c[4]:.2f} {c[5]:.2f} {c[6]:.2f} {c[7]:.2f} curveto stroke"
            )
        else:
            rx, ry = rng.uniform(0, w - 40), rng.uniform(0, h - 40)
            out.append(
                f"{rx:.2f} {ry:.2f} {rng.uniform(10, 120):.2f} {rng.uniform(10, 90):.2f} rectfill"
            )
    # A radial shading "button".
    out.append(
        "<< /ShadingType 3 /ColorSpace /DeviceRGB "
        f"/Coords [{w * 0.7:.1f} {h * 0.7:.1f} 2 {w * 0.7:.1f} {h * 0.7:.1f} {min(w, h) * 0.25:.1f}] "
        "/Function << /FunctionType 2 /Domain [0 1] /C0 [1 1 0.9] /C1 [0.8 0.1 0.1] /N 1 >> "
        ">> shfill"
    )
    out.append("grestore")
    return out


def photo(seed, cols, rows):
    """A photograph-like RGB image: smooth fields plus sensor noise."""
    rng = Rng(seed)
    fx, fy = rng.uniform(0.01, 0.04), rng.uniform(0.01, 0.04)
    phase = rng.uniform(0, 6.28)
    noise = [rng.next() % 24 for _ in range(4093)]
    data = bytearray(cols * rows * 3)
    i = 0
    k = 0
    for y in range(rows):
        sy = math.sin(y * fy + phase)
        for x in range(cols):
            v = math.sin(x * fx) * sy
            n = noise[k]
            k = k + 1 if k < 4092 else 0
            data[i] = int(110 + 90 * v) + n
            data[i + 1] = int(120 + 60 * math.cos(x * fy - y * fx)) + n
            data[i + 2] = int(100 + 80 * (x + y) / (cols + rows)) + n
            i += 3
    return bytes(data)


def image_lines(data, x, y, w, h, cols, rows):
    out = [
        "gsave",
        f"{x} {y} translate {w} {h} scale",
        "/DeviceRGB setcolorspace",
        f"<< /ImageType 1 /Width {cols} /Height {rows} /BitsPerComponent 8 "
        f"/Decode [0 1 0 1 0 1] /ImageMatrix [{cols} 0 0 -{rows} 0 {rows}] "
        "/DataSource currentfile /ASCIIHexDecode filter >> image",
    ]
    hexdata = data.hex()
    step = 78
    out.extend(hexdata[i:i + step] for i in range(0, len(hexdata), step))
    out.append(">")
    out.append("grestore")
    return out


def page_body(n, photos):
    rng = Rng(1000 + n)
    kind = n % 4
    body = []
    if kind == 0:  # text
        body += heading(rng, f"Chapter {n // 4 + 1}: Printing in practice", 790)
        body += text_block(rng, 56, 760, 95, 52, 10)
        body += text_block(rng, 56, 100, 110, 5, 8, "Helvetica")
    elif kind == 1:  # vector
        body += heading(rng, f"Figure {n}: coverage chart", 790)
        body += vector_art(rng, 56, 380, 480, 380, 160)
        body += vector_art(rng, 56, 60, 230, 290, 60)
        body += text_block(rng, 300, 340, 40, 22, 9, "Helvetica")
    elif kind == 2:  # image
        cols, rows, data = photos[(n // 4) % len(photos)]
        body += heading(rng, f"Plate {n}", 790)
        body += image_lines(data, 56, 330, 483, 440, cols, rows)
        body += text_block(rng, 56, 300, 95, 20, 10)
    else:  # mixed
        cols, rows, data = photos[(n // 4 + 1) % len(photos)]
        body += heading(rng, f"Section {n}: a mixed page", 790)
        body += text_block(rng, 56, 760, 45, 30, 10)
        body += image_lines(data, 320, 520, 220, 240, cols, rows)
        body += vector_art(rng, 56, 60, 480, 300, 80)
    return body


def header(pages):
    return [
        "%!PS-Adobe-3.0",
        "%%Creator: hrv bench document",
        "%%Title: mixed benchmark document",
        f"%%BoundingBox: 0 0 {WIDTH} {HEIGHT}",
        "%%DocumentMedia: A4 595 842 0 () ()",
        "%%LanguageLevel: 3",
        f"%%Pages: {pages}",
        "%%EndComments",
        "%%BeginProlog",
        f"/pageMediaBox [0 0 {WIDTH} {HEIGHT}] def",
        "%%EndProlog",
        "%%BeginSetup",
        f"<< /PageSize [{WIDTH} {HEIGHT}] >> setpagedevice",
        "%%EndSetup",
    ]


def page_texts(count):
    photos = []
    for i, (cols, rows) in enumerate([(480, 360), (400, 300), (320, 240)]):
        photos.append((cols, rows, photo(77 + i, cols, rows)))
    return ["\n".join(["save"] + page_body(n, photos) + ["restore showpage"]) + "\n"
            for n in range(1, count + 1)]


def write_document(out_path, pages):
    bodies = page_texts(pages)
    with open(out_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(header(pages)) + "\n")
        for n, body in enumerate(bodies, 1):
            f.write(f"%%Page: {n} {n}\n")
            f.write(body)
        f.write("%%Trailer\n%%EOF\n")


def write_spool(out_path, megabytes):
    bodies = page_texts(20)
    limit = megabytes * 1000 * 1000
    n = 0
    with open(out_path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(header("(atend)")) + "\n")
        size = f.tell()
        while size < limit:
            body = bodies[n % len(bodies)]
            n += 1
            f.write(f"%%Page: {n} {n}\n")
            f.write(body)
            size += len(body) + 16
        f.write(f"%%Trailer\n%%Pages: {n}\n%%EOF\n")
    return n


def main():
    args = sys.argv[1:]
    if args[:1] == ["--spool"] and len(args) == 3:
        print(write_spool(args[1], int(args[2])))
        return 0
    if len(args) not in (1, 2) or args[0].startswith("-"):
        sys.stderr.write(__doc__)
        return 2
    write_document(args[0], int(args[1]) if len(args) > 1 else 20)
    return 0


if __name__ == "__main__":
    sys.exit(main())
