"""Picture files from other projects' test suites, and their pixels as a second program decodes them.

make [SOURCES]: rebuilds tests/data/conformance from Debian's source packages of Pillow and
gdk-pixbuf. SOURCES is a folder that holds both unpacked (pillow-*/, gdk-pixbuf-*/, as
`apt-get source pillow gdk-pixbuf` leaves them); without it they are fetched into a scratch folder
(scripts/setup.sh sources first adds the deb-src lines apt needs, as root). Run by hand, not by CI.

Three folders, one per source set, each with a README saying where its files come from and
under which licence: bmpsuite (Pillow's copy of the BMP suite), pillow (Pillow's own BMP, GIF, PCX
and TGA test files) and gdk-pixbuf (its reference tests and the BMP, GIF and TGA files of its other
tests). Each good or questionable file has a reference: the picture as another program decoded it,
raw RGBA bytes in <set>/ref/ (files that decode alike share one). The suite's own reference
picture serves where it ships one, Pillow's decoding otherwise.

manifest.txt lists one file a line (paths below tests/data/conformance):
  PATH good REF WIDTH HEIGHT COMPARE
  PATH questionable decode REF WIDTH HEIGHT COMPARE
  PATH questionable refuse WORD        (refused; the message names WORD, '_' for a space)
  PATH bad WIDTH HEIGHT                (refused, or decoded at the size its header says; 0 0 when
                                        the header tells none)
COMPARE is rgb (colours), rgba (colours and alpha), rgb5 (colours cut to 5 bits, for 16-bit
pictures) or near (colours and alpha within 1). The same input gives the same files, byte for byte.
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(HERE, "conformance")

GOOD, QUESTIONABLE, BAD = "good", "questionable", "bad"

# The BMP suite's questionable files: what a game library does with them, from the suite's notes.
# Undefined pixels of RLE files take colour 0 (the '-0' reference); a 32-bit file whose unused
# byte is not 0 is compared by its colours, since what that byte means is a guess.
BMP_QUESTIONABLE = {
    "pal1p1.bmp": "decode",  # one colour in the table of a 1-bit picture
    "pal2.bmp": "decode",  # 2 bits per pixel (Windows CE)
    "pal4rletrns.bmp": "decode",
    "pal8rletrns.bmp": "decode",
    "pal8offs.bmp": "decode",  # unused bytes before the pixels
    "pal8oversizepal.bmp": "decode",  # 300 colours
    "pal8os2sp.bmp": "decode",  # OS/2 table shorter than 256
    "pal8os2v2.bmp": "decode",
    "pal8os2v2-16.bmp": "decode",
    "rgb16-231.bmp": "decode",
    "rgba16-4444.bmp": "decode",
    "rgb24largepal.bmp": "decode",
    "rgb24prof.bmp": "decode",
    "rgb24lprof.bmp": "decode",
    "rgb24jpeg.bmp": "refuse JPEG",  # pictures in other formats, for printers
    "rgb24png.bmp": "refuse PNG",
    "rgb32fakealpha.bmp": "decode",
    "rgb32-111110.bmp": "decode",
    "rgb32bf-xbgr.bmp": "decode",
    "rgba32.bmp": "decode",
    "rgba32abf.bmp": "decode",
}
# The 11-bit channels of rgb32-111110 were rounded from 8 bits in a way that programs undo a
# level apart.
COMPARE_OVERRIDE = {
    "bmpsuite/q/rgb32fakealpha.bmp": "rgb",
    "bmpsuite/q/rgb32-111110.bmp": "near",
}

# Pillow's loose test files: those that show a variant the other sets do not, each with its class
# from what Pillow's own tests expect of it.
PILLOW_FILES = {
    "hopper_rle8.bmp": GOOD,
    "hopper_rle8_greyscale.bmp": GOOD,  # RLE8 with a 108-byte header
    "hopper_rle8_row_overflow.bmp": (QUESTIONABLE, "decode"),  # rows longer than the picture
    "pal8_offset.bmp": (QUESTIONABLE, "decode"),  # data offset inside the colour table
    "rgb32bf-abgr.bmp": (QUESTIONABLE, "decode"),  # alpha in the bit fields
    "rgb32bf-rgba.bmp": (QUESTIONABLE, "decode"),
    "mmap_error.bmp": BAD,  # cut short
    "l2rgb_read.bmp": BAD,  # width far past the data
    "hopper.gif": GOOD,
    "transparent.gif": GOOD,
    "first_frame_transparency.gif": GOOD,
    "comment_after_only_frame.gif": GOOD,
    "hopper_zero_comment_subblocks.gif": GOOD,
    "text_mono.gif": GOOD,
    "dispose_bgnd.gif": GOOD,  # animated: the first picture
    "missing_background.gif": GOOD,
    "test_extents.gif": GOOD,
    "no_palette.gif": BAD,  # no colour table at all
    "issue_2811.gif": BAD,  # LZW codes of 11 bits at the start
    "decompression_bomb.gif": BAD,
    "decompression_bomb_extents.gif": BAD,
    "odd_stride.pcx": (QUESTIONABLE, "decode"),  # bytes per line odd
    "pil184.pcx": (QUESTIONABLE, "decode"),  # 1 bit per pixel, x min 1
    "01r_00.pcx": BAD,  # cut short
    "ossfuzz-4836216264589312.pcx": BAD,
    "cross_scan_line.tga": GOOD,  # a run packet across two rows
    "la.tga": GOOD,  # grey with alpha
    "p_16.tga": GOOD,  # colour map of 16-bit entries, ID field
    "tga_id_field.tga": GOOD,
    "200x32_p_bl_raw_origin.tga": GOOD,  # x origin set
    "cross_scan_line_truncated.tga": BAD,
}

# gdk-pixbuf's files beyond its reference tests (paths below tests/): the fail/ and
# randomly-modified/ files other than valid.* are bad; the GIF test suite's files take their class
# from its TESTS list and configurations.
GDK_EXTRA = [
    "cve-2015-4491.bmp",
    "test-animation.gif",
    "test-images/fail/*.bmp",
    "test-images/fail/*.gif",
    "test-images/fail/*.tga",
    "test-images/randomly-modified/*.bmp",
    "test-images/randomly-modified/*.gif",
    "test-images/randomly-modified/*.tga",
    "test-images/gif-test-suite/*.gif",
]
GDK_GOOD = {"test-animation.gif"}
# The GIF suite's files that gdk-pixbuf leaves out of its run (commented out in TESTS): those whose
# first picture is a picture are questionable (this library reads the first picture alone).
GIF_SUITE_FIRST_PICTURE = {"images-combine.gif", "images-overlap.gif", "high-color.gif",
                           "dispose-restore-previous.gif", "animation-multi-image.gif",
                           "animation-multi-image-explicit-zero-delay.gif"}


class Failed(Exception):
    pass


def run(*args, cwd=None):
    done = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        raise Failed("%s failed: %s" % (" ".join(args), done.stderr))
    return done.stdout


def fetch(folder):
    """Debian's source packages unpacked into folder (the deb-src lines added first)."""
    run("bash", os.path.join(ROOT, "scripts", "setup.sh"), "sources")
    run("apt-get", "source", "pillow", "gdk-pixbuf", cwd=folder)


