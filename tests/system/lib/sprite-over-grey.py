#!/usr/bin/env python3
"""Puts a sprite PNG (straight alpha, as zibbles-inspect --render writes it) over the saver's dark
grey with the compositor's own byte rule, so that a screenshot can be compared with it pixel for
pixel: premultiplied p = round(c * a / 255), then p + round(grey * (255 - a) / 255). ImageMagick's
own "over" rounds otherwise, one step off on half-transparent pixels.

Usage: sprite-over-grey.py SPRITE.png OUT.png"""
import subprocess
import sys

GREY = 26  # white level 0.1 of the view's background, as a byte

source, target = sys.argv[1], sys.argv[2]
size = subprocess.run(["convert", source, "-format", "%w %h", "info:"], check=True,
                      capture_output=True, text=True).stdout.split()
raw = subprocess.run(["convert", source, "-depth", "8", "rgba:-"], check=True,
                     capture_output=True).stdout
out = bytearray()
for i in range(0, len(raw), 4):
    alpha = raw[i + 3]
    for c in raw[i:i + 3]:
        premultiplied = (c * alpha + 127) // 255
        out.append(premultiplied + (GREY * (255 - alpha) + 127) // 255)
subprocess.run(["convert", "-size", f"{size[0]}x{size[1]}", "-depth", "8", "rgb:-", target],
               input=bytes(out), check=True)
