#!/usr/bin/env python3
"""Writes stonehenge-natural.tavolin from stonehenge.tavolin: the same stone circle with colours
meant for the CIE 1931 eye ("Human (CIE 1931)"), which the file names in its render settings:
stones, soil and sun are blackbody colours (warm greys, a brown, a white sun), the grass a green
line spectrum. At rest it looks natural; at 0.9c with the searchlight on (tavolin-render
--searchlight 4 --exposure auto) the view ahead turns hot and blue and much brighter, the view
behind dim and red.

Run it from this folder after make_stonehenge.py.
"""
import re

BLACKBODIES = [  # name, kelvin, luminance (CIE Y at rest, 1 = display white)
    ("sarsencolor", 4300, 0.42),
    ("lintelcolor", 4000, 0.36),
    ("soil", 2600, 0.16),
    ("bluestonecolor", 8000, 0.30),
    ("sunlight", 5800, 0.95),
]
GRASS = "(500;12)(520;18)(540;24)(560;20)(580;12)(610;6)"

text = open("stonehenge.tavolin").read()
for name, _, _ in BLACKBODIES:
    text = re.sub(r"  <newcolor>\n    <wavelength>[^<]*</wavelength>\n    <colname>%s</colname>\n"
                  r"  </newcolor>\n" % name, "", text)
text = re.sub(r"(<wavelength>)[^<]*(</wavelength>\n    <colname>grass</colname>)",
              r"\g<1>%s\g<2>" % GRASS, text)
blocks = "".join(
    "  <newblackbody>\n    <temperature>%g</temperature>\n    <luminance>%g</luminance>\n"
    "    <colname>%s</colname>\n  </newblackbody>\n" % (k, l, n) for n, k, l in BLACKBODIES)
text = text.replace("</tavolinfile>\n", blocks + "</tavolinfile>\n")
# The scene names its eye, so that it opens looking natural.
text = text.replace("  </renderSettings>\n", "    <eye>cie1931</eye>\n  </renderSettings>\n", 1)
open("stonehenge-natural.tavolin", "w").write(text)
