#!/usr/bin/env python3
"""Writes relativistic-traffic.tavolin: a road with four lanes of cars (boxes) and balls
(spheres) passing at 0.5c to 0.95c and a sign (a plane) flying overhead at 0.8c, seen with light
travel time on by an observer at the roadside, among poles at rest for comparison.

Lengths are the bodies' own (rest-frame) sizes; the scene frame sees them contracted along the
road, and with light travel time the cars coming closer look stretched and turned (Terrell
rotation), the balls stay round (Penrose). Colours have lines beyond both ends of the visible
range, so that Doppler shifts bring them in: approaching traffic turns blue, receding red.

    python3 make_relativistic_traffic.py > relativistic-traffic.tavolin
"""


def vec(x, y, z):
    return f"{x:g};{y:g};{z:g};0"


def cube(name, pos, size, tex, velocity):
    sx, sy, sz = size
    return (f"  <cube>\n    <name>{name}</name>\n    <pos>{vec(*pos)}</pos>\n"
            f"    <x>{vec(sx, 0, 0)}</x>\n    <y>{vec(0, sy, 0)}</y>\n    <z>{vec(0, 0, sz)}</z>\n"
            f"    <sx>2</sx>\n    <sy>1</sy>\n    <sz>1</sz>\n"
            f"    <texxy>{tex}</texxy>\n    <texyz>{tex}</texyz>\n    <texzx>{tex}</texzx>\n"
            + (f"    <velocity>{vec(*velocity)}</velocity>\n" if velocity else "")
            + "  </cube>\n")


def sphere(name, centre, radius, tex, velocity):
    return (f"  <sphere>\n    <name>{name}</name>\n    <center>{vec(*centre)}</center>\n"
            f"    <radius>{radius:g}</radius>\n    <texname>{tex}</texname>\n"
            f"    <velocity>{vec(*velocity)}</velocity>\n  </sphere>\n")


def plane(name, pos, x, y, s, tex, velocity=None):
    return (f"  <plane>\n    <name>{name}</name>\n    <pos>{vec(*pos)}</pos>\n"
            f"    <x>{vec(*x)}</x>\n    <y>{vec(*y)}</y>\n    <sx>{s[0]:g}</sx>\n"
            f"    <sy>{s[1]:g}</sy>\n    <texname>{tex}</texname>\n"
            + (f"    <velocity>{vec(*velocity)}</velocity>\n" if velocity else "")
            + "  </plane>\n")


def main():
    out = ["<tavolinfile>\n  <renderSettings>\n    <start>0;2;-14;0</start>\n"
           "    <lookat>0;-0.08;1;0</lookat>\n    <dirx>1;0;0;0</dirx>\n"
           "    <diry>0;1;0.08;0</diry>\n    <bhpos>0;30;200;0</bhpos>\n"
           "    <bhradius>0.5</bhradius>\n    <lighttraveltime>1</lighttraveltime>\n"
           "  </renderSettings>\n"]
    # Lanes: distance from the observer's line (z), direction and speed, what drives there.
    lanes = [
        (4.0, +1, 0.5, "car", "red"),
        (9.0, -1, 0.9, "car", "teal"),
        (15.0, +1, 0.95, "ball", "gold"),
        (22.0, -1, 0.7, "ball", "violet"),
    ]
    for lane, (z, sign, speed, kind, tex) in enumerate(lanes):
        # Spaced out along the road so that traffic keeps coming for a few minutes of scene time.
        for i in range(14):
            x = -sign * (12.0 * i - 30.0)
            v = (sign * speed, 0.0, 0.0)
            name = f"{kind}{lane}{i:02d}"
            if kind == "car":
                out.append(cube(name, (x - 2.0, 0.0, z - 0.9), (4.0, 1.5, 1.8), tex, v))
            else:
                r = 1.2 if lane == 2 else 2.0
                out.append(sphere(name, (x, r, z), r, tex, v))
    # Poles at rest along the near kerb: the yardstick.
    for i in range(11):
        out.append(cube(f"pole{i:02d}", (-25.0 + 5.0 * i - 0.15, 0.0, 1.5), (0.3, 3.0, 0.3),
                        "white", None))
    out.append(plane("sign", (-4.0, 7.0, 28.0), (8.0, 0, 0), (0, 4.0, 0), (4, 2), "signboard",
                     (0.8, 0.0, 0.0)))
    out.append(plane("road", (-80.0, 0.0, -30.0), (160.0, 0, 0), (0, 0, 90.0), (80, 45),
                     "asphalt"))
    colours = [
        # name, spectrum: a visible core and lines in the infrared and ultraviolet
        ("redpaint", "(640;200)(700;120)(900;150)(1200;120)(330;60)"),
        ("tealpaint", "(480;160)(520;150)(1100;120)(1500;100)(300;80)"),
        ("goldpaint", "(580;200)(600;150)(850;120)(360;80)(250;60)"),
        ("violetpaint", "(420;180)(660;80)(1000;120)(300;100)"),
        ("whitepaint", "(450;120)(540;120)(610;120)(900;80)(350;60)"),
        ("tar", "(500;35)(650;35)(1000;60)(1600;60)(320;30)"),
        ("stripe", "(560;180)(610;140)(880;100)(380;60)"),
        ("signblue", "(460;200)(1200;150)(300;80)"),
    ]
    for name, spectrum in colours:
        out.append(f"  <newcolor>\n    <wavelength>{spectrum}</wavelength>\n"
                   f"    <colname>{name}</colname>\n  </newcolor>\n")
    for tex, colour in [("red", "redpaint"), ("teal", "tealpaint"), ("gold", "goldpaint"),
                        ("violet", "violetpaint"), ("white", "whitepaint")]:
        out.append(f"  <newtexturesingle>\n    <texname>{tex}</texname>\n"
                   f"    <color>{colour}</color>\n  </newtexturesingle>\n")
    out.append("  <newtexturequad>\n    <texname>asphalt</texname>\n    <colora>tar</colora>\n"
               "    <colorb>stripe</colorb>\n  </newtexturequad>\n")
    out.append("  <newtexturequad>\n    <texname>signboard</texname>\n"
               "    <colora>signblue</colora>\n    <colorb>whitepaint</colorb>\n"
               "  </newtexturequad>\n")
    out.append("</tavolinfile>\n")
    print("".join(out), end="")


if __name__ == "__main__":
    main()
