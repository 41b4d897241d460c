// make_street: writes a city block scene for timing frames on big scenes of every kind: a
// ground plane, BOXES buildings on a grid (random heights, turned about the vertical, their
// floors lying on the ground), SPHERES balls floating above the roofs and PLANES tiles
// hanging between them. The observer stands in the street down the middle, looking along it.
// Items are written as elements, with names and textures, as the editor saves them, so the
// Embree reference (bench/compare_embree.sh) reads the same file.
//
//   make_street [BOXES [SPHERES [PLANES]]] > street.tavolin   (defaults 20000 10000 5000)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv) {
    if (argc > 4) {
        std::fprintf(stderr, "usage: make_street [BOXES [SPHERES [PLANES]]] > street.tavolin\n");
        return 1;
    }
    const long boxes = argc > 1 ? std::atol(argv[1]) : 20000;
    const long spheres = argc > 2 ? std::atol(argv[2]) : 10000;
    const long planes = argc > 3 ? std::atol(argv[3]) : 5000;
    if (boxes < 0 || spheres < 0 || planes < 0 || boxes + spheres + planes >= 1000000) {
        std::fprintf(stderr, "make_street: counts must not be negative, nor add up to a million\n");
        return 1;
    }
    std::mt19937 rng(7);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    const char* textures[] = {"stone", "moss", "checker"};
    const auto texture = [&] { return textures[rng() % 3]; };

    // The street runs along z through x = 0, where the grid's middle column is left out.
    const long side = long(std::ceil(std::sqrt(double(boxes))));
    const double pitch = 2.2, half = 0.5 * double(std::max(side, 10L)) * pitch;
    std::printf(
        "<tavolinfile>\n  <renderSettings>\n    <start>0.5;1.7;%.4g;0</start>\n"
        "    <lookat>0;0;1;0</lookat>\n    <dirx>1;0;0;0</dirx>\n    <diry>0;1;0;0</diry>\n"
        "    <bhpos>0;30;%.4g;0</bhpos>\n    <bhradius>2</bhradius>\n  </renderSettings>\n",
        -0.8 * half, 2.0 * half);
    std::printf(
        "  <plane>\n    <name>ground</name>\n    <pos>%.4g;0;%.4g;0</pos>\n    <x>%.4g;0;0;0</x>\n"
        "    <y>0;0;%.4g;0</y>\n    <sx>100</sx>\n    <sy>100</sy>\n"
        "    <texname>checker</texname>\n  </plane>\n",
        -2.0 * half, -2.0 * half, 4.0 * half, 4.0 * half);
    for (long i = 0; i < boxes; ++i) {
        const double x = double(i % side - side / 2) * pitch + 1.1;
        const double z = double(i / side - side / 2) * pitch;
        if (std::fabs(x) < 1.5) continue;  // the street
        const double h = uniform(1.0, 12.0), a = uniform(0.0, 1.5707963), s = uniform(0.6, 1.6);
        const double c = s * std::cos(a), n = s * std::sin(a);
        std::printf(
            "  <cube>\n    <name>b%ld</name>\n    <pos>%.5g;0;%.5g;0</pos>\n"
            "    <x>%.5g;0;%.5g;0</x>\n    <y>0;%.5g;0;0</y>\n    <z>%.5g;0;%.5g;0</z>\n"
            "    <sx>1</sx>\n    <sy>2</sy>\n    <sz>1</sz>\n    <texxy>%s</texxy>\n"
            "    <texyz>%s</texyz>\n    <texzx>%s</texzx>\n  </cube>\n",
            i, x, z, c, n, h, -n, c, texture(), texture(), texture());
    }
    for (long i = 0; i < spheres; ++i) {
        const double x = uniform(-half, half), y = uniform(13.0, 40.0), z = uniform(-half, half);
        std::printf(
            "  <sphere>\n    <name>s%ld</name>\n    <center>%.5g;%.5g;%.5g;0</center>\n"
            "    <radius>%.4g</radius>\n    <texname>%s</texname>\n  </sphere>\n",
            i, x, y, z, uniform(0.2, 1.5), texture());
    }
    for (long i = 0; i < planes; ++i) {
        const double x = uniform(-half, half), y = uniform(12.0, 30.0), z = uniform(-half, half);
        std::printf(
            "  <plane>\n    <name>p%ld</name>\n    <pos>%.5g;%.5g;%.5g;0</pos>\n"
            "    <x>%.4g;0;%.4g;0</x>\n    <y>0;%.4g;%.4g;0</y>\n    <sx>1</sx>\n"
            "    <sy>1</sy>\n    <texname>%s</texname>\n  </plane>\n",
            i, x, y, z, uniform(1.0, 4.0), uniform(-1.0, 1.0), uniform(-1.0, 1.0),
            uniform(1.0, 4.0), texture());
    }
    std::printf(
        "  <newcolor>\n    <wavelength>(560;160)(600;200)(640;150)</wavelength>\n"
        "    <colname>sand</colname>\n  </newcolor>\n"
        "  <newcolor>\n    <wavelength>(500;180)(530;200)(560;120)</wavelength>\n"
        "    <colname>leaf</colname>\n  </newcolor>\n"
        "  <newcolor>\n    <wavelength>(430;150)(460;190)(490;120)</wavelength>\n"
        "    <colname>slate</colname>\n  </newcolor>\n"
        "  <newtexturesingle>\n    <texname>stone</texname>\n    <color>sand</color>\n"
        "  </newtexturesingle>\n"
        "  <newtexturesingle>\n    <texname>moss</texname>\n    <color>leaf</color>\n"
        "  </newtexturesingle>\n"
        "  <newtexturequad>\n    <texname>checker</texname>\n    <colora>sand</colora>\n"
        "    <colorb>slate</colorb>\n  </newtexturequad>\n"
        "  <light>\n    <intensity>0.5</intensity>\n  </light>\n</tavolinfile>\n");
    return 0;
}
