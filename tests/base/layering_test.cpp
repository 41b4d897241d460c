// Each folder is a layer: a file may include its own folder and those below it, never one above
// or beside it, so everything below the views stays free of a display.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

TEST(Layering, NoFolderIncludesALayerAboveOrBesideIt) {
    const std::map<std::string, std::set<std::string>> layers = {
        {"base", {}},
        {"geometry", {}},
        {"scene", {"base", "geometry"}},
        {"accel", {"base", "geometry", "scene"}},
        {"engine", {"base", "geometry", "scene", "accel"}},
        {"cli", {"base", "geometry", "scene", "accel", "engine"}},
        {"views", {"base", "geometry", "scene", "accel", "engine"}},
        {"ui", {"base", "geometry", "scene", "accel", "engine", "views"}}};
    const std::regex include(R"(#include\s+"([a-z]+)/[^"]+")");
    int filesRead = 0;
    for (const auto& [layer, allowed] : layers) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(TAVOLIN_SOURCE_DIR) / layer)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++filesRead;
            std::ostringstream text;
            text << std::ifstream(entry.path()).rdbuf();
            const std::string s = text.str();
            for (std::sregex_iterator m(s.begin(), s.end(), include), end; m != end; ++m) {
                const std::string target = (*m)[1];
                EXPECT_TRUE(!layers.count(target) || target == layer || allowed.count(target))
                    << entry.path() << " includes " << (*m)[0] << ", above or beside " << layer;
            }
        }
    }
    EXPECT_GT(filesRead, 100);  // the walk found the sources
}