def package(sources, name):
    """The unpacked package and its Debian version, from debian/changelog."""
    found = sorted(p for p in glob.glob(os.path.join(sources, name + "-*")) if os.path.isdir(p))
    if not found:
        raise Failed("no %s-*/ in %s" % (name, sources))
    with open(os.path.join(found[-1], "debian", "changelog")) as f:
        version = re.match(r"\S+ \(([^)]+)\)", f.readline()).group(1)
    return found[-1], version


# Header sizes, as the four formats give them; None when the header tells none.
def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def bmp_size(data):
    if len(data) < 26:
        return None
    if u16(data, 14) == 12:
        return u16(data, 18), u16(data, 20)
    width, height = struct.unpack_from("<ii", data, 18)
    return width, abs(height)


def gif_first_image(data):
    """(left, top, width, height) of the first picture's descriptor, None when there is none."""
    if len(data) < 13:
        return None
    at = 13 + (3 << ((data[10] & 7) + 1) if data[10] & 0x80 else 0)
    while at < len(data):
        if data[at] == 0x2C:
            if at + 9 > len(data):
                return None
            return struct.unpack_from("<HHHH", data, at + 1)
        if data[at] != 0x21:
            return None
        at += 2
        while at < len(data) and data[at]:
            at += data[at] + 1
        at += 1
    return None


