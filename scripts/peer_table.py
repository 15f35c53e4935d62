"""How ZEMBase, SDL2_image and stb_image read the conformance pictures (tests/data/conformance).

Run from the top of the repository after a build with the benchmarks (they bring the peers):
    cmake -G Ninja -DZEM_BUILD_BENCHMARKS=ON -S . -B build && ninja -C build zem peer_decode
    python3 scripts/peer_table.py [-v] [BUILD]     (BUILD defaults to build)
-v lists, after the table, each file a decoder decoded wrong, refused though it is to be decoded,
or crashed on.

Every file is decoded by each decoder in a child process of its own, with a time limit, so that a
crash or a hang is counted rather than fatal: ZEMBase through `zem image convert FILE out.png`,
the peers through bench/peers/peer_decode. The pixels are compared with the file's reference under
its manifest rule (rgb, rgba, rgb5, near). GIF files are compared by the colours of the pixels a decoder
leaves opaque: the peers turn the transparent index into alpha, ZEMBase keeps it a palette colour.

Counting: good files and questionable files whose expected outcome is "decode" count as good;
bad files and questionable files to be refused count as bad. A hang counts as a crash.
"""
import concurrent.futures
import os
import subprocess
import sys
import tempfile

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SET = os.path.join(ROOT, "tests", "data", "conformance")
SECONDS = 20

RIGHT, WRONG, REFUSED, DECODED, CRASHED = "right", "wrong", "refused", "decoded", "crashed"


def manifest():
    """(path, expects a picture, reference, width, height, compare) for every file."""
    with open(os.path.join(SET, "manifest.txt")) as f:
        for line in f:
            fields = line.split()
            if not fields or fields[0].startswith("#"):
                continue
            if fields[1] == "good":
                yield fields[0], True, fields[2], int(fields[3]), int(fields[4]), fields[5]
            elif fields[1] == "questionable" and fields[2] == "decode":
                yield fields[0], True, fields[3], int(fields[4]), int(fields[5]), fields[6]
            else:
                yield fields[0], False, None, 0, 0, None


def run(args):
    """The exit status, or None for a crash or a hang."""
    try:
        done = subprocess.run(args, capture_output=True, timeout=SECONDS)
    except subprocess.TimeoutExpired:
        return None, ""
    return (None if done.returncode < 0 else done.returncode), done.stdout.decode(errors="replace")


def decode_zem(build, path, scratch):
    out = os.path.join(scratch, "out.png")
    status, _ = run([os.path.join(build, "tools", "zem", "zem"), "image", "convert", path, out,
                     "--force"])
    if status != 0:
        return status, None
    with Image.open(out) as im:
        return 0, (im.width, im.height, im.convert("RGBA").tobytes())


def decode_peer(build, peer, path, scratch):
    out = os.path.join(scratch, "out.rgba")
    status, text = run([os.path.join(build, "bench", "peer_decode"), peer, path, out])
    if status != 0:
        return status, None
    width, height = map(int, text.split())
    with open(out, "rb") as f:
        return 0, (width, height, f.read())


def same(ours, theirs, compare, gif):
    """The rule of the conformance test: fully transparent pixels agree whatever their colours."""
    if len(ours) != len(theirs):
        return False
    mask = 0xF8 if compare == "rgb5" else 0xFF
    tolerance = 1 if compare == "near" else 0
    channels = 4 if compare in ("rgba", "near") and not gif else 3
    for at in range(0, len(ours), 4):
        if gif and ours[at + 3] != 255:
            continue
        if ours[at + 3] == 0 and theirs[at + 3] == 0:
            continue
        for i in range(at, at + channels):
            if abs((ours[i] & mask) - (theirs[i] & mask)) > tolerance:
                return False
    return True


def verdict(decode, entry):
    path, good, ref, width, height, compare = entry
    with tempfile.TemporaryDirectory() as scratch:
        status, picture = decode(os.path.join(SET, path), scratch)
    if status is None:
        return CRASHED
    if not good:
        return REFUSED if status != 0 else DECODED
    if status != 0:
        return REFUSED
    with open(os.path.join(SET, ref), "rb") as f:
        theirs = f.read()
    right = picture[:2] == (width, height) and same(picture[2], theirs, compare,
                                                     path.endswith(".gif"))
    return RIGHT if right else WRONG


def main(build, verbose):
    decoders = {
        "ZEMBase": lambda path, scratch: decode_zem(build, path, scratch),
        "SDL2_image": lambda path, scratch: decode_peer(build, "sdl", path, scratch),
        "stb_image": lambda path, scratch: decode_peer(build, "stb", path, scratch),
    }
    entries = list(manifest())
    misses = []
    print("decoder | good decoded right | good decoded wrong | good refused | bad refused | "
          "bad decoded | crashes")
    for name, decode in decoders.items():
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            verdicts = list(pool.map(lambda entry: (entry[1], verdict(decode, entry)), entries))
        misses += ["%s %s: %s" % (name, entry[0], v) for entry, (good, v) in zip(entries, verdicts)
                   if v in (WRONG, CRASHED) or (good and v == REFUSED)]
        count = lambda good, what: sum(1 for g, v in verdicts if g == good and v == what)
        print("%s | %d | %d | %d | %d | %d | %d" % (
            name, count(True, RIGHT), count(True, WRONG), count(True, REFUSED),
            count(False, REFUSED), count(False, DECODED), sum(v == CRASHED for _, v in verdicts)))
    if verbose:
        print("\n".join(misses))


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if a != "-v"]
    main(os.path.abspath(args[0] if args else "build"), "-v" in sys.argv[1:])
