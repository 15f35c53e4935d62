"""Picture files made by real programs, and their pixels as a second program decodes them.

make DIR: writes BMP, GIF, PCX and TGA files made by ImageMagick, Pillow, netpbm and giflib into
DIR, each with a reference: the file decoded by another of those programs, as raw RGBA bytes
(files that decode alike share one reference). DIR/manifest.txt lists one file a line:
"file reference width height compare", where compare is rgb (colours only), rgba (colours and
alpha) or rgb5 (colours cut to 5 bits, for 5-5-5 pixels).

decode DIR FILE...: decodes each of our files with Pillow into FILE.pil.rgba, with ImageMagick
into FILE.im.rgba and with netpbm into FILE.pnm.rgba (with the alpha of TGA files); a program
that cannot read a file leaves its output out.

update [BUILD]: remakes the files checked in under tests/data for the systems where those
programs do not run (Windows): codec/peers (the files above and their references), codec/ours
(the files our codecs save, which the programs decode as drawn) and latin1-iconv.txt (iconv's
conversions). It runs the comparison tests of the build folder BUILD (default: build) with
ZEM_UPDATE_FIXTURES set, which write what they checked where they would compare it.
"""
import concurrent.futures
import os
import random
import shutil
import subprocess
import sys

from PIL import Image

WIDTH, HEIGHT = 37, 11  # odd width: rows need padding in BMP and PCX


class ToolFailed(Exception):
    pass


def run(*args, stdin=None):
    done = subprocess.run(args, input=stdin, capture_output=True)
    if done.returncode != 0:
        raise ToolFailed("%s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace")))
    return done.stdout


