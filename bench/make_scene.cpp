// make_scene: writes a scene file of N random spheres (and optionally M random boxes) in a cube,
// for timing loads and tree builds at sizes no hand-made scene reaches. Items are written in the
// compact form, properties as attributes of the item's tag, without names, and objects without
// a texture name (they take the only texture), so that a million spheres stay under the
// reader's file-size limit. With MOVING, that many more items (spheres and boxes in turn) fly
// in random directions at 0.5 to 0.95 times the speed of light; with "still" after it they are
// written at the same places without a velocity, the scene to compare with.
//
//   make_scene SPHERES [CUBES [MOVING [still]]] > scene.tavolin
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: make_scene SPHERES [CUBES [MOVING [still]]] > scene.tavolin\n");
        return 1;
    }
    const long spheres = std::atol(argv[1]);
    const long cubes = argc > 2 ? std::atol(argv[2]) : 0;
    const long moving = argc > 3 ? std::atol(argv[3]) : 0;
    const bool still = argc > 4 && std::string(argv[4]) == "still";
    if (spheres < 0 || cubes < 0 || moving < 0) {
        std::fprintf(stderr, "make_scene: counts must not be negative\n");
        return 1;
    }
    // The same density at every size: the cube's side grows with the cube root of the count.
    const double side = 10.0 * std::cbrt(double(spheres + cubes + moving) + 1.0);
    std::mt19937 rng(20);
    std::uniform_real_distribution<double> at(-side / 2, side / 2);
    std::uniform_real_distribution<double> size(0.2, 1.0);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);

    // One texture and nothing else besides the objects: the reader takes at most a million
    // items, so "make_scene 999999" is the largest scene of spheres it opens.
    std::printf("<tavolinfile>\n<newtexturesingle texname=\"rock\"/>\n");
    for (long i = 0; i < spheres; ++i) {
        const double x = at(rng), y = at(rng), z = at(rng), r = size(rng);
        std::printf("<sphere center=\"%.5g;%.5g;%.5g;0\" radius=\"%.3g\"/>\n", x, y, z, r);
    }
    for (long i = 0; i < cubes; ++i) {
        // Three edges of a slightly sheared box: never parallel, never flat.
        const double s = size(rng);
        const double p[3] = {at(rng), at(rng), at(rng)};
        const double e[3][3] = {{s, 0.1 * s * unit(rng), 0}, {0.1 * s * unit(rng), s, 0},
                                {0, 0.1 * s * unit(rng), s}};
        std::printf("<cube pos=\"%.6g;%.6g;%.6g;0\" x=\"%.4g;%.4g;%.4g;0\" y=\"%.4g;%.4g;%.4g;0\" "
                    "z=\"%.4g;%.4g;%.4g;0\"/>\n",
                    p[0], p[1], p[2], e[0][0], e[0][1], e[0][2], e[1][0], e[1][1], e[1][2],
                    e[2][0], e[2][1], e[2][2]);
    }
    std::uniform_real_distribution<double> speed(0.5, 0.95);
    for (long i = 0; i < moving; ++i) {
        const double p[3] = {at(rng), at(rng), at(rng)}, s = size(rng);
        double v[3] = {unit(rng), unit(rng), unit(rng)};
        const double scale = speed(rng) / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + 1e-300);
        for (double& c : v) c *= still ? 0.0 : scale;
        const std::string velocity = still ? std::string()
                                           : " velocity=\"" + std::to_string(v[0]) + ";" +
                                                 std::to_string(v[1]) + ";" +
                                                 std::to_string(v[2]) + ";0\"";
        if (i % 2 == 0)
            std::printf("<sphere center=\"%.5g;%.5g;%.5g;0\" radius=\"%.3g\"%s/>\n", p[0], p[1],
                        p[2], s, velocity.c_str());
        else
            std::printf("<cube pos=\"%.6g;%.6g;%.6g;0\" x=\"%.4g;0;0;0\" y=\"0;%.4g;0;0\" "
                        "z=\"0;0;%.4g;0\"%s/>\n",
                        p[0], p[1], p[2], s, s, s, velocity.c_str());
    }
    std::printf("</tavolinfile>\n");
    return 0;
}
