#!/usr/bin/env python3
"""Writes stonehenge.tavolin, the default scene: a stone circle to fly through.

Thirty sarsen uprights carry a ring of lintels; inside stand five trilithons in a horseshoe
opening towards the Heel Stone; bluestones (spheres) ring the centre; the ground is a checkerboard.
One scene unit is one metre, so at the speed of light the circle is crossed in about 30 seconds.
Colours are emission spectra spread over the default eye's range (about 400-1400 nm) so that a
Doppler shift visibly moves them: blue ahead when flying forward, red behind. Infrared lines
(2000-4000 nm), invisible at rest, shift into view ahead at high speed.

Run it from this folder to regenerate the scene file.
"""
import math

SARSEN_RADIUS = 15.5      # centre line of the outer circle
SARSEN_COUNT = 30
SARSEN_HEIGHT = 4.1
SARSEN_WIDTH = 2.0
SARSEN_DEPTH = 1.1
LINTEL_HEIGHT = 0.8
LINTEL_DEPTH = 1.0

TRILITHONS = [  # (angle in degrees around the horseshoe, radius, upright height)
    (-100, 7.5, 6.0), (-50, 6.8, 6.6), (0, 6.5, 7.3), (50, 6.8, 6.6), (100, 7.5, 6.0)]
AXIS = math.radians(230)  # the horseshoe opens towards the Heel Stone

lines = []


def g(v):
    """A number as the file writes it: general format, six significant digits."""
    s = '%.6g' % v
    return '0' if s == '-0' else s


def vec(x, y, z, w=0.0):
    return ';'.join(g(c) for c in (x, y, z, w))


def block(tag, props):
    lines.append('  <%s>' % tag)
    for name, value in props:
        lines.append('    <%s>%s</%s>' % (name, value, name))
    lines.append('  </%s>' % tag)


def cube(name, centre, tangent, width, height, depth, tex, sx=1, sy=1, sz=1):
    """A box standing on centre (x, z) at height centre[1], its width along tangent (x, z)."""
    tx, tz = tangent
    rx, rz = tz, -tx  # the horizontal direction across the box
    ex = (tx * width, 0.0, tz * width)
    ey = (0.0, height, 0.0)
    ez = (rx * depth, 0.0, rz * depth)
    pos = (centre[0] - ex[0] / 2 - ez[0] / 2, centre[1], centre[2] - ex[2] / 2 - ez[2] / 2)
    block('cube', [('name', name), ('pos', vec(*pos)), ('x', vec(*ex)), ('y', vec(*ey)),
                   ('z', vec(*ez)), ('sx', g(sx)), ('sy', g(sy)), ('sz', g(sz)),
                   ('texxy', tex), ('texyz', tex), ('texzx', tex)])


def sphere(name, centre, radius, tex):
    block('sphere', [('name', name), ('center', vec(*centre)), ('radius', g(radius)),
                     ('texname', tex)])