def source():
    """Bands of flat colour (runs) beside noise (no runs), with several alpha levels."""
    rnd = random.Random(9)
    im = Image.new("RGBA", (WIDTH, HEIGHT))
    px = im.load()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if x < 20:
                px[x, y] = (y * 23, 255 - y * 20, 40 + (x // 7) * 60, 255)
            else:
                px[x, y] = tuple(rnd.randrange(256) for _ in range(3)) + (rnd.choice((0, 90, 255)),)
    return im


def rgba_from_ppm(data):
    """The pixels of a binary PPM of maxval 255 as RGBA."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at : at + 1].isspace():
            at += 1
        if data[at : at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    assert fields[0] == b"P6" and fields[3] == b"255", fields
    rgb = data[at + 1 :]
    return Image.frombytes("RGB", (int(fields[1]), int(fields[2])), rgb).convert("RGBA").tobytes()


def ref_pil(path):
    return Image.open(path).convert("RGBA").tobytes()


def ref_im(path):
    # ImageMagick keeps a TGA's rows in file order and only notes where they begin.
    return run("convert", path, "-auto-orient", "-depth", "8", "rgba:-")


def ref_pnm(tool):
    return lambda path: rgba_from_ppm(run(tool, path))


def ref_tgatoppm(path):
    """tgatoppm's colours with the alpha it writes beside them (255 for a picture without)."""
    rgba = bytearray(rgba_from_ppm(run("tgatoppm", "-alphaout=" + path + ".alpha.pgm", path)))
    alpha = Image.open(path + ".alpha.pgm").convert("L").tobytes()
    rgba[3::4] = alpha
    return bytes(rgba)


def write_pam(im, path):
    """The RGBA picture as a PAM file with alpha, which pamtotga takes."""
    with open(path, "wb") as f:
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                % im.size + im.tobytes())


def ref_gif2rgb(path):
    out = path + ".rgb"
    run("gif2rgb", "-1", "-o", out, path)
    with open(out, "rb") as f:
        rgb = f.read()
    return Image.frombytes("RGB", (WIDTH, HEIGHT), rgb).convert("RGBA").tobytes()


def gifbuild_text(im, interlaced=False, local=False, transparent=None):
    """A gifbuild description of a picture of at most 94 colours."""
    keys = "".join(chr(c) for c in range(33, 127) if chr(c) != "#")  # '#' starts a comment
    palette = im.getpalette()[: 3 * (max(im.tobytes()) + 1)]
    table = ["rgb %d %d %d is %s" % (*palette[3 * i : 3 * i + 3], keys[i]) for i in range(len(palette) // 3)]
    lines = ["screen width %d" % WIDTH, "screen height %d" % HEIGHT, "screen colors 256"]
    if not local:
        lines += ["screen map"] + table + ["end"]
    if transparent is not None:
        lines += ["graphics control", "disposal mode 0", "transparent index %d" % transparent, "end"]
    lines += ["image"]
    if local:
        lines += ["image map"] + table + ["end"]
    if interlaced:
        lines += ["image interlaced"]
    lines += ["image bits %d by %d" % (WIDTH, HEIGHT)]
    data = im.tobytes()
    lines += ["".join(keys[data[y * WIDTH + x]] for x in range(WIDTH)) for y in range(HEIGHT)]
    return ("\n".join(lines) + "\n").encode()


def top_down_bmp(path):
    """Turns a BMP into one with its rows stored top first and a negative height."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    offset = int.from_bytes(data[10:14], "little")
    height = int.from_bytes(data[22:26], "little", signed=True)
    row = (len(data) - offset) // height
    rows = [data[offset + i * row : offset + (i + 1) * row] for i in range(height)]
    data[offset:] = b"".join(reversed(rows))
    data[22:26] = (-height).to_bytes(4, "little", signed=True)
    with open(path, "wb") as f:
        f.write(data)


def make(folder):
    os.chdir(folder)
    src = source()
    src.save("src.png")
    rgb = src.convert("RGB")
    rgb.save("src.ppm")
    write_pam(src, "src.pam")
    for n in (2, 8, 16, 90, 200):
        rgb.quantize(n).convert("RGB").save("q%d.ppm" % n)
    # Each file is one job, made and then decoded; the jobs run side by side, since the programs
    # spend most of their time starting.
    jobs = []

    def add(name, ref, compare="rgb"):
        with open(name + ".ref", "wb") as f:
            f.write(ref(name))
        return "%s %s.ref %d %d %s" % (name, name, WIDTH, HEIGHT, compare)

    def job(make_file, name, ref, compare):
        jobs.append(lambda: (make_file(), add(name, ref, compare))[1])

    def im(name, *options, ref=ref_pil, compare="rgb"):
        im_as(name, name.split(".")[-1].upper(), *options, ref=ref, compare=compare)

    def im_as(name, fmt, *options, ref=ref_pil, compare="rgb"):
        job(lambda: run("convert", "src.png", *options, fmt + ":" + name), name, ref, compare)

    # Pillow keeps the options of a save on the image object itself: saves of one image side by
    # side would take each other's (a plain TGA came out RLE), so each job saves its own copy.
    def pil(name, image, ref=ref_im, compare="rgb", **options):
        job(lambda: image.copy().save(name, **options), name, ref, compare)

    def pnm(name, tool, *options, src_file="src.ppm", ref=ref_pil, compare="rgb"):
        def make_file():
            with open(src_file, "rb") as f:
                data = run(tool, *options, stdin=f.read())
            with open(name, "wb") as f:
                f.write(data)

        job(make_file, name, ref, compare)

    # BMP: every depth, RLE8, the Windows headers of 40 and 124 bytes, the OS/2 header, top-down.
    flat = ("-alpha", "off")
    im_as("im_1.bmp", "BMP3", *flat, "-type", "Bilevel")
    im_as("im_4.bmp", "BMP3", *flat, "-colors", "16", "-compress", "None")
    im_as("im_4_v5.bmp", "BMP", *flat, "-colors", "16", "-compress", "None")
    im_as("im_8.bmp", "BMP3", *flat, "-colors", "200", "-compress", "None")
    im_as("im_rle8.bmp", "BMP3", *flat, "-colors", "200", "-compress", "RLE")
    im_as("im_rle8_v5.bmp", "BMP", *flat, "-colors", "90", "-compress", "RLE")
    im_as("im_16.bmp", "BMP", *flat, "-define", "bmp:subtype=RGB555", compare="rgb5")
    im_as("im_24_v5.bmp", "BMP", *flat, "-type", "TrueColor")
    im_as("im_24_os2.bmp", "BMP2", *flat, "-type", "TrueColor")
    im_as("im_32.bmp", "BMP", "-type", "TrueColorAlpha", compare="rgba")
    pil("pil_1.bmp", src.convert("1"))
    pil("pil_L.bmp", src.convert("L"))
    pil("pil_8.bmp", rgb.quantize(200))
    pil("pil_24.bmp", rgb)
    pil("pil_32.bmp", src, ref=ref_pnm("bmptopnm"))
    job(lambda: (rgb.copy().save("pil_24_top.bmp"), top_down_bmp("pil_24_top.bmp")),
        "pil_24_top.bmp", ref_im, "rgb")
    pnm("pnm_1.bmp", "ppmtobmp", "-windows", "-bpp=1", src_file="q2.ppm")
    pnm("pnm_4.bmp", "ppmtobmp", "-windows", "-bpp=4", src_file="q16.ppm")
    pnm("pnm_8.bmp", "ppmtobmp", "-windows", "-bpp=8", src_file="q200.ppm")
    pnm("pnm_24.bmp", "ppmtobmp", "-windows", "-bpp=24")
    pnm("pnm_os2_4.bmp", "ppmtobmp", "-os2", "-bpp=4", src_file="q16.ppm")
    pnm("pnm_os2_8.bmp", "ppmtobmp", "-os2", "-bpp=8", src_file="q200.ppm")
    pnm("pnm_os2_24.bmp", "ppmtobmp", "-os2", "-bpp=24")

    # GIF: minimum code sizes 2, 3, 4, 7 and 8, interlacing, local colour tables, transparency.
    for n in (2, 8, 16, 200):
        im("im_%d.gif" % n, *flat, "-colors", str(n), ref=ref_gif2rgb)
    im("im_interlaced.gif", *flat, "-colors", "200", "-interlace", "GIF", ref=ref_gif2rgb)
    pil("pil.gif", rgb.quantize(200), ref=ref_gif2rgb, interlace=False)
    pil("pil_interlaced.gif", rgb.quantize(90), ref=ref_gif2rgb, interlace=True)
    pil("pil_transparent.gif", rgb.quantize(16), ref=ref_gif2rgb, transparency=3)
    for name, options in (
        ("gb_local.gif", {"local": True}),
        ("gb_interlaced.gif", {"interlaced": True}),
        ("gb_transparent.gif", {"transparent": 5, "local": True, "interlaced": True}),
    ):
        text = gifbuild_text(rgb.quantize(90), **options)
        job(lambda name=name, text=text: open(name, "wb").write(run("gifbuild", stdin=text)),
            name, ref_pil, "rgb")

    # PCX: 8-bit with palette, 24-bit, 32-bit (four planes).
    im("im_8.pcx", *flat, "-colors", "200")
    im("im_24.pcx", *flat, "-type", "TrueColor")
    # Only ImageMagick reads four planes as red, green, blue and alpha: the picture it was made
    # from is the reference.
    im("im_32.pcx", "-type", "TrueColorAlpha", ref=lambda _: src.tobytes(), compare="rgba")
    pil("pil_8.pcx", rgb.quantize(200))
    pil("pil_L.pcx", src.convert("L"))
    pil("pil_24.pcx", rgb, ref=ref_pnm("pcxtoppm"))
    pnm("pnm_8.pcx", "ppmtopcx", "-8bit", src_file="q200.ppm")
    pnm("pnm_24.pcx", "ppmtopcx", "-24bit")

    # TGA: colour-mapped, true colour and grey, plain and run-length, bottom-up and top-down.
    im("im_24.tga", *flat, "-type", "TrueColor", "-compress", "None")
    im("im_24_rle.tga", *flat, "-type", "TrueColor", "-compress", "RLE")
    im("im_32.tga", "-type", "TrueColorAlpha", "-compress", "None", compare="rgba")
    im("im_32_rle.tga", "-type", "TrueColorAlpha", "-compress", "RLE", compare="rgba")
    im("im_map.tga", *flat, "-colors", "200", "-type", "Palette", "-compress", "None")
    im("im_grey_rle.tga", *flat, "-type", "Grayscale", "-compress", "RLE")
    pil("pil_24.tga", rgb)
    pil("pil_24_rle_top.tga", rgb, compression="tga_rle", orientation=1)
    pil("pil_32_top.tga", src, compare="rgba", orientation=1)
    pil("pil_32_rle.tga", src, compare="rgba", compression="tga_rle")
    pil("pil_map_rle.tga", rgb.quantize(200), compression="tga_rle")
    pil("pil_grey.tga", src.convert("L"))
    pnm("pnm_24.tga", "pamtotga", "-rgb", "-norle")
    pnm("pnm_24_rle.tga", "pamtotga", "-rgb")
    pnm("pnm_map_rle.tga", "pamtotga", "-cmap", src_file="q200.ppm")
    pnm("pnm_grey.tga", "pamtotga", "-mono", "-norle")
    pnm("pnm_32.tga", "pamtotga", "-norle", src_file="src.pam", compare="rgba")
    pnm("pnm_32_rle.tga", "pamtotga", src_file="src.pam", compare="rgba")

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        manifest = list(pool.map(lambda make: make(), jobs))
    with open("manifest.txt", "w") as f:
        f.write("\n".join(share_references(manifest)) + "\n")


def share_references(manifest):
    """The manifest with one reference for the files that decode alike, the copies removed."""
    first = {}
    lines = []
    for line in manifest:
        fields = line.split(" ")
        with open(fields[1], "rb") as f:
            pixels = f.read()
        if pixels in first:
            os.remove(fields[1])
        fields[1] = first.setdefault(pixels, fields[1])
        lines.append(" ".join(fields))
    return lines


NETPBM_READERS = {"bmp": ref_pnm("bmptopnm"), "pcx": ref_pnm("pcxtoppm"), "tga": ref_tgatoppm}


def decode(folder, names):
    os.chdir(folder)
    for name in names:
        readers = {"pil": ref_pil, "im": ref_im, "pnm": NETPBM_READERS[name[-3:]]}
        with open(name, "rb") as f:
            if name.endswith(".pcx") and f.read(66)[65:] == b"\x04":
                del readers["pnm"]  # pcxtoppm takes four planes for something else
        for reader, ref in readers.items():
            try:
                pixels = ref(name)
            except (ToolFailed, OSError, ValueError, AssertionError):
                continue
            with open("%s.%s.rgba" % (name, reader), "wb") as f:
                f.write(pixels)


def update(build):
    data = os.path.dirname(os.path.abspath(__file__))
    # Made afresh, so that no file of a dropped case stays; the old files come back on a failure.
    codec, old = os.path.join(data, "codec"), os.path.join(data, "codec.old")
    shutil.rmtree(old, ignore_errors=True)
    if os.path.exists(codec):
        os.rename(codec, old)
    try:
        run_updating_tests(build)
    except ToolFailed:
        shutil.rmtree(codec, ignore_errors=True)
        if os.path.exists(old):
            os.rename(old, codec)
        raise
    shutil.rmtree(old, ignore_errors=True)


def run_updating_tests(build):
    env = dict(os.environ, ZEM_UPDATE_FIXTURES="1")
    for binary, cases in (
        ("test_graphics", "OtherProgramsTest.*:CodecToolTest.*"),
        ("test_text", "Latin1Test.*"),
    ):
        program = os.path.join(os.path.abspath(build), "tests", binary)
        done = subprocess.run([program, "--gtest_filter=" + cases], env=env, capture_output=True,
                              text=True)
        print(done.stdout + done.stderr, end="")
        # A skipped comparison (a program missing) wrote nothing to check in.
        if done.returncode != 0 or "[  SKIPPED ]" in done.stdout:
            raise ToolFailed("%s failed: the files it wrote are not to be checked in" % binary)


if __name__ == "__main__":
    try:
        if sys.argv[1] == "make":
            make(sys.argv[2])
        elif sys.argv[1] == "update":
            update(sys.argv[2] if len(sys.argv) > 2 else "build")
        else:
            decode(sys.argv[2], sys.argv[3:])
    except ToolFailed as e:
        sys.exit(str(e))