def header_size(data):
    if data[:2] == b"BM":
        return bmp_size(data)
    if data[:3] == b"GIF":
        box = gif_first_image(data)
        return box and box[2:]
    if data[:1] == b"\x0a" and len(data) >= 12:
        x0, y0, x1, y1 = struct.unpack_from("<hhhh", data, 4)
        return x1 - x0 + 1, y1 - y0 + 1
    if len(data) >= 18:
        return u16(data, 12), u16(data, 14)
    return None


def compare_rule(name, data, rgba):
    """rgb5 for 16-bit colours; rgba where the picture has alpha or the reference is opaque."""
    deep = False
    if data[:2] == b"BM" and len(data) >= 30:
        bits = u16(data, 24 if u16(data, 14) == 12 else 28)
        if bits == 16:
            return "rgb5"
        deep = bits == 32
    elif name.endswith(".tga") and len(data) >= 18:
        maptype, kind, entry, depth = data[1], data[2] & 7, data[7], data[16]
        if (kind == 2 and depth in (15, 16)) or (kind == 1 and maptype == 1 and entry in (15, 16)):
            return "rgb5"
        deep = depth == 32 or (kind == 3 and depth == 16)
    elif data[:1] == b"\x0a" and len(data) > 65:
        deep = data[65] == 4
    opaque = all(a == 255 for a in rgba[3::4])
    return "rgba" if deep or opaque else "rgb"


def pillow_rgba(path):
    """Pillow's decoding; a GIF's first picture alone, its colours through the palette."""
    with Image.open(path) as im:
        if im.format != "GIF":
            return im.convert("RGBA")
        with open(path, "rb") as f:
            left, top, width, height = gif_first_image(f.read())
        rgb = im.convert("RGB")
        rgb.info.pop("transparency", None)  # palettes carry no transparency here
        return rgb.crop((left, top, left + width, top + height)).convert("RGBA")


def png_rgba(path):
    with Image.open(path) as im:
        return im.convert("RGBA")


def bmp_colour_table(data):
    """The RGB colours between a BMP's header and its pixels (none for deep pictures)."""
    header = struct.unpack_from("<I", data, 14)[0]
    bits = u16(data, 24 if header == 12 else 28)
    if bits > 8:
        return []
    entry = 3 if header == 12 else 4
    start, end = 14 + header, struct.unpack_from("<I", data, 10)[0]
    return [tuple(data[at + 2 : at - 1 if at else None : -1]) for at in range(start, end - 2, entry)]


def closest(suite_png, source):
    """The suite's reference picture, each pixel within 1 of a colour of the file's colour table
    (in every channel) taken as that colour: the suite's pictures round some palette levels
    (42.5 to 42) that the table holds exactly."""
    im = png_rgba(suite_png)
    with open(source, "rb") as f:
        table = bmp_colour_table(f.read())
    if not table:
        return im
    pixels = bytearray(im.tobytes())
    for at in range(0, len(pixels), 4):
        near = [c for c in table if all(abs(a - b) <= 1 for a, b in zip(c, pixels[at : at + 3]))]
        if near:
            pixels[at : at + 3] = bytes(min(near, key=lambda c: sum(
                abs(a - b) for a, b in zip(c, pixels[at : at + 3]))))
    return Image.frombytes("RGBA", im.size, bytes(pixels))


def gif_suite_reference(folder, name):
    """The GIF suite's first frame for name and its name, when it is the whole of an opaque first
    picture."""
    conf = os.path.join(folder, name[:-4] + ".conf")
    if name in GIF_SUITE_FIRST_PICTURE or not os.path.exists(conf):
        return None
    with open(conf, encoding="utf-8", errors="replace") as f:
        text = f.read()
    frame = re.search(r"\[frame0\]\s*pixels = (\S+)", text)
    size = re.search(r"width = (\d+)\s*height = (\d+)", text)
    if not frame or not size:
        return None
    width, height = int(size.group(1)), int(size.group(2))
    with open(os.path.join(folder, name), "rb") as f:
        box = gif_first_image(f.read())
    with open(os.path.join(folder, frame.group(1)), "rb") as f:
        rgba = f.read()
    if box != (0, 0, width, height) or any(a != 255 for a in rgba[3::4]):
        return None
    return frame.group(1)[:-5], Image.frombytes("RGBA", (width, height), rgba)