def main():
    lines.append('<tavolinfile>')
    # Outside the circle, looking across it towards the trilithons.
    start = (-7.0, 5.5, -44.0)
    look = (0.15, -0.09, 1.0)
    n = math.sqrt(sum(c * c for c in look))
    look = tuple(c / n for c in look)
    right = (look[2], 0.0, -look[0])
    n = math.sqrt(sum(c * c for c in right))
    right = tuple(c / n for c in right)
    up = (look[1] * right[2] - look[2] * right[1], look[2] * right[0] - look[0] * right[2],
          look[0] * right[1] - look[1] * right[0])
    block('renderSettings', [('start', vec(*start)), ('lookat', vec(*look)),
                             ('dirx', vec(*right)), ('diry', vec(*up)),
                             ('bhpos', vec(0, 9, 0)), ('bhradius', g(0.6))])

    step = 2 * math.pi / SARSEN_COUNT
    for i in range(SARSEN_COUNT):
        a = i * step
        c = (SARSEN_RADIUS * math.cos(a), 0.0, SARSEN_RADIUS * math.sin(a))
        if i == 7:
            continue  # a fallen upright: the circle has a gap to fly through
        cube('sarsen%02d' % i, c, (-math.sin(a), math.cos(a)), SARSEN_WIDTH, SARSEN_HEIGHT,
             SARSEN_DEPTH, 'sarsen', 2, 4, 1)
    for i in range(SARSEN_COUNT):
        if i in (6, 7):
            continue  # no lintel rests on the fallen upright
        a0, a1 = i * step, (i + 1) * step
        p0 = (SARSEN_RADIUS * math.cos(a0), SARSEN_RADIUS * math.sin(a0))
        p1 = (SARSEN_RADIUS * math.cos(a1), SARSEN_RADIUS * math.sin(a1))
        mid = ((p0[0] + p1[0]) / 2, SARSEN_HEIGHT, (p0[1] + p1[1]) / 2)
        length = math.hypot(p1[0] - p0[0], p1[1] - p0[1])
        t = ((p1[0] - p0[0]) / length, (p1[1] - p0[1]) / length)
        cube('lintel%02d' % i, mid, t, length + 0.15, LINTEL_HEIGHT, LINTEL_DEPTH, 'lintel',
             3, 1, 1)
    # The fallen upright lies in the grass beside its gap.
    a = 7 * step
    cube('fallen', (17.5 * math.cos(a), 0.0, 17.5 * math.sin(a)), (math.cos(a), math.sin(a)),
         SARSEN_HEIGHT, SARSEN_DEPTH, SARSEN_WIDTH, 'sarsen', 4, 1, 2)

    for k, (deg, r, h) in enumerate(TRILITHONS):
        a = AXIS + math.radians(deg)
        centre = (r * math.cos(a), r * math.sin(a))
        tangent = (-math.sin(a), math.cos(a))
        for side in (-1, 1):
            c = (centre[0] + side * 1.45 * tangent[0], 0.0, centre[1] + side * 1.45 * tangent[1])
            cube('trilithon%d%s' % (k, 'ab'[side > 0]), c, tangent, 2.2, h, 1.2, 'sarsen', 2, 5, 1)
        cube('trilithonlintel%d' % k, (centre[0], h, centre[1]), tangent, 5.4, 1.0, 1.2,
             'lintel', 4, 1, 1)

    # The altar stone lies flat at the centre; the Heel Stone stands outside on the axis.
    cube('altar', (0.0, 0.0, 0.0), (math.cos(AXIS + math.pi / 2), math.sin(AXIS + math.pi / 2)),
         4.9, 0.5, 1.0, 'lintel', 4, 1, 1)
    heel = (-29.0 * math.cos(AXIS), -29.0 * math.sin(AXIS))
    cube('heelstone', (heel[0], 0.0, heel[1]), (math.sin(AXIS), -math.cos(AXIS)), 2.4, 4.9,
         2.0, 'sarsen', 2, 4, 2)

    # Bluestones: a ring of smooth spheres inside the sarsens.
    for i in range(16):
        a = i * 2 * math.pi / 16 + 0.1
        sphere('bluestone%02d' % i, (11.5 * math.cos(a), 0.7, 11.5 * math.sin(a)), 0.7,
               'bluestone')
    sphere('sun', (-60.0, 40.0, 140.0), 14.0, 'sun')

    block('plane', [('name', 'ground'), ('pos', vec(-120, 0, -120)), ('x', vec(240, 0, 0)),
                    ('y', vec(0, 0, 240)), ('sx', g(60)), ('sy', g(60)), ('texname', 'ground')])

    colours = [
        ('(1120;95)(920;75)(720;45)(500;70)(2600;90)(3400;80)', 'sarsencolor'),
        ('(1150;110)(950;70)(520;45)(2300;80)(3900;70)', 'lintelcolor'),
        ('(830;300)(620;140)(1320;60)(2800;200)', 'grass'),
        ('(1180;260)(1000;140)(3300;200)', 'soil'),
        ('(470;160)(560;60)(980;40)(2100;90)', 'bluestonecolor'),
        ('(500;140)(700;140)(900;140)(1100;140)', 'sunlight'),
    ]
    for spectrum, name in colours:
        block('newcolor', [('wavelength', spectrum), ('colname', name)])
    block('newtexturequad', [('texname', 'ground'), ('colora', 'grass'), ('colorb', 'soil')])
    for tex, col in (('sarsen', 'sarsencolor'), ('lintel', 'lintelcolor'),
                     ('bluestone', 'bluestonecolor'), ('sun', 'sunlight')):
        block('newtexturesingle', [('texname', tex), ('color', col)])
    block('light', [('intensity', '0.5'), ('pos', vec(-60, 40, 140)), ('name', 'sun')])
    lines.append('</tavolinfile>')
    with open('stonehenge.tavolin', 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
