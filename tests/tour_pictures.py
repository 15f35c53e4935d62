"""Runs the tour in an emptied folder and checks, through Pillow, that each scene it saves as
BMP and as TGA shows the same pixels, the TGA's alpha opaque throughout.

tour_pictures.py TOUR FOLDER; exit 77 (skipped) without Pillow."""
import os
import shutil
import subprocess
import sys

try:
    from PIL import Image
except ImportError:
    sys.exit(77)

tour, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
subprocess.run([tour], cwd=folder, check=True, stdout=subprocess.DEVNULL)
for scene in ("drawing32", "drawing8"):
    bmp = Image.open(os.path.join(folder, scene + ".bmp")).convert("RGBA")
    tga = Image.open(os.path.join(folder, scene + ".tga")).convert("RGBA")
    if tga.getchannel("A").getextrema() != (255, 255):
        sys.exit("%s.tga: not opaque throughout" % scene)
    if bmp.tobytes() != tga.tobytes():
        sys.exit("%s: the BMP and the TGA differ" % scene)
print("the tour's scenes look the same as BMP and TGA")
