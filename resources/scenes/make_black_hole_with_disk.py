#!/usr/bin/env python3
"""Writes black-hole-with-disk.tavolin: a black hole of Schwarzschild radius 1 with a thin
accretion disk from the innermost stable orbit (3 r_s) out to 12 r_s, peak temperature 10,000 K,
seen from 30 r_s a few degrees above the disk's plane, as in the well-known pictures. A ring of
warm and cool blackbody spheres far behind the hole shows the lensing of the background.

The scene names the CIE eye. Light bending and the searchlight (relativistic beaming) are not
stored in scene files: turn them on (Options menu, or tavolin-render --light-bending on
--searchlight 4) to see the lifted far side and the approaching side brighten.

    python3 make_black_hole_with_disk.py > black-hole-with-disk.tavolin
"""
import math


def vec(x, y, z):
    return f"{x:g};{y:g};{z:g};0"


def unit(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def main():
    distance, height = 30.0, 2.6
    start = (0.0, height, -distance)
    lookat = unit((0.0, -height, distance))
    diry = unit((0.0, distance, height))
    out = ["<tavolinfile>\n  <renderSettings>\n",
           f"    <start>{vec(*start)}</start>\n",
           f"    <lookat>{vec(*(round(c, 6) for c in lookat))}</lookat>\n",
           "    <dirx>1;0;0;0</dirx>\n",
           f"    <diry>{vec(*(round(c, 6) for c in diry))}</diry>\n",
           "    <bhpos>0;0;0;0</bhpos>\n    <bhradius>1</bhradius>\n",
           "    <eye>cie1931</eye>\n  </renderSettings>\n"]
    # The disk: its gas turns right-handed about the normal, so seen from above (+y) it turns
    # counter-clockwise and its right side (as this observer sees it) comes closer.
    out.append("  <newdisk>\n    <name>disk</name>\n    <normal>0;1;0;0</normal>\n"
               "    <rout>12</rout>\n    <tmax>10000</tmax>\n  </newdisk>\n")
    # Far behind the hole: twelve spheres on a circle, alternately warm and cool.
    for i in range(12):
        a = 2 * math.pi * i / 12
        centre = (16.0 * math.cos(a), 16.0 * math.sin(a), 70.0)
        tex = "warm" if i % 2 == 0 else "cool"
        out.append(f"  <sphere>\n    <name>beacon{i:02d}</name>\n"
                   f"    <center>{vec(*(round(c, 4) for c in centre))}</center>\n"
                   f"    <radius>2</radius>\n    <texname>{tex}</texname>\n  </sphere>\n")
    for name, kelvin in [("warmlight", 3500), ("coollight", 12000)]:
        out.append(f"  <newblackbody>\n    <temperature>{kelvin}</temperature>\n"
                   f"    <luminance>0.6</luminance>\n    <colname>{name}</colname>\n"
                   "  </newblackbody>\n")
    for tex, colour in [("warm", "warmlight"), ("cool", "coollight")]:
        out.append(f"  <newtexturesingle>\n    <texname>{tex}</texname>\n"
                   f"    <color>{colour}</color>\n  </newtexturesingle>\n")
    out.append("</tavolinfile>\n")
    print("".join(out), end="")


if __name__ == "__main__":
    main()
