// The folders are the layers of the program, and each one is a single library. A file may include
// its own folder and the folders below it, never one above it or beside it: this keeps everything
// below the views free of a display, and the layers buildable one at a time.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// Each layer with the layers it may include, bottom to top.
const std::map<std::string, std::set<std::string>> kLayers = {
    {"base", {}},
    {"geometry", {}},
    {"scene", {"base", "geometry"}},
    {"accel", {"base", "geometry", "scene"}},
    {"engine", {"base", "geometry", "scene", "accel"}},
    {"cli", {"base", "geometry", "scene", "accel", "engine"}},
    {"views", {"base", "geometry", "scene", "accel", "engine"}},
    {"ui", {"base", "geometry", "scene", "accel", "engine", "views"}},
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Layering, NoFolderIncludesALayerAboveOrBesideIt) {
    const std::regex include(R"(#include\s+"([a-z]+)/[^"]+")");
    int filesRead = 0;
    for (const auto& [layer, allowed] : kLayers) {
        const fs::path folder = fs::path(TAVOLIN_SOURCE_DIR) / layer;
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++filesRead;
            const std::string text = readFile(entry.path());
            for (std::sregex_iterator m(text.begin(), text.end(), include), end; m != end; ++m) {
                const std::string target = (*m)[1];
                const bool isLayer = kLayers.count(target) != 0;
                EXPECT_TRUE(!isLayer || target == layer || allowed.count(target))
                    << entry.path().lexically_relative(TAVOLIN_SOURCE_DIR) << " includes "
                    << (*m)[0] << ", a layer that " << layer << "/ must not see";
            }
        }
    }
    EXPECT_GT(filesRead, 100);  // the walk found the sources
}

TEST(Layering, EachFolderBuildsExactlyOneLibrary) {
    const std::regex addLibrary(R"(add_library\s*\()");
    for (const auto& [layer, allowed] : kLayers) {
        const std::string text =
            readFile(fs::path(TAVOLIN_SOURCE_DIR) / layer / "CMakeLists.txt");
        const auto count = std::distance(
            std::sregex_iterator(text.begin(), text.end(), addLibrary), std::sregex_iterator());
        EXPECT_EQ(count, 1) << layer << "/CMakeLists.txt";
    }
}

}  // namespace