class Collector:
    """Copies files into the set and writes their references, one per distinct picture."""

    def __init__(self):
        self.lines = []
        self.refs = {}  # pixels -> reference path
        self.taken = set()

    def reference(self, folder, name, im):
        pixels = im.tobytes()
        if pixels not in self.refs:
            path = "%s/ref/%s.rgba" % (folder, name)
            while path in self.taken:
                path = path[:-5] + "_.rgba"
            self.taken.add(path)
            self.refs[pixels] = path
            os.makedirs(os.path.dirname(os.path.join(OUT, path)), exist_ok=True)
            with open(os.path.join(OUT, path), "wb") as f:
                f.write(pixels)
        return self.refs[pixels]

    def add(self, source, path, kind, ref_name=None, im=None, outcome="decode"):
        """Adds source as path; a good or questionable file to decode needs its reference."""
        target = os.path.join(OUT, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)
        with open(source, "rb") as f:
            data = f.read()
        if kind == BAD:
            size = header_size(data) or (0, 0)
            self.lines.append("%s bad %d %d" % (path, max(size[0], 0), max(size[1], 0)))
            return
        if outcome != "decode":
            self.lines.append("%s questionable %s" % (path, outcome))
            return
        if header_size(data) != im.size:
            raise Failed("%s: the reference is %d x %d, the header says %s" %
                         (path, im.width, im.height, header_size(data)))
        rgba = im.tobytes()
        compare = COMPARE_OVERRIDE.get(path) or compare_rule(path, data, rgba)
        ref = self.reference(path.split("/")[0], ref_name, im)
        head = "%s good" % path if kind == GOOD else "%s questionable decode" % path
        self.lines.append("%s %s %d %d %s" % (head, ref, im.width, im.height, compare))


def bmpsuite_references(html):
    """Each file of the suite's page with the reference pictures shown before it."""
    refs, shown = {}, []
    with open(html) as f:
        for src in re.findall(r'<img[^>]*src="([^"]+)"', f.read()):
            if src.endswith(".bmp"):
                refs[src.split("/")[-1]] = shown
                shown = []
            else:
                shown.append(src)
    return refs


def pick_reference(shown):
    """Colour 0 for undefined pixels, the stored (not stretched) size, else the first shown."""
    for ending in ("-0.png", "-e.png"):
        for name in shown:
            if name.endswith(ending):
                return name
    return shown[0] if shown and shown[0].endswith(".png") else None


def add_bmpsuite(c, images):
    suite = os.path.join(images, "bmp")
    refs = bmpsuite_references(os.path.join(suite, "html", "bmpsuite.html"))
    for kind, folder in ((GOOD, "g"), (QUESTIONABLE, "q"), (BAD, "b")):
        for source in sorted(glob.glob(os.path.join(suite, folder, "*.bmp"))):
            name = os.path.basename(source)
            path = "bmpsuite/%s/%s" % (folder, name)
            outcome = BMP_QUESTIONABLE.get(name, "decode") if kind == QUESTIONABLE else "decode"
            if kind == BAD or outcome != "decode":
                c.add(source, path, kind, outcome=outcome)
                continue
            png = pick_reference(refs.get(name, []))
            if png:
                c.add(source, path, kind, png[:-4], closest(os.path.join(suite, "html", png), source))
            else:
                c.add(source, path, kind, name, pillow_rgba(source))


def add_pillow(c, images):
    for source in sorted(glob.glob(os.path.join(images, "tga", "common", "*.tga"))):
        name = os.path.basename(source)
        png = "_".join(name.split("_")[:2]) + ".png"
        c.add(source, "pillow/tga/common/" + name, GOOD, png[:-4],
              png_rgba(os.path.join(images, "tga", "common", png)))
    for name, kind in sorted(PILLOW_FILES.items()):
        kind, outcome = kind if isinstance(kind, tuple) else (kind, "decode")
        source = os.path.join(images, name)
        im = pillow_rgba(source) if kind != BAD and outcome == "decode" else None
        c.add(source, "pillow/" + name, kind, name, im, outcome)


def gif_suite_class(folder, name):
    with open(os.path.join(folder, "TESTS")) as f:
        listed = f.read().split()
    conf = os.path.join(folder, name[:-4] + ".conf")
    frames = ""
    if os.path.exists(conf):
        with open(conf, encoding="utf-8", errors="replace") as f:
            found = re.search(r"^frames = *(.*)$", f.read(), re.M)
            frames = found.group(1).strip() if found else ""
    if name[:-4] in listed and frames:
        return GOOD
    return QUESTIONABLE if name in GIF_SUITE_FIRST_PICTURE else BAD


