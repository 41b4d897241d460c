// make_scene: writes a scene file of N random spheres (and optionally M random boxes) in a cube,
// for timing loads and tree builds at sizes no hand-made scene reaches. Items are written in the
// compact form, properties as attributes of the item's tag, without names, and objects without
// a texture name (they take the only texture): a million spheres take 55 MiB, against 137 MB
// in the form the program writes. With MOVING, that many more items (spheres and boxes in turn) fly
// in random directions at 0.5 to 0.95 times the speed of light; with "still" after it they are
// written at the same places without a velocity, the scene to compare with. With --elements
// first, every property is an element of its own (<sphere><radius>0.5</radius>...), the form
// that readers without attributes, such as the Embree harness's, take; about twice the bytes.
//
//   make_scene [--elements] SPHERES [CUBES [MOVING [still]]] > scene.tavolin
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

bool elements = false;

// One item with its properties, as attributes or as elements.
void item(const char* tag, const std::vector<std::pair<const char*, std::string>>& properties) {
    std::printf("<%s", tag);
    if (elements) {
        std::printf(">");
        for (const auto& [name, value] : properties)
            std::printf("<%s>%s</%s>", name, value.c_str(), name);
        std::printf("</%s>\n", tag);
    } else {
        for (const auto& [name, value] : properties) std::printf(" %s=\"%s\"", name, value.c_str());
        std::printf("/>\n");
    }
}

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char text[96];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--elements") {
        elements = true;
        --argc;
        ++argv;
    }
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr,
                     "usage: make_scene [--elements] SPHERES [CUBES [MOVING [still]]] > "
                     "scene.tavolin\n");
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
    // objects, so "make_scene 1000000" is the largest scene of spheres it opens.
    std::printf("<tavolinfile>\n");
    item("newtexturesingle", {{"texname", "rock"}});
    for (long i = 0; i < spheres; ++i) {
        const double x = at(rng), y = at(rng), z = at(rng), r = size(rng);
        item("sphere",
             {{"center", format("%.5g;%.5g;%.5g;0", x, y, z)}, {"radius", format("%.3g", r)}});
    }
    for (long i = 0; i < cubes; ++i) {
        // Three edges of a slightly sheared box: never parallel, never flat.
        const double s = size(rng);
        const double p[3] = {at(rng), at(rng), at(rng)};
        const double e[3][3] = {{s, 0.1 * s * unit(rng), 0}, {0.1 * s * unit(rng), s, 0},
                                {0, 0.1 * s * unit(rng), s}};
        item("cube", {{"pos", format("%.6g;%.6g;%.6g;0", p[0], p[1], p[2])},
                      {"x", format("%.4g;%.4g;%.4g;0", e[0][0], e[0][1], e[0][2])},
                      {"y", format("%.4g;%.4g;%.4g;0", e[1][0], e[1][1], e[1][2])},
                      {"z", format("%.4g;%.4g;%.4g;0", e[2][0], e[2][1], e[2][2])}});
    }
    std::uniform_real_distribution<double> speed(0.5, 0.95);
    for (long i = 0; i < moving; ++i) {
        const double p[3] = {at(rng), at(rng), at(rng)}, s = size(rng);
        double v[3] = {unit(rng), unit(rng), unit(rng)};
        const double scale = speed(rng) / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + 1e-300);
        for (double& c : v) c *= still ? 0.0 : scale;
        std::vector<std::pair<const char*, std::string>> properties;
        if (i % 2 == 0) {
            properties = {{"center", format("%.5g;%.5g;%.5g;0", p[0], p[1], p[2])},
                          {"radius", format("%.3g", s)}};
        } else {
            properties = {{"pos", format("%.6g;%.6g;%.6g;0", p[0], p[1], p[2])},
                          {"x", format("%.4g;0;0;0", s)},
                          {"y", format("0;%.4g;0;0", s)},
                          {"z", format("0;0;%.4g;0", s)}};
        }
        if (!still)
            properties.push_back({"velocity", std::to_string(v[0]) + ";" + std::to_string(v[1]) +
                                                  ";" + std::to_string(v[2]) + ";0"});
        item(i % 2 == 0 ? "sphere" : "cube", properties);
    }
    std::printf("</tavolinfile>\n");
    return 0;
}