def add_gdk_pixbuf(c, tests):
    reftests = os.path.join(tests, "test-images", "reftests")
    for source in sorted(glob.glob(os.path.join(reftests, "tga", "*.tga")) +
                         glob.glob(os.path.join(reftests, "*.tga")) +
                         glob.glob(os.path.join(reftests, "*.bmp"))):
        ref = os.path.realpath(source + ".ref.png")
        c.add(source, "gdk-pixbuf/" + os.path.relpath(source, tests), GOOD,
              os.path.basename(ref)[:-4], png_rgba(ref))
    suite = os.path.join(tests, "test-images", "gif-test-suite")
    for pattern in GDK_EXTRA:
        for source in sorted(glob.glob(os.path.join(tests, pattern))):
            name = os.path.basename(source)
            path = "gdk-pixbuf/" + os.path.relpath(source, tests)
            if os.path.dirname(source) == suite:
                kind = gif_suite_class(suite, name)
            else:
                kind = GOOD if name in GDK_GOOD or name.startswith("valid.") else BAD
            if kind == BAD:
                c.add(source, path, kind)
                continue
            found = gif_suite_reference(suite, name) if os.path.dirname(source) == suite else None
            c.add(source, path, kind, *(found or (name, pillow_rgba(source))))


LICENCES = {
    "bmpsuite": ("Pillow's copy of the BMP suite (bmp/g, bmp/q, bmp/b), with the suite's own "
                 "reference pictures (bmp/html/*.png) decoded to RGBA",
                 "pillow", "Tests/images/bmp/",
                 "public domain, as the suite's README.txt (Tests/images/bmp/README.txt) says."),
    "pillow": ("Pillow's own test pictures: tga/common/*.tga with the PNG pictures beside them "
               "as references, and a chosen set of Tests/images/*.{bmp,gif,pcx,tga}, decoded by "
               "Pillow where they have no reference",
               "pillow", "Tests/images/",
               "the Python Imaging Library licence (HPND-style permissive licence) that the "
               "package's debian/copyright gives for the whole source."),
    "gdk-pixbuf": ("gdk-pixbuf's reference tests (test-images/reftests, with their *.ref.png), "
                   "its GIF test suite (test-images/gif-test-suite, with its first-frame "
                   "references where they show the whole first picture) and the BMP, GIF and TGA "
                   "files of its other tests (test-images/fail, test-images/randomly-modified, "
                   "tests/*.gif, tests/*.bmp), decoded by Pillow where they have no reference",
                   "gdk-pixbuf", "tests/",
                   "GPL-2+ (GNU General Public License, version 2 or later), as the package's "
                   "debian/copyright says for tests/*. These files are test data only: nothing "
                   "of them is built into the library."),
}


def write_readme(folder, versions):
    what, package, inside, licence = LICENCES[folder]
    with open(os.path.join(OUT, folder, "README"), "w") as f:
        f.write("Where these files come from\n\n%s.\n\nDebian source package: %s %s, files below "
                "%s in it (paths kept).\nref/ holds the references as raw RGBA bytes, made by "
                "tests/data/conformance_fixtures.py; ../manifest.txt lists every file.\n\n"
                "Licence: %s\n" % (what, package, versions[package], inside, licence))


def make(sources):
    pillow, pillow_version = package(sources, "pillow")
    gdk, gdk_version = package(sources, "gdk-pixbuf")
    versions = {"pillow": pillow_version, "gdk-pixbuf": gdk_version}
    shutil.rmtree(OUT, ignore_errors=True)
    c = Collector()
    images = os.path.join(pillow, "Tests", "images")
    add_bmpsuite(c, images)
    add_pillow(c, images)
    add_gdk_pixbuf(c, os.path.join(gdk, "tests"))
    for folder in LICENCES:
        write_readme(folder, versions)
    with open(os.path.join(OUT, "manifest.txt"), "w") as f:
        f.write("# Made by tests/data/conformance_fixtures.py, which tells the format.\n")
        f.write("\n".join(c.lines) + "\n")


if __name__ == "__main__":
    try:
        if len(sys.argv) < 2 or sys.argv[1] != "make":
            sys.exit(__doc__)
        if len(sys.argv) > 2:
            make(os.path.abspath(sys.argv[2]))
        else:
            with tempfile.TemporaryDirectory() as scratch:
                fetch(scratch)
                make(scratch)
    except Failed as e:
        sys.exit(str(e))
